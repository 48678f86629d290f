#include "tools/archive/ArchiveTool.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "archive/FolderEntries.h"
#include "common/ConvertVersion.h"
#include "common/LZMA.h"
#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "remote/MD5Helper.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/TempDir.h"

namespace Quor::Tools {
namespace {

using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

struct Result {
    int code;
    std::string out, err;
};

Result Tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunArchiveTool(args, out, err);
    return {code, out.str(), err.str()};
}

class ArchiveToolTest : public ::testing::Test {
protected:
    void SetUp() override { Log::SetLogLevel(Log::USER); }
    std::string File(const std::string& name, const std::string& bytes) {
        WriteFile(dir / name, bytes);
        return dir / name;
    }
    // verify passes and ends with the summary given.
    void ExpectClean(const std::string& summary) {
        Result verify = Tool({"verify", folder});
        EXPECT_EQ(verify.code, 0) << verify.out;
        EXPECT_NE(verify.out.find(summary + ", 0 problems"), std::string::npos) << verify.out;
    }
    // The index file name of the pair that holds the first listed file.
    std::string FirstIndexName() {
        const std::string listed = Tool({"list", folder}).out;
        return listed.substr(0, listed.find(".dat"));
    }
    TempDir dir;
    std::string folder = dir / "arch";
};

TEST_F(ArchiveToolTest, AddListExtractDeleteVerify) {
    ASSERT_EQ(Tool({"add", folder, "b/two.txt", File("two", "second"), "a.txt", File("one", "first")}).code, 0);
    Result list = Tool({"list", folder});
    ASSERT_EQ(list.code, 0) << list.err;
    EXPECT_NE(list.out.find("\t5\ta.txt\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\t6\tb/two.txt\n"), std::string::npos) << list.out;
    EXPECT_LT(list.out.find("a.txt"), list.out.find("b/two.txt"));

    ASSERT_EQ(Tool({"extract", folder, "B/TWO.TXT", dir / "out"}).code, 0);
    EXPECT_EQ(ReadFile(dir / "out"), "second");
    ASSERT_EQ(Common::LZMA::CompressFile(File("plain", "some text to pack"), dir / "packed", 0), S_OK);
    ASSERT_EQ(Tool({"add", folder, "packed.lzma2", dir / "packed"}).code, 0);
    ASSERT_EQ(Tool({"extract", folder, "packed.lzma2", dir / "unpacked", "--lzma"}).code, 0);
    EXPECT_EQ(ReadFile(dir / "unpacked"), "some text to pack");
    EXPECT_EQ(Tool({"extract", folder, "packed.lzma2", dir / "bad", "--zlib"}).code, 1);

    Result refused = Tool({"add", folder, "a.txt", File("again", "x")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("a.txt: refused"), std::string::npos);
    EXPECT_EQ(Tool({"delete", folder, "nothere"}).code, 1);
    ASSERT_EQ(Tool({"delete", folder, "a.txt"}).code, 0);
    EXPECT_EQ(Tool({"extract", folder, "a.txt", dir / "out2"}).code, 1);
    ExpectClean("1 archives, 2 files");
}

TEST_F(ArchiveToolTest, VerifyReportsProblemsWithoutChangingAnything) {
    ASSERT_EQ(Tool({"add", folder, "a.txt", File("one", "first")}).code, 0);
    const std::string name = FirstIndexName();
    const std::string index = ReadFile(folder + "/" + name);
    ASSERT_FALSE(index.empty());
    std::string damaged = index;
    damaged[30] ^= 1;
    WriteFile(folder + "/" + name, damaged);
    WriteFile(folder + "/TMPabc123", "leftover");
    WriteFile(folder + "/Gone.zef.dat", "orphan");
    WriteFile(folder + "/" + name + ".commit", "journal");

    Result verify = Tool({"verify", folder});
    EXPECT_EQ(verify.code, 1);
    for (const char* expected : {"damaged index", "TMPabc123: PROBLEM", "Gone.zef.dat: PROBLEM: data file without an index",
                                 ".commit: PROBLEM", "4 problems"})
        EXPECT_NE(verify.out.find(expected), std::string::npos) << expected << "\n" << verify.out;
    // Nothing was repaired or removed.
    EXPECT_EQ(ReadFile(folder + "/" + name), damaged);
    EXPECT_TRUE(QuorTest::Exists(folder + "/TMPabc123"));
    Result list = Tool({"list", folder});
    EXPECT_EQ(list.out, "");
    EXPECT_NE(list.err.find("cannot be read"), std::string::npos);
    EXPECT_EQ(Tool({"frobnicate", folder}).code, 2);
    EXPECT_EQ(Tool({"list"}).code, 2);
}

// The program itself: its exit code and standard output.
Result Program(const std::vector<std::string>& args, const std::string& outFile) {
    std::string command = QuorTest::ShellQuote(QUOR_ARCHIVE_PROGRAM);
    for (const std::string& arg : args) command += " " + QuorTest::ShellQuote(arg);
    const int code = QuorTest::RunCommand(command + " >" + QuorTest::ShellQuote(outFile) + " 2>&1");
    return {code, ReadFile(outFile), ""};
}

// Pairs hold no checksum of what they store: verify says it checks their structure, and with a
// release manifest it hashes every stored file the manifest lists for this folder (plain or kept
// compressed) and fails on a changed byte, which extract would hand out unnoticed.
TEST_F(ArchiveToolTest, VerifyChecksStoredBytesAgainstAReleaseManifest) {
    const std::string archives = dir / "filearchives/1.0.0.3";
    const std::string packedText = "some text to pack, some text to pack";
    ASSERT_EQ(Common::LZMA::CompressFile(File("plain", packedText), dir / "packed", 0), S_OK);
    ASSERT_EQ(Tool({"add", archives, "a.txt", File("one", "first"), "b/two.txt", File("two", "second"), "packed.bin",
                    dir / "packed", "newer.txt", File("newer", "old content")})
                  .code,
              0);

    using Common::ReleaseManifest;
    ReleaseManifest manifest;
    const auto add = [&](const std::string& name, const char* version, const std::string& content, DWORD flags,
                         DWORD compressedSize) {
        MD5::DIGEST digest = {};
        ASSERT_EQ(Common::MD5Helper::ComputeMD5(File("content", content), digest), S_OK);
        DWORD number = 0;
        ASSERT_EQ(Common::ConvertVersion::ToNumber(version, number), S_OK);
        ASSERT_EQ(manifest.Add(name, number, digest, flags, static_cast<DWORD>(content.size()), compressedSize), S_OK);
    };
    add("a.txt", "1.0.0.3", "first", ReleaseManifest::FLAG_ARCHIVED, 0);
    add("b/two.txt", "1.0.0.3", "second", ReleaseManifest::FLAG_ARCHIVED, 0);
    add("packed.bin", "1.0.0.3", packedText,
        ReleaseManifest::FLAG_ARCHIVED | ReleaseManifest::FLAG_STORED_COMPRESSED | ReleaseManifest::FLAG_LZMA,
        static_cast<DWORD>(ReadFile(dir / "packed").size()));
    // Published anew by a later release: stored in that release's folder, not checked here.
    add("newer.txt", "1.0.0.4", "new content", ReleaseManifest::FLAG_ARCHIVED, 0);
    const std::string manifestFile = dir / "releasemanifest";
    ASSERT_EQ(manifest.Save(manifestFile), S_OK);
    const std::string out = dir / "out.txt";

    Result plain = Program({"verify", archives}, out);
    EXPECT_EQ(plain.code, 0) << plain.out;
    EXPECT_NE(plain.out.find("checked: the structure of the pairs; the stored bytes were not checked"),
              std::string::npos) << plain.out;
    Result sound = Program({"verify", archives, "--manifest", manifestFile}, out);
    EXPECT_EQ(sound.code, 0) << sound.out;
    EXPECT_NE(sound.out.find("3 files checked against the manifest's MD5, 1 not listed"), std::string::npos)
        << sound.out;

    // One stored byte of b/two.txt flipped.
    const std::string listed = Tool({"list", archives}).out;
    const size_t line = listed.rfind('\n', listed.find("\tb/two.txt")) + 1;
    const std::string data = archives + "/" + listed.substr(line, listed.find('\t', line) - line);
    const size_t offset = std::stoul(listed.substr(listed.find('\t', line) + 1));
    std::string bytes = ReadFile(data);
    ASSERT_LT(offset, bytes.size()) << listed;
    bytes[offset + 2] ^= 0x20;
    WriteFile(data, bytes);

    Result structure = Program({"verify", archives}, out);
    EXPECT_EQ(structure.code, 0) << structure.out;
    EXPECT_NE(structure.out.find("the stored bytes were not checked"), std::string::npos) << structure.out;
    Result changed = Program({"verify", archives, "--manifest", manifestFile}, out);
    EXPECT_EQ(changed.code, 1) << changed.out;
    EXPECT_NE(changed.out.find("PROBLEM: b/two.txt: MD5 differs from the manifest"), std::string::npos) << changed.out;
    EXPECT_NE(changed.out.find(", 1 problems"), std::string::npos) << changed.out;
    EXPECT_EQ(changed.out.find("a.txt: MD5"), std::string::npos) << changed.out;

    Result unreadable = Program({"verify", archives, "--manifest", dir / "missing"}, out);
    EXPECT_EQ(unreadable.code, 1) << unreadable.out;
    EXPECT_NE(unreadable.out.find("not a release manifest that can be read"), std::string::npos) << unreadable.out;
    EXPECT_EQ(Program({"verify", archives, "--manifest"}, out).code, 2);
}

TEST_F(ArchiveToolTest, DeleteOfTwoPathsOfOnePairRemovesBoth) {
    ASSERT_EQ(Tool({"add", folder, "a", File("a", "1"), "b", File("b", "22"), "c", File("c", "333")}).code, 0);
    Result deleted = Tool({"delete", folder, "a", "B"});
    EXPECT_EQ(deleted.code, 0) << deleted.err;
    Result list = Tool({"list", folder});
    EXPECT_EQ(list.out.find("\ta\n"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("\tb\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\tc\n"), std::string::npos) << list.out;
    // Emptying the pair removes it whole: verify stays clean, also after the next writer.
    ASSERT_EQ(Tool({"delete", folder, "c"}).code, 0);
    ASSERT_EQ(Tool({"add", folder, "d", File("d", "4")}).code, 0);
    ASSERT_EQ(Tool({"delete", folder, "d"}).code, 0);
    ASSERT_EQ(Tool({"add", folder, "e", File("e", "5")}).code, 0);
    ExpectClean("1 archives, 1 files");
}

TEST_F(ArchiveToolTest, DamagedIndexIsSetAsideAndReported) {
    ASSERT_EQ(Tool({"add", folder, "a.txt", File("one", "first")}).code, 0);
    const std::string name = FirstIndexName();
    const std::string index = ReadFile(folder + "/" + name), data = ReadFile(folder + "/" + name + ".dat");
    std::string damaged = index;
    damaged[index.size() - 3] ^= 0x01;
    WriteFile(folder + "/" + name, damaged);
    ASSERT_EQ(Tool({"add", folder, "b.txt", File("two", "second")}).code, 0);
    EXPECT_EQ(ReadFile(folder + "/" + name + ".damaged"), damaged);
    EXPECT_EQ(ReadFile(folder + "/" + name + ".damaged.dat"), data);
    Result list = Tool({"list", folder});
    EXPECT_NE(list.out.find("\tb.txt\n"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find(name + ".dat"), std::string::npos) << "new pair took the old name: " << list.out;
    Result verify = Tool({"verify", folder});
    EXPECT_EQ(verify.code, 1);
    EXPECT_NE(verify.out.find(name + ".damaged: PROBLEM: a damaged index"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("1 problems"), std::string::npos) << verify.out;
}

TEST_F(ArchiveToolTest, UserFoldersAndSpecialFilesAreLeftAlone) {
    // A folder of someone else's files: delete and verify refuse it, nothing is removed.
    const std::string user = dir / "user";
    for (const char* name : {"TMPabc123", "TMPabc123.dat", "notes.zef", "x.zef.commit"}) WriteFile(user + "/" + name, "mine");
    Result refused = Tool({"delete", user, "x"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("not an archive folder"), std::string::npos) << refused.err;
    EXPECT_EQ(Tool({"verify", user}).code, 1);
    ASSERT_EQ(Tool({"add", user, "a.txt", File("one", "first")}).code, 0);
    for (const char* name : {"TMPabc123", "TMPabc123.dat", "notes.zef", "x.zef.commit"})
        EXPECT_EQ(ReadFile(user + "/" + name), "mine") << name;

    // FIFOs and devices where files are expected end at once with a message.
    ASSERT_EQ(Tool({"add", folder, "a.txt", File("one", "first")}).code, 0);
    ASSERT_EQ(mkfifo((folder + "/Fifo.zef").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    Result list = Tool({"list", folder});
    EXPECT_NE(list.out.find("\ta.txt\n"), std::string::npos);
    EXPECT_NE(list.err.find("Fifo.zef: cannot be read"), std::string::npos) << list.err;
    Result verify = Tool({"verify", folder});
    EXPECT_NE(verify.out.find("Fifo.zef: PROBLEM: not a regular file"), std::string::npos) << verify.out;
    EXPECT_EQ(Tool({"add", folder, "b", dir / "fifo"}).code, 1);
    EXPECT_EQ(Tool({"add", folder, "z", "/dev/zero"}).code, 1);
    EXPECT_EQ(Tool({"extract", folder, "a.txt", dir / "out"}).code, 0);
}

TEST_F(ArchiveToolTest, ExtractWritesBesideAndRefusesThePairsOwnFiles) {
    ASSERT_EQ(Common::LZMA::CompressFile(File("plain", "some text to pack"), dir / "packed", 0), S_OK);
    ASSERT_EQ(Tool({"add", folder, "packed", dir / "packed", "ctl\x01\nname", File("c", "x")}).code, 0);
    // A failed decompression leaves an existing destination as it was, and nothing beside it.
    WriteFile(dir / "dest/keep", "precious");
    EXPECT_EQ(Tool({"extract", folder, "packed", dir / "dest/keep", "--zlib"}).code, 1);
    EXPECT_EQ(ReadFile(dir / "dest/keep"), "precious");
    ASSERT_EQ(Tool({"extract", folder, "packed", dir / "dest/keep", "--lzma"}).code, 0);
    EXPECT_EQ(ReadFile(dir / "dest/keep"), "some text to pack");
    size_t entries = 0;
    for (const std::string& name : FileSystem::Impl::FolderEntries(dir / "dest")) entries += name.size() > 0;
    EXPECT_EQ(entries, 1u);
    // The pair's own data file (directly or through a link) is never a destination.
    const std::string listed = Tool({"list", folder}).out;
    const std::string data = folder + "/" + listed.substr(0, listed.find('\t'));
    const std::string before = ReadFile(data);
    ASSERT_EQ(symlink(data.c_str(), (dir / "link").c_str()), 0);
    for (const std::string& target : {data, dir / "link"}) {
        Result refused = Tool({"extract", folder, "packed", target});
        EXPECT_EQ(refused.code, 1);
        EXPECT_NE(refused.err.find("a file of the archive folder itself"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(ReadFile(data), before);
    EXPECT_EQ(Tool({"verify", folder}).code, 0);
    // A stored name cannot forge a line of the listing.
    EXPECT_NE(listed.find("\tctl\\x01\\x0Aname\n"), std::string::npos) << listed;
}

// A hostile local user plants links at every name a writer creates: the link must never be
// written through and nothing outside the folders changes.
TEST_F(ArchiveToolTest, PlantedLinksAreNeverWrittenThrough) {
    const std::string canary = dir / "canary";
    WriteFile(canary, "canary");
    QuorTest::MakeDirs(folder);
    QuorTest::MakeDirs(dir / "dest");
    ASSERT_EQ(Common::LZMA::CompressFile(File("plain", "packed text"), dir / "packed", 0), S_OK);
    ASSERT_EQ(Tool({"add", folder, "packed", dir / "packed"}).code, 0);
    const std::string index = FirstIndexName();

    std::atomic<bool> stop{false};
    std::atomic<int> planted{0};
    std::mutex oursLock;
    std::set<std::string> ours;  // the planted links: their own creation is no cue to plant more
    auto plant = [&](const std::string& at) {
        std::lock_guard<std::mutex> hold(oursLock);
        if (symlink(canary.c_str(), at.c_str()) == 0) {
            ++planted;
            ours.insert(at);
        }
    };
    auto isOurs = [&](const std::string& at) {
        std::lock_guard<std::mutex> hold(oursLock);
        return ours.count(at) != 0;
    };
    std::thread watcher([&] {
        const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        const std::string watched[] = {folder, dir / "dest"};
        inotify_add_watch(fd, watched[0].c_str(), IN_CREATE | IN_MOVED_TO);
        inotify_add_watch(fd, watched[1].c_str(), IN_CREATE | IN_MOVED_TO);
        alignas(inotify_event) char buffer[8192];
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            const ssize_t n = read(fd, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                const std::string base = watched[event->wd == 1 ? 0 : 1];
                if (event->len && !isOurs(base + "/" + event->name)) {
                    const std::string name = event->name;
                    for (const char* suffix : {".dat", ".stored", ".commit"}) plant(base + "/" + name + suffix);
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        close(fd);
    });
    plant(folder + "/" + index + ".commit");
    plant(dir / "dest/out.stored");
    int changes = 0;
    for (int run = 0; run < 30; ++run) {
        const std::string path = "f" + std::to_string(run);
        changes += Tool({"add", folder, path, File(path, "content " + path)}).code == 0;
        Tool({"extract", folder, "packed", dir / "dest/out", "--lzma"});
        if (run % 3 == 2) changes += Tool({"delete", folder, path}).code == 0;
    }
    stop = true;
    watcher.join();
    EXPECT_GT(planted.load(), 0);
    EXPECT_EQ(ReadFile(canary), "canary");
    std::vector<std::string> outside = FileSystem::Impl::FolderEntries(dir.path());
    for (const std::string& name : outside)
        EXPECT_TRUE(name == "arch" || name == "dest" || name == "canary" || name == "packed" || name == "plain" ||
                    name[0] == 'f')
            << "unexpected " << name;
    struct stat st;
    ASSERT_EQ(lstat((folder + "/" + index + ".commit").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the planted journal link was replaced";
    (void)changes;
}

// Two processes add to one folder at once: the writer lock orders them, and each exit code says
// whether its file was stored.
TEST_F(ArchiveToolTest, TwoWritersNeverLoseAnUpdate) {
    std::mt19937 random(12345);
    for (int run = 0; run < 50; ++run) {
        const std::string target = dir / ("run" + std::to_string(run));
        const std::string sources[2] = {File("x" + std::to_string(run), "first writer"),
                                        File("y" + std::to_string(run), "second writer")};
        pid_t children[2];
        for (int k = 0; k < 2; ++k) {
            const unsigned delay = random() % 3000;
            children[k] = fork();
            ASSERT_GE(children[k], 0);
            if (children[k] == 0) {
                usleep(delay);
                std::ostringstream out, err;
                const int code = RunArchiveTool({"add", target, k ? "ok" : "first", sources[k]}, out, err);
                if (code != 0 && err.str().find("in use by another writer") == std::string::npos) _exit(3);
                _exit(code);
            }
        }
        int codes[2];
        for (int k = 0; k < 2; ++k) {
            int status = 0;
            ASSERT_EQ(waitpid(children[k], &status, 0), children[k]);
            ASSERT_TRUE(WIFEXITED(status));
            codes[k] = WEXITSTATUS(status);
            ASSERT_NE(codes[k], 3) << "a failure without a clear message in run " << run;
        }
        const std::string list = Tool({"list", target}).out;
        EXPECT_EQ(list.find("\tfirst\n") != std::string::npos, codes[0] == 0) << "run " << run << "\n" << list;
        EXPECT_EQ(list.find("\tok\n") != std::string::npos, codes[1] == 0) << "run " << run << "\n" << list;
        EXPECT_TRUE(codes[0] == 0 || codes[1] == 0) << "run " << run;
        EXPECT_EQ(Tool({"verify", target}).code, 0) << "run " << run;
    }
}

}  // namespace
}  // namespace Quor::Tools
