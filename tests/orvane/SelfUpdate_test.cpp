// The kernel updating its own folder from the server's list: the chain from the kernel in
// {root}/system through the staged copy in {root}/system/temp back to {root}/system.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/kit/ScriptedHttpServer.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

bool SameLists(QuorTest::SystemFileList a, QuorTest::SystemFileList b) {
    auto order = [](const QuorTest::SystemFile& x, const QuorTest::SystemFile& y) { return x.path < y.path; };
    std::sort(a.begin(), a.end(), order);
    std::sort(b.begin(), b.end(), order);
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.path == y.path && x.version == y.version;
    });
}

TEST_F(OrvaneTest, ANewerKernelRunsThroughTheStagedCopy) {
    Serve();
    std::string errors;
    ASSERT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "InstallProjectRelease", "kiv_launcher", "0.0.0.1"}, {},
                                     &errors))
        << errors;
    // Installed: the kernel folder at version 1 and old.dat.
    QuorTest::WriteFile(root->system() + "/old.dat", "old");
    QuorTest::SystemFileList installed = root->files();
    installed.push_back({"old.dat", 1});
    QuorTest::WriteVersionList(root->system() + "/filelist.versioninfo", installed);
    // Served: a kernel of version 2 (the same program with a mark after its end), extra.dat, no old.dat.
    QuorTest::SystemFileList served = QuorTest::KernelFolderFiles(1);
    served[0].version = 2;
    served.push_back({"extra.dat", 7});
    QuorTest::PublishKernelFolder(content.path(), "/quor", root->system(), served);
    const std::string newKernel = QuorTest::ReadFile(QuorTest::BuiltOrvane()) + "\nsecond build\n";
    QuorTest::WriteFile(content / ("quor/system/" + served[0].path), newKernel);
    fs::permissions(content / ("quor/system/" + served[0].path), fs::perms::owner_all | fs::perms::others_read);
    QuorTest::WriteFile(content / "quor/system/extra.dat", "extra");

    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"Run", "kiv_launcher", "0.0.0.1", "KivLauncher.app"}, {}, &errors))
        << errors;
    ASSERT_TRUE(QuorTest::WaitForNoProcessBelow(root->base()));

    EXPECT_TRUE(SameLists(served, QuorTest::ReadVersionList(root->system() + "/filelist.versioninfo")));
    EXPECT_EQ(newKernel, QuorTest::ReadFile(root->kernel()));
    EXPECT_EQ("extra", QuorTest::ReadFile(root->system() + "/extra.dat"));
    EXPECT_FALSE(fs::exists(root->system() + "/old.dat"));
    const std::string updateLog = QuorTest::ReadFile(root->root() + "/self_update.log");
    EXPECT_TRUE(Has(updateLog, "Terminating after SelfUpdate.")) << updateLog;
    // The command ran once, in the last kernel of the chain.
    ASSERT_TRUE(fs::exists(record()));
    EXPECT_EQ(1u, Lines(QuorTest::ReadFile(record()))) << QuorTest::ReadFile(record());
    std::string logs;
    for (const char* name : {"quor_orvane.log", "quor_orvane.log1", "quor_orvane.log2"})
        if (fs::exists(root->root() + "/" + name)) logs += QuorTest::ReadFile(root->root() + "/" + name);
    EXPECT_TRUE(Has(logs, "Started from non-system directory.")) << logs;
    EXPECT_TRUE(Has(logs, "Starting the updated Orvane in system directory.")) << logs;
    // Each kernel of the chain waits for the one that started it: nobody is asked to end it.
    EXPECT_FALSE(Has(logs + updateLog, "Asking to close other instances")) << logs;
    // No copy of a file on its way into place is left behind.
    for (const auto& entry : fs::recursive_directory_iterator(root->system()))
        EXPECT_EQ(entry.path().string().find("~orvane"), std::string::npos) << entry.path();
}

TEST_F(OrvaneTest, AFailedDownloadOfTheKernelEndsTheRun) {
    Serve();
    QuorTest::SystemFileList served = root->files();
    served.push_back({"missing.dat", 1});  // listed, but not on the server
    served[0].version = 3;
    QuorTest::PublishKernelFolder(content.path(), "/quor", root->system(), served);
    const std::string kernel = QuorTest::ReadFile(root->kernel());
    const std::string list = QuorTest::ReadFile(root->system() + "/filelist.versioninfo");

    std::string errors;
    EXPECT_EQ(255, QuorTest::RunOrvane(*root, {"noop"}, {}, &errors));
    EXPECT_TRUE(Has(Log(), "Failed to download update to file: missing.dat")) << Log();
    ASSERT_TRUE(QuorTest::WaitForNoProcessBelow(root->base()));
    EXPECT_EQ(kernel, QuorTest::ReadFile(root->kernel()));
    EXPECT_EQ(list, QuorTest::ReadFile(root->system() + "/filelist.versioninfo"));

    // A later start with "-noupdate" does not take the half-staged update for a whole one.
    fs::remove(content / "quor/system/filelist.versioninfo");
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "noop"}, {}, &errors)) << errors;
    EXPECT_EQ(kernel, QuorTest::ReadFile(root->kernel()));
    EXPECT_EQ(list, QuorTest::ReadFile(root->system() + "/filelist.versioninfo"));
}

TEST_F(OrvaneTest, AStagedKernelThatDoesNotStartLeavesTheCommandToThisOne) {
    Serve();
    QuorTest::SystemFileList served = root->files();
    served[0].version = 2;
    QuorTest::PublishKernelFolder(content.path(), "/quor", root->system(), served);
    QuorTest::WriteFile(content / ("quor/system/" + served[0].path), "\x7f" "ELF but nothing a system runs");
    const std::string kernel = QuorTest::ReadFile(root->kernel());

    std::string errors;
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-debug", "help"}, {}, &errors)) << errors;
    const std::string log = Log();
    EXPECT_TRUE(Has(log, "CreateProcess failed.")) << log;
    EXPECT_TRUE(Has(log, "Commands:")) << log;  // the command ran here
    EXPECT_FALSE(Has(log, "Renaming log file to self_update.log")) << log;
    EXPECT_FALSE(fs::exists(root->root() + "/self_update.log"));
    EXPECT_EQ(kernel, QuorTest::ReadFile(root->kernel()));
    EXPECT_TRUE(SameLists(root->files(), QuorTest::ReadVersionList(root->system() + "/filelist.versioninfo")));
}

// The kernel folder as served by a scripted server: its list with the kernel at version 2, and the
// kernel itself answered by kernelAnswer.
struct ScriptedKernelServer {
    QuorTest::ScriptedHttpServer http;
    void Publish(const QuorTest::OrvaneRoot& root, const QuorTest::ScriptedResponse& kernelAnswer) {
        QuorTest::SystemFileList served = root.files();
        served[0].version = 2;
        std::string list;
        for (const QuorTest::SystemFile& file : served) list += file.path + "," + std::to_string(file.version) + "\n";
        http.SetResponse("/quor/system/filelist.versioninfo", {.body = list});
        http.SetResponse("/quor/system/" + served[0].path, kernelAnswer);
    }
};

// A kernel whose length cannot be confirmed (no Content-Length and the connection closed early, or
// fewer bytes than announced) is never staged, and no later start, with or without "-noupdate",
// changes {root}/system.
TEST_F(OrvaneTest, AKernelWhoseLengthCannotBeConfirmedIsNeverStagedNorPutInPlace) {
    const std::string built = QuorTest::ReadFile(QuorTest::BuiltOrvane());
    ASSERT_GT(built.size(), 100000u);
    const struct {
        const char* what;
        QuorTest::ScriptedResponse answer;
    } cases[] = {
        {"no Content-Length, cut", {.body = built, .contentLength = false, .cutBodyAfter = 100000}},
        {"fewer bytes than announced", {.body = built, .cutBodyAfter = 100000}},
    };
    for (const auto& c : cases) {
        ScriptedKernelServer server;
        ASSERT_TRUE(server.http.started());
        root = std::make_unique<QuorTest::OrvaneRoot>(server.http.baseUrl());
        server.Publish(*root, c.answer);
        const SystemState before(*root);
        const std::string stagedKernel = root->system() + "/temp/" + root->files()[0].path;

        std::string errors;
        EXPECT_EQ(255, QuorTest::RunOrvane(*root, {"noop"}, {}, &errors)) << c.what << "\n" << errors;
        ASSERT_TRUE(QuorTest::WaitForNoProcessBelow(root->base())) << c.what;
        EXPECT_TRUE(Has(Log(), "Failed to download update to file: " + root->files()[0].path)) << c.what << Log();
        EXPECT_FALSE(fs::exists(stagedKernel)) << c.what;
        EXPECT_FALSE(fs::exists(root->system() + "/temp/filelist.versioninfo")) << c.what;
        EXPECT_TRUE(SystemState(*root) == before) << c.what;

        for (const std::vector<std::string>& arguments : {std::vector<std::string>{"-noupdate", "noop"},
                                                           std::vector<std::string>{"noop"}}) {
            QuorTest::RunOrvane(*root, arguments, {}, &errors);
            ASSERT_TRUE(QuorTest::WaitForNoProcessBelow(root->base())) << c.what;
            EXPECT_TRUE(SystemState(*root) == before) << c.what << ", after a start with " << arguments[0];
        }
        root.reset();
    }
}

// A staged kernel that starts but dies before it answers never replaces the running one: this
// kernel runs the command, and a later "-noupdate" start leaves {root}/system as it is.
TEST_F(OrvaneTest, AStagedKernelThatDiesBeforeItAnswersReplacesNothing) {
    ScriptedKernelServer server;
    ASSERT_TRUE(server.http.started());
    root = std::make_unique<QuorTest::OrvaneRoot>(server.http.baseUrl());
    server.Publish(*root, {.body = "#!/bin/sh\nkill -SEGV $$\n"});
    const SystemState before(*root);

    std::string errors;
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-debug", "help"}, {}, &errors)) << errors;
    ASSERT_TRUE(QuorTest::WaitForNoProcessBelow(root->base()));
    const std::string log = Log();
    EXPECT_TRUE(Has(log, "did not answer; the update is left out.")) << log;
    EXPECT_TRUE(Has(log, "Commands:")) << log;  // the command ran here
    EXPECT_FALSE(Has(log, "Renaming log file to self_update.log")) << log;
    EXPECT_TRUE(SystemState(*root) == before);

    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "help"}, {}, &errors)) << errors;
    ASSERT_TRUE(QuorTest::WaitForNoProcessBelow(root->base()));
    EXPECT_TRUE(SystemState(*root) == before);
}

}  // namespace
}  // namespace OrvaneTest
