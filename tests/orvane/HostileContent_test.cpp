// The kernel program against a hostile content server (the test kit's scripted server): every
// manifest kind sent without end, manifests that would spell out more entries, paths or strings
// than the kernel's memory holds, a patch whose result is far larger than its file, a compressed
// patch that inflates far beyond any patch of its file, cancels during the file stage and of a
// listing. Each road holds its bound: bytes sent and kept under {root}, the kernel's peak memory
// (VmHWM), the answer's code, and a clean {root}/temp.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/ManifestFile.h"
#include "common/ZLibHelper.h"
#include "foundation/ByteOrder.h"
#include "kernel/testing/KernelClient.h"
#include "protocol/PacketType.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TestData.h"
#include "tests/orvane/KernelServing.h"
#include "tests/orvane/OrvaneTest.h"
#include "tools/jojodiff/PatchHeader.h"
#include "tools/jojodiff/Xxh64.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;
using Quor::OrvaneProtocol::IAppToOrvane;
using QuorTest::KernelClient;
using QuorTest::RecordedCall;

constexpr DWORD kV1 = 0x01000001;  // 1.0.0.1
constexpr DWORD kV2 = 0x01000002;  // 1.0.0.2
constexpr uint64_t kMiB = uint64_t{1} << 20;
// The kernel's memory budget. The sanitizers' shadow memory and quarantine count in a process's
// resident size, so their builds measure nothing against it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr uint64_t kMemoryBudget = UINT64_MAX;
constexpr bool kSanitized = true;
#else
constexpr uint64_t kMemoryBudget = 256 * kMiB;
constexpr bool kSanitized = false;
#endif
constexpr size_t kFileBytes = 200000;
const HRESULT kAborted = static_cast<HRESULT>(0x80004004u);
const std::string kRelease1 = "/quor/projects/alpha/releases/1.0.0.1/";
const std::string kRelease2 = "/quor/projects/alpha/releases/1.0.0.2/";

// The kernel's peak resident memory so far (VmHWM of /proc/<pid>/status); 0 when unreadable.
uint64_t PeakMemory(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    return 0;
}

// Bytes of the regular files below folder (the logs left out).
uint64_t TreeBytes(const std::string& folder) {
    uint64_t total = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        struct stat st;
        if (::lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode) && it->path().extension() != ".log")
            total += static_cast<uint64_t>(st.st_size);
    }
    return total;
}

// The next answer that is no progress report, within `limit` in all (a kernel that reports
// progress without end does not hold the test).
std::optional<RecordedCall> AnswerWithin(KernelClient& client, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        const auto call = client.Next(1000);
        if (call && call->operation != "RequestProgress") return call;
    }
    return std::nullopt;
}

std::vector<std::string> TempEntries(const std::string& root) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root + "/temp", error)) names.push_back(entry.path().filename());
    return names;
}

// The most bytes the files below a folder held at once while the object lived (sampled).
class TreeGrowth {
public:
    explicit TreeGrowth(std::string folder) : m_Folder(std::move(folder)), m_Start(TreeBytes(m_Folder)) {
        m_Thread = std::thread([this] {
            while (!m_Stop.load()) {
                const uint64_t now = TreeBytes(m_Folder);
                if (now > m_Peak.load()) m_Peak.store(now);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    ~TreeGrowth() { Stop(); }
    // Growth over the bytes present at the start.
    uint64_t Stop() {
        m_Stop.store(true);
        if (m_Thread.joinable()) m_Thread.join();
        return m_Peak.load() > m_Start ? m_Peak.load() - m_Start : 0;
    }

private:
    std::string m_Folder;
    uint64_t m_Start;
    std::atomic<uint64_t> m_Peak{0};
    std::atomic<bool> m_Stop{false};
    std::thread m_Thread;
};

// A release manifest written record by record, for shapes the saver never makes.
struct RawManifest {
    struct Directory {
        DWORD name, firstSubdirectory, subdirectoryCount, firstFile, fileCount;
    };
    std::vector<Directory> directories;
    std::vector<DWORD> fileNames;  // one file record per name index
    std::string strings;           // zero-terminated strings back to back
    DWORD stringCount = 0;

    DWORD AddString(const std::string& text) {
        strings += text;
        strings += '\0';
        return stringCount++;
    }
    std::string Bytes(DWORD release) const {
        std::string out;
        const auto u32 = [&out](DWORD value) {
            char bytes[4];
            Vorn::Bytes::StoreLE32(reinterpret_cast<BYTE*>(bytes), value);
            out.append(bytes, 4);
        };
        u32(0x4D534C52);  // "RLSM"
        u32(0x10002);
        u32(0);  // project name: string 0
        u32(release);
        u32(static_cast<DWORD>(directories.size()));
        for (const Directory& d : directories) {
            u32(d.name);
            u32(d.firstSubdirectory);
            u32(d.subdirectoryCount);
            u32(d.firstFile);
            u32(d.fileCount);
        }
        u32(static_cast<DWORD>(fileNames.size()));
        for (DWORD name : fileNames) {
            u32(name);
            u32(release);
            out.append(16, '\x11');  // MD5
            u32(0);                  // flags
            u32(1);                  // size
            u32(1);                  // compressed size
        }
        u32(stringCount);
        u32(static_cast<DWORD>(strings.size()));
        out += strings;
        return out;
    }
};

// `count` files "f0000000"... in one folder below a chain of folders whose path has `pathLength`
// characters (none: the files lie in the root).
std::string ManyFiles(size_t count, size_t pathLength, size_t nameLength = 8) {
    RawManifest m;
    m.AddString("alpha");
    m.directories.push_back({0xFFFFFFFF, 1, 0, 0, 0});
    std::vector<std::string> segments;
    for (size_t spelled = 0; spelled < pathLength;) {
        const size_t length = std::min<size_t>(200, pathLength - spelled - (spelled ? 1 : 0));
        segments.push_back(std::string(length, static_cast<char>('a' + segments.size() % 26)));
        spelled += length + (spelled ? 1 : 0);
    }
    for (size_t i = 0; i < segments.size(); ++i) {
        m.directories.back().subdirectoryCount = 1;
        m.directories.back().firstSubdirectory = static_cast<DWORD>(m.directories.size());
        m.directories.push_back({m.AddString(segments[i]), 0, 0, 0, 0});
    }
    m.directories.back().fileCount = static_cast<DWORD>(count);
    char name[32];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "f%0*zu", static_cast<int>(nameLength - 1), i);
        m.fileNames.push_back(m.AddString(name));
    }
    return m.Bytes(kV1);
}

// A patch of the file `original` whose header and frame state a result of resultSize bytes (RLE
// blocks of zeros): valid in every respect the tool checks before decoding, and wrong afterwards.
std::string OversizedResultPatch(const std::string& original, uint64_t resultSize) {
    JojoDiff::PatchHeader header;
    header.originalSize = original.size();
    header.originalHash = JojoDiff::Xxh64(original.data(), original.size());
    header.resultSize = resultSize;
    const auto head = JojoDiff::EncodePatchHeader(header);
    std::string patch(head.begin(), head.end());
    patch += std::string{'\x28', '\xb5', '\x2f', '\xfd', '\xe0'};  // magic, single segment, 8-byte size
    for (int i = 0; i < 8; ++i) patch += static_cast<char>(resultSize >> (8 * i));
    constexpr uint64_t kBlock = 128 * 1024;
    for (uint64_t done = 0; done < resultSize; done += kBlock) {
        const uint64_t size = std::min(kBlock, resultSize - done);
        const uint32_t block = (done + size == resultSize ? 1u : 0u) | (1u << 1) | static_cast<uint32_t>(size << 3);
        patch += {static_cast<char>(block), static_cast<char>(block >> 8), static_cast<char>(block >> 16), '\0'};
    }
    return patch;
}

// size bytes of zeros as a zlib stream.
std::string ZlibOfZeros(uint64_t size, const QuorTest::TempDir& scratch) {
    {
        std::ofstream plain(scratch / "zeros", std::ios::binary);
        const std::string chunk(kMiB, '\0');
        for (uint64_t done = 0; done < size; done += chunk.size()) plain.write(chunk.data(), chunk.size());
    }
    EXPECT_EQ(S_OK, Quor::Common::ZLibHelper::CompressFile(scratch / "zeros", scratch / "zeros.z", 0));
    fs::remove(scratch / "zeros");
    return QuorTest::ReadFile(scratch / "zeros.z");
}

// The patch manifest's line of `name` with its size field (the fourth) set to size.
std::string WithPatchSize(const std::string& manifest, const std::string& name, size_t size) {
    std::istringstream in(manifest);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name + ",", 0) == 0) {
            std::vector<std::string> fields;
            std::istringstream parts(line);
            for (std::string field; std::getline(parts, field, ',');) fields.push_back(field);
            if (fields.size() >= 4) fields[3] = std::to_string(size);
            line.clear();
            for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + fields[i];
        }
        out += line + "\n";
    }
    return out;
}

class HostileContentTest : public OrvaneTest {
protected:
    void SetUp() override {
        OrvaneTest::SetUp();
        ASSERT_TRUE(server.started());
        root = std::make_unique<QuorTest::OrvaneRoot>(server.baseUrl());
    }

    // Project alpha: release 1.0.0.1 with `files`, and 1.0.0.2 with each file edited and patches
    // from 1.0.0.1 in `patchForm` (0 plain, 0x01 zlib); all of it served as built.
    void ServeAlpha(const std::vector<std::pair<std::string, DWORD>>& files, DWORD patchForm = 0) {
        Quor::Tools::ContentTree::ContentDescription description;
        auto& project = description.AddProject("alpha");
        auto& first = project.AddRelease(kV1, {"xx"});
        uint32_t seed = 1;
        for (const auto& [name, flags] : files) first.AddFile(name, flags, QuorTest::TextBytes(kFileBytes, seed++));
        auto& second = project.AddRelease(kV2, {"xx"});
        for (const auto& [name, flags] : files) second.AddFile(name, flags, QuorTest::TextBytes(kFileBytes, seed++));
        second.patches.push_back({kV1, patchForm, 0});
        std::string error;
        {
            QuorTest::ScopedCwd cwd(root->system());  // the patches are made by the tree's jdiff
            ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        }
        for (const auto& entry : fs::recursive_directory_iterator(content.path())) {
            if (!entry.is_regular_file()) continue;
            server.SetResponse("/" + fs::relative(entry.path(), content.path()).string(),
                               {.body = QuorTest::ReadFile(entry.path())});
        }
    }
    std::string Served(const std::string& path) const { return QuorTest::ReadFile(content.path() + path); }

    void StartKernel() {
        kernel = std::make_unique<QuorTest::OrvaneRun>(*root, std::vector<std::string>{"-noupdate", "-tsr", "noop"});
        ASSERT_TRUE(WaitServing(*kernel, port)) << kernel->Stderr();
    }

    // Sends the request and waits for its answer.
    std::optional<RecordedCall> Ask(const std::function<void(IAppToOrvane&)>& request) {
        KernelClient client(port);
        if (!client.Request(request)) return std::nullopt;
        return AnswerWithin(client, std::chrono::seconds(120));
    }
    HRESULT Install(DWORD version) {
        const auto answer = Ask([version](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, 1, "alpha", version); });
        return answer ? answer->hr : static_cast<HRESULT>(0xDEADBEEFu);
    }
    static void SendCancel(KernelClient& client, DWORD requestId) {
        ASSERT_TRUE(client.Send(QuorTest::RawRequest(12, requestId, Quor::OrvaneProtocol::PACKET_TYPE_CANCEL)));
    }
    // Waits until the server was asked for a path that `match` accepts.
    bool WaitForRequest(const std::function<bool(const std::string&)>& match) const {
        for (int i = 0; i < 6000; ++i) {
            for (const QuorTest::RecordedRequest& request : server.requests())
                if (match(request.path)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    QuorTest::ScriptedHttpServer server;
    std::unique_ptr<QuorTest::OrvaneRun> kernel;
};

// A body far longer than any manifest of its kind (Content-Length says so): the kernel takes no
// more than the kind's limit, keeps no more under {root}, and answers a failure (or, for the
// package manifest, goes on without one and installs).
TEST_F(HostileContentTest, EachManifestKindSentWithoutEndStopsAtItsLimit) {
    ServeAlpha({{"data/a.bin", 0}});
    const std::string solutionManifest = "/quor/solutions/beta/releases/1.0.0.1/solutionmanifest";
    const struct {
        const char* kind;
        std::string path;
        uint64_t limit;
        bool installedFirst;  // the case updates 1.0.0.1 to 1.0.0.2
        bool installs;        // the request still succeeds
    } cases[] = {  // in the order of their limits: the server counts the longest body of all
        {"solution manifest", solutionManifest, Quor::Common::kMaxSolutionManifestBytes, false, false},
        {"release manifest", kRelease1 + "releasemanifest", Quor::Common::kMaxReleaseManifestBytes, false, false},
        {"package manifest", kRelease1 + "packages/files/packagemanifest", Quor::Common::kMaxPackageManifestBytes,
         false, true},
        {"patch manifest", kRelease2 + "patchmanifests/1.0.0.1.patchmanifest", Quor::Common::kMaxPatchManifestBytes,
         true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        fs::remove_all(root->root() + "/projects/alpha");
        StartKernel();
        if (c.installedFirst) {
            ASSERT_EQ(S_OK, Install(kV1));
        }
        const std::string original = fs::exists(content.path() + c.path) ? Served(c.path) : std::string();
        server.SetResponse(c.path, {.body = "", .padBodyTo = uint64_t{3} << 30});
        TreeGrowth growth(root->root());
        const auto answer = c.path == solutionManifest
                                ? Ask([](IAppToOrvane& s) { s.InstallSolutionReleaseRequest(0, 2, "beta", kV1, "cfg"); })
                                : Ask([&](IAppToOrvane& s) {
                                      s.InstallProjectReleaseRequest(0, 2, "alpha", c.installedFirst ? kV2 : kV1);
                                  });
        const uint64_t grown = growth.Stop();
        ASSERT_TRUE(answer.has_value()) << "no answer";
        EXPECT_EQ(c.installs, SUCCEEDED(answer->hr)) << std::hex << answer->hr;
        EXPECT_LE(1u, server.RequestCount(c.path)) << "the road was not taken";
        EXPECT_LE(server.largestBodySent(), c.limit + 8 * kMiB);
        EXPECT_LE(grown, 2 * c.limit);
        EXPECT_TRUE(TempEntries(root->root()).empty());
        EXPECT_LT(PeakMemory(kernel->pid()), kMemoryBudget);
        if (!original.empty()) server.SetResponse(c.path, {.body = original});
        kernel.reset();
    }
}

// Release manifests that would cost the kernel far more memory than their bytes: more entries
// than the limit, folders nested so deep that each short record spells a long path, and a string
// table of empty strings. Each is refused while loading; the largest manifest the limits admit
// loads and plans within the memory budget (its install is cancelled once the files are asked
// for).
TEST_F(HostileContentTest, LargeManifestsStayWithinTheMemoryBudget) {
    RawManifest emptyStrings;
    emptyStrings.AddString("alpha");
    emptyStrings.directories.push_back({0xFFFFFFFF, 0, 0, 0, 0});
    emptyStrings.strings.append(20 * kMiB, '\0');
    emptyStrings.stringCount += static_cast<DWORD>(20 * kMiB);
    // The largest admitted: as many entries as allowed, their paths using most of the path budget.
    const size_t entries = Quor::Common::kMaxManifestEntries;
    const size_t path = Quor::Common::kMaxReleaseManifestNameBytes / entries - 24;
    const struct {
        const char* shape;
        std::string bytes;
        bool refused;
    } cases[] = {
        {"three million entries", ManyFiles(3000000, 0), true},
        {"one entry more than allowed", ManyFiles(entries + 1, 0), true},
        {"folders nested 1000 characters deep", ManyFiles(300000, 1000), true},
        {"twenty million empty strings", emptyStrings.Bytes(kV1), true},
        {"the most the limits admit", ManyFiles(entries, path, 12), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        // Planning the largest admitted manifest under a sanitizer takes minutes and measures no
        // memory there: the plain build runs that case.
        if (kSanitized && !c.refused) continue;
        server.SetDefaultResponse({.status = 404});
        StartKernel();
        // Every file trickles: an admitted install holds in its file stage until it is cancelled.
        server.SetDefaultResponse({.body = std::string(64, 'x'), .trickleEvery = std::chrono::milliseconds(900)});
        server.SetResponse(kRelease1 + "releasemanifest", {.body = c.bytes});
        KernelClient client(port);
        ASSERT_TRUE(client.Request([](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, 3, "alpha", kV1); }));
        if (!c.refused) {
            ASSERT_TRUE(WaitForRequest([](const std::string& p) { return p.find("/files/") != std::string::npos; }))
                << "the install never reached its files";
            SendCancel(client, 3);
        }
        const auto answer = AnswerWithin(client, std::chrono::seconds(120));
        ASSERT_TRUE(answer.has_value()) << "no answer";
        if (c.refused)
            EXPECT_TRUE(FAILED(answer->hr)) << std::hex << answer->hr;
        else
            EXPECT_EQ(kAborted, answer->hr);
        const uint64_t peak = PeakMemory(kernel->pid());
        std::printf("%s: the kernel's peak memory %llu MiB\n", c.shape, static_cast<unsigned long long>(peak / kMiB));
        EXPECT_LT(peak, kMemoryBudget);
        kernel.reset();
    }
}

// A patch stating a result of 256 MiB for a file of 200,000 bytes, and a zlib patch that inflates
// to 64 MiB: each fails at once, leaves {root} no larger than twice the release, and the file is
// fetched whole.
TEST_F(HostileContentTest, PatchesBeyondTheirFileFailAtOnceAndTheFileIsFetchedWhole) {
    QuorTest::TempDir scratch;
    const struct {
        const char* road;
        DWORD form;
        std::function<std::string(const std::string& original)> patch;
    } cases[] = {
        {"result of 256 MiB", 0, [](const std::string& original) { return OversizedResultPatch(original, 256 * kMiB); }},
        {"zlib bomb of 64 MiB", 0x01, [&scratch](const std::string&) { return ZlibOfZeros(64 * kMiB, scratch); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.road);
        fs::remove_all(root->root() + "/projects/alpha");
        fs::remove_all(content.path() + "/quor");
        ServeAlpha({{"data/a.bin", 0}}, c.form);
        StartKernel();
        ASSERT_EQ(S_OK, Install(kV1));
        const std::string deployed = root->root() + "/projects/alpha/releases/1.0.0.1/deploy/data/a.bin";
        const std::string patch = c.patch(QuorTest::ReadFile(deployed));
        const std::string manifestPath = kRelease2 + "patchmanifests/1.0.0.1.patchmanifest";
        server.SetResponse(manifestPath, {.body = WithPatchSize(Served(manifestPath), "data/a.bin", patch.size())});
        const std::string patchPath = kRelease2 + "patches/1.0.0.1/data/a.bin" + (c.form ? ".z" : "");
        server.SetResponse(patchPath, {.body = patch});

        TreeGrowth growth(root->root());
        EXPECT_EQ(S_OK, Install(kV2));
        EXPECT_LE(growth.Stop(), 2 * 2 * kFileBytes + kMiB);
        EXPECT_EQ(1u, server.RequestCount(patchPath)) << "the patch was not tried";
        EXPECT_EQ(Served(kRelease2 + "files/data/a.bin"),
                  QuorTest::ReadFile(root->root() + "/projects/alpha/releases/1.0.0.2/deploy/data/a.bin"));
        EXPECT_TRUE(TempEntries(root->root()).empty());
        kernel.reset();
    }
}

// Cancels while an archived file trickles and two others of the release already lie in
// {root}/temp for their archive: each cancel is answered as a cancel and leaves {root}/temp empty.
TEST_F(HostileContentTest, CancelsDuringTheFileStageLeaveTheTemporaryFolderEmpty) {
    constexpr DWORD kArchived = 0x02;
    ServeAlpha({{"data/a.bin", kArchived}, {"data/b.bin", kArchived}, {"data/z.bin", kArchived}});
    for (const char* form : {"", ".compressed", ".lzma2"})
        server.SetResponse(kRelease1 + "files/data/z.bin" + form,
                           {.body = std::string(64, 'z'), .trickleEvery = std::chrono::milliseconds(900)});
    StartKernel();
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("cancel " + std::to_string(round + 1));
        KernelClient client(port);
        const DWORD id = 10 + static_cast<DWORD>(round);
        ASSERT_TRUE(client.Request([id](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, id, "alpha", kV1); }));
        // The two small files are down and handed to their archive while the third trickles.
        bool waiting = false;
        for (int i = 0; i < 6000 && !waiting; ++i) {
            waiting = TempEntries(root->root()).size() >= 3;
            if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(waiting) << "the file stage never held three files";
        SendCancel(client, id);
        const auto answer = client.Answer();
        ASSERT_TRUE(answer.has_value()) << "no answer";
        EXPECT_EQ(kAborted, answer->hr);
        EXPECT_TRUE(TempEntries(root->root()).empty())
            << "left in temp: " << ::testing::PrintToString(TempEntries(root->root()));
    }
}

// A release listing that trickles: the cancel of its Enumerate request is answered as a cancel.
TEST_F(HostileContentTest, ACancelledListingIsAnsweredAsACancel) {
    const std::string listing = "/quor/projects/alpha/releases/releaselisting_xx";
    server.SetResponse(listing, {.body = "1.0.0.1\n", .trickleEvery = std::chrono::milliseconds(900)});
    server.SetResponse("/quor/projects/alpha/releases/releaselisting",
                       {.body = "1.0.0.1\n", .trickleEvery = std::chrono::milliseconds(900)});
    StartKernel();
    KernelClient client(port);
    ASSERT_TRUE(client.Request([](IAppToOrvane& s) { s.EnumerateAvailableProjectReleasesRequest(0, 4, "alpha"); }));
    ASSERT_TRUE(WaitForRequest([](const std::string& p) { return p.find("releaselisting") != std::string::npos; }));
    SendCancel(client, 4);
    const auto answer = client.Answer();
    ASSERT_TRUE(answer.has_value()) << "no answer";
    EXPECT_EQ("EnumerateAvailableProjectReleasesResponse", answer->operation);
    EXPECT_EQ(kAborted, answer->hr) << std::hex << answer->hr;
}

}  // namespace
}  // namespace OrvaneTest
