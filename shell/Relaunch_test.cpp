#include "shell/Relaunch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "foundation/CStd/CStdFiles.h"
#include "foundation/CStd/CStdMemory.h"

namespace Quor::Shell {
namespace {

// A folder tree of names only; listing a folder that is not in it fails.
struct FakeTree {
    std::map<std::string, std::vector<std::string>> folders;
    std::vector<std::string> listed;
    std::vector<std::pair<std::string, std::string>> started;
    std::vector<std::string> failingPrograms;

    RelaunchHooks Hooks() {
        RelaunchHooks hooks;
        hooks.list = [this](const char* folder, char*& list) {
            listed.push_back(folder);
            auto it = folders.find(folder);
            if (it == folders.end()) return false;
            std::string block;
            for (const std::string& name : it->second) block += name + '\0';
            block += '\0';
            list = static_cast<char*>(Vorn::std_malloc(block.size()));
            memcpy(list, block.data(), block.size());
            return true;
        };
        hooks.start = [this](const char* program, const char* folder) {
            started.emplace_back(program, folder);
            for (const std::string& failing : failingPrograms)
                if (failing == program) return false;
            return true;
        };
        return hooks;
    }
};

const char* const kKernel = "/x/y/Orvane.app/Contents/MacOS/Orvane";
const std::vector<std::string> kFiveFolders = {"/x/y/Orvane.app/Contents/MacOS", "/x/y/Orvane.app/Contents",
                                               "/x/y/Orvane.app", "/x/y", "/x"};

FakeTree KernelTree(const std::vector<std::string>& entriesOfX) {
    FakeTree tree;
    for (const std::string& folder : kFiveFolders) tree.folders[folder] = {};
    tree.folders["/x/y/Orvane.app/Contents/MacOS"] = {"Orvane"};
    tree.folders["/x/y"] = {"Orvane.app"};
    tree.folders["/x"] = entriesOfX;
    return tree;
}

TEST(RelaunchThroughLauncher, WalksUpNearestFirstAndStartsTheLauncherInItsFolder) {
    FakeTree tree = KernelTree({"y", "Play Kindrel.app"});
    EXPECT_TRUE(RelaunchThroughLauncher(kKernel, "Play Kindrel.app", "OrvaneLauncher", tree.Hooks()));
    EXPECT_EQ(tree.listed, kFiveFolders);
    ASSERT_EQ(tree.started.size(), 1u);
    EXPECT_EQ(tree.started[0].first, "/x/Play Kindrel.app/Contents/MacOS/OrvaneLauncher");
    EXPECT_EQ(tree.started[0].second, "/x");
}

TEST(RelaunchThroughLauncher, NamesMatchExactlyAndTheSearchEndsBelowTheTop) {
    FakeTree tree = KernelTree({"play kindrel.app", "Play Kindrel.App", "Play Kindrel.app.bak"});
    EXPECT_FALSE(RelaunchThroughLauncher(kKernel, "Play Kindrel.app", "OrvaneLauncher", tree.Hooks()));
    EXPECT_EQ(tree.listed, kFiveFolders);  // "/" is never listed
    EXPECT_TRUE(tree.started.empty());
}

TEST(RelaunchThroughLauncher, ALauncherThatDoesNotStartLetsTheSearchGoOn) {
    FakeTree tree = KernelTree({"Play Kindrel.app"});
    tree.folders["/x/y"].push_back("Play Kindrel.app");
    tree.failingPrograms = {"/x/y/Play Kindrel.app/Contents/MacOS/OrvaneLauncher"};
    EXPECT_TRUE(RelaunchThroughLauncher(kKernel, "Play Kindrel.app", "OrvaneLauncher", tree.Hooks()));
    ASSERT_EQ(tree.started.size(), 2u);
    EXPECT_EQ(tree.started[1].second, "/x");
}

TEST(RelaunchThroughLauncher, EndsWithoutSearchOrOnAFailedListing) {
    struct Case {
        const char* executable;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {"/x/Play Kindrel.app/Contents/MacOS/OrvaneLauncher", {}},  // the launcher itself
        {"/a/OrvaneLauncher2/Orvane", {}},
        {"Orvane", {"."}},  // relative without a folder: "." once
        {"/q/r/Orvane", {"/q/r"}},  // not listable
    };
    for (const Case& c : cases) {
        FakeTree tree;
        tree.folders["."] = {"Orvane"};
        EXPECT_FALSE(RelaunchThroughLauncher(c.executable, "Play Kindrel.app", "OrvaneLauncher", tree.Hooks()))
            << c.executable;
        EXPECT_EQ(tree.listed, c.listed) << c.executable;
        EXPECT_TRUE(tree.started.empty());
    }
}

}  // namespace
}  // namespace Quor::Shell
