#pragma once
// Fixture of the kernel program's end-to-end tests: a port and a semaphore suffix of the test's
// own (inherited by every kernel it starts), a {base}/QUOR with the built kernel, and a content
// tree served by nginx whose project "kiv_launcher" holds a recording KivLauncher program, or
// one of the test's own; and SystemState, what stands in {root}/system (the kernel and its list)
// for comparing before and after.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kernel/testing/OwnKernelTest.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/orvane/OrvaneRoot.h"
#include "tests/kit/orvane/OrvaneRun.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace OrvaneTest {

constexpr DWORD kLauncherRelease = 0x00000001;  // 0.0.0.1
// Two releases of a project of a test's own.
constexpr DWORD kFirst = 0x01000001;   // 1.0.0.1
constexpr DWORD kSecond = 0x01000002;  // 1.0.0.2
using Quor::Tools::ContentTree::ContentDescription;

// What stands in {root}/system: the kernel and the list.
struct SystemState {
    std::string kernel, list;
    explicit SystemState(const QuorTest::OrvaneRoot& root)
        : kernel(QuorTest::ReadFile(root.kernel())), list(QuorTest::ReadFile(root.system() + "/filelist.versioninfo")) {}
    bool operator==(const SystemState& other) const { return kernel == other.kernel && list == other.list; }
};

class OrvaneTest : public QuorTest::OwnKernelTest {
protected:

    // Builds the content tree (kiv_launcher 0.0.0.1 with a launcher that appends its working
    // folder and arguments to record()), serves it and lays out the root with the server in system.cfg.
    void Serve() {
        Quor::Tools::ContentTree::ContentDescription description;
        description.AddProject("kiv_launcher")
            .AddRelease(kLauncherRelease, {"xx"})
            .AddFile("KivLauncher.app/Contents/MacOS/KivLauncher", 0,
                     "#!/bin/sh\necho \"$PWD|$#|$1\" >> '" + record() + "'\n");
        Serve(description);
    }
    // Builds the content tree of description (its patches made with our jdiff), serves it and
    // lays out the root with the server in system.cfg.
    void Serve(const Quor::Tools::ContentTree::ContentDescription& description) {
        {
            QuorTest::QuorTree builder;  // the builder runs the jdiff of its working folder's tree
            builder.InstallPatchTools();
            std::string error;
            ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        }
        nginx = std::make_unique<QuorTest::NginxServer>(content.path());
        ASSERT_TRUE(nginx->started());
        root = std::make_unique<QuorTest::OrvaneRoot>(nginx->baseUrl());
    }
    // Lays out the root with nobody answering at the server's address.
    void ServeNothing() {
        uint16_t unused = QuorTest::PickLoopbackPort();
        while (unused == port) unused = QuorTest::PickLoopbackPort();
        root = std::make_unique<QuorTest::OrvaneRoot>("127.0.0.1:" + std::to_string(unused));
    }
    // The server's copy of the kernel folder, equal to the installed one.
    void PublishSameKernel() const {
        QuorTest::PublishKernelFolder(content.path(), "/quor", root->system(), root->files());
    }

    std::string record() const { return outside / "launcher-record"; }
    std::string Log() const { return QuorTest::ReadFile(root->root() + "/quor_orvane.log"); }
    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    QuorTest::TempDir outside{"outside"};
    QuorTest::TempDir content{"content"};
    std::unique_ptr<QuorTest::NginxServer> nginx;
    std::unique_ptr<QuorTest::OrvaneRoot> root;
};

}  // namespace OrvaneTest
