// A program that links nothing but libMondrel.so lists a folder of the installed release it runs
// from with the foundation's file iterator: the archived and managed files of that folder are
// listed beside the ones on disk, without the program creating a main object itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/kit/ReleaseTree.h"
#include "tests/kit/RunCommand.h"

namespace {

using Flags = Quor::Common::ReleaseManifest;
constexpr DWORD kRelease = 0x01000005;  // 1.0.0.5

class ListThroughMondrel : public ::testing::Test {
protected:
    void SetUp() override {
        // No kernel of another test is seen: the library works on its own.
        ::setenv("ORVANE_INSTANCE", ("_listmondrel" + std::to_string(::getpid())).c_str(), 1);
        tree.AddProject("game", kRelease,
                        {{"data/plain.txt", 0, "plain"},
                         {"data/stored.bin", Flags::FLAG_ARCHIVED, "stored"},
                         {"data/packed.bin", Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_ZLIB,
                          "packed"},
                         {"data/managed.ini", Flags::FLAG_MANAGED, "managed"},
                         {"data/sub/inner.ini", Flags::FLAG_ARCHIVED, "inner"}});
        deploy = tree.ProjectRelease("game", kRelease) + "/deploy";
    }

    // The program's entry lines for pattern, run in the deploy folder.
    std::vector<std::string> List(const std::string& pattern) {
        const std::string output = deploy + "/../listing.out";
        const int status = QuorTest::RunCommand("cd " + QuorTest::ShellQuote(deploy) + " && " +
                                                QuorTest::ShellQuote(QUOR_LIST_THROUGH_MONDREL) + " " +
                                                QuorTest::ShellQuote(pattern) + " >" + QuorTest::ShellQuote(output));
        EXPECT_EQ(status, 0) << "the program got no iterator for " << pattern;
        std::vector<std::string> lines;
        std::ifstream in(output);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("entry ", 0) == 0) lines.push_back(line.substr(6));
        return lines;
    }

    QuorTest::ReleaseTree tree;
    std::string deploy;
};

TEST_F(ListThroughMondrel, AFolderListsItsArchivedAndManagedFilesThenTheDisk) {
    // The release's names in manifest order (a name once, the folder "sub" only archived), then
    // what the disk holds of the same pattern.
    EXPECT_EQ(List("data/*"), (std::vector<std::string>{"d .", "d ..", "f managed.ini", "f packed.bin", "f plain.txt",
                                                        "f stored.bin", "d sub", "f plain.txt"}));
    EXPECT_EQ(List("data/*.bin"), (std::vector<std::string>{"f packed.bin", "f stored.bin"}));
    EXPECT_EQ(List("data/sub/*.ini"), (std::vector<std::string>{"f inner.ini"}));
}

}  // namespace
