#pragma once
// Test fixture: release 1.0.0.5 of project "game" with one file of every kind the client reads,
// the working folder in its deploy folder, and a client main object made there (no kernel: the
// named semaphores carry a suffix of this test process). Test code only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "api/Main.h"
#include "tests/kit/ReleaseTree.h"

namespace QuorTest {

constexpr DWORD kGameRelease = 0x01000005;  // 1.0.0.5
constexpr const char* kTen = "0123456789";
constexpr const char* kText = "first\nsecond\r\nlast";

using Flags = Quor::Common::ReleaseManifest;

class GameRelease : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string suffix = "_apifiles" + std::to_string(::getpid());
        ::setenv("ORVANE_INSTANCE", suffix.c_str(), 1);
        tree.AddProject("game", kGameRelease,
                        {{"data/plain.bin", 0, kTen},
                         {"data/plain.txt", 0, kText},
                         {"data/stored.bin", Flags::FLAG_ARCHIVED, kTen},
                         {"data/stored.txt", Flags::FLAG_ARCHIVED, kText},
                         {"data/empty.bin", Flags::FLAG_ARCHIVED, ""},
                         {"data/zlib.bin", Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_ZLIB, kTen},
                         {"data/zlib.txt", Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_ZLIB, kText},
                         {"data/lzma.bin", Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_LZMA, kTen},
                         {"data/managed.bin", Flags::FLAG_MANAGED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_ZLIB, kTen},
                         {"data/odd.bin", Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED, kTen},
                         {"data/sub/inner.ini", Flags::FLAG_MANAGED, "inner"},
                         {"data/a.ini", 0, "a"},
                         {"data/b.ini", Flags::FLAG_ARCHIVED, "b"},
                         {"data/readme.txt", 0, "readme"}});
        deploy = tree.ProjectRelease("game", kGameRelease) + "/deploy";
        cwd = tree.Enter(deploy);
        ASSERT_EQ(Quor::API::CreateMain(main), S_OK);
        ASSERT_TRUE(main);
    }
    void TearDown() override { main.reset(); }

    std::shared_ptr<Quor::API::IFile> Open(const std::string& name, Quor::API::FILE_TYPE type) {
        std::shared_ptr<Quor::API::IFile> file;
        EXPECT_EQ(main->OpenFile(name, type, file), S_OK) << name;
        return file;
    }

    ReleaseTree tree;
    std::string deploy;
    std::unique_ptr<ScopedCwd> cwd;
    std::shared_ptr<Quor::API::IMain> main;
};

}  // namespace QuorTest
