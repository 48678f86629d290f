#pragma once
// Fixture of the download tests: a fresh install tree whose system.cfg points at a scripted
// loopback HTTP server, a release manifest of project "alpha" 1.0.0.1 whose files the server holds
// in the forms their flags ask for (plain, ".compressed", ".lzma2"), optional package bins, and a
// progress object with a cancellation flag. Each test case runs in its own process.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/ConvertVersion.h"
#include "common/LZMA.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "common/ZLibHelper.h"
#include "install/DownloadManager.h"
#include "install/WorkLists.h"
#include "remote/HTTPConnection.h"
#include "remote/MD5.h"
#include "remote/PackageManifest.h"
#include "remote/ReleaseManifestPaths.h"
#include "remote/RemoteFileServerHTTP.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace QuorTest {

// An IRemoteFileServer that forwards to another and runs a hook before every GetFile (the number of
// GetFile calls made before this one, and the remote path).
class HookedServer : public Quor::User::IRemoteFileServer {
public:
    using Hook = std::function<void(unsigned calls, const std::string& remotePath)>;
    HookedServer(Quor::User::IRemoteFileServer& inner, Hook hook) : m_Inner(inner), m_Hook(std::move(hook)) {}
    virtual ~HookedServer() = default;

    HRESULT GetFile(const std::string& remotePath, const std::string& localPath,
                    Quor::Common::IGetFileProgressCallback* const callback, const bool flag) override {
        m_Hook(m_Calls++, remotePath);
        return m_Inner.GetFile(remotePath, localPath, callback, flag);
    }
    HRESULT GetFileSize(const std::string& remotePath, DWORD& size) override {
        return m_Inner.GetFileSize(remotePath, size);
    }
    const std::string& GetDownloadPath() override { return m_Inner.GetDownloadPath(); }
    HRESULT EnumerateAvailableSolutionReleases(const std::string&, std::vector<DWORD>&, const unsigned int) override {
        return E_NOTIMPL;
    }
    HRESULT EnumerateAvailableSolutionReleasesForRegion(const std::string&, const std::string&, std::vector<DWORD>&,
                                                        const unsigned int) override {
        return E_NOTIMPL;
    }
    HRESULT EnumerateAvailableProjectReleases(const std::string&, std::vector<DWORD>&, const unsigned int) override {
        return E_NOTIMPL;
    }
    HRESULT EnumerateAvailableProjectReleasesForRegion(const std::string&, const std::string&, std::vector<DWORD>&,
                                                       const unsigned int) override {
        return E_NOTIMPL;
    }
    HRESULT EnumerateAvailablePatches(const std::string&, const DWORD, std::vector<DWORD>&, const DWORD) override {
        return E_NOTIMPL;
    }

private:
    Quor::User::IRemoteFileServer& m_Inner;
    Hook m_Hook;
    std::atomic<unsigned> m_Calls{0};
};

class DownloadFixture : public ::testing::Test {
protected:
    using ENTRY = Quor::Common::ReleaseManifest::ENTRY;
    static constexpr DWORD kRelease = 0x01000001;  // 1.0.0.1

    // One file of the release: its plain bytes and the forms the server holds.
    struct Served {
        std::string name;
        DWORD flags = 0;
        std::string plain;
        std::string zlib;
        std::string lzma;
    };

    void SetUp() override {
        ASSERT_TRUE(http.started());
        tree.WriteSystemConfig(http.baseUrl(), "/cdn", "xx");
        HRESULT result = E_FAIL;
        connection = std::make_shared<Quor::Common::HTTPConnection>(result, http.baseUrl(), 80, 60, false, nullptr);
        ASSERT_EQ(S_OK, result);
        server = std::make_unique<Quor::User::RemoteFileServerHTTP>(connection);
        manifest.m_ProjectName = "alpha";
        manifest.m_ReleaseVersion = kRelease;
    }

    std::string Root() const {  // without the trailing "/"
        std::string root = tree.root();
        return root.substr(0, root.size() - 1);
    }
    static std::string FilesUrl() { return "/cdn/projects/alpha/releases/1.0.0.1/files/"; }
    static std::string PackagesUrl() { return "/cdn/projects/alpha/releases/1.0.0.1/packages/files/"; }

    // Adds a file to the manifest and scripts the server with its forms (unless serve is false).
    Served& Add(const std::string& name, DWORD flags, const std::string& plain, bool serve = true) {
        Served file{name, flags, plain, Compress(plain, false), Compress(plain, true)};
        MD5 md5;
        md5.Update(plain.data(), static_cast<UINT>(plain.size()));
        md5.Final();
        const DWORD compressedSize = static_cast<DWORD>(
            flags & Quor::Common::ReleaseManifest::FLAG_ZLIB ? file.zlib.size() : flags & Quor::Common::ReleaseManifest::FLAG_LZMA ? file.lzma.size() : 0);
        EXPECT_EQ(S_OK, manifest.Add(name, kRelease, md5.GetDigest(), flags, static_cast<DWORD>(plain.size()),
                                     compressedSize));
        if (serve) {
            http.SetResponse(FilesUrl() + name, {.body = plain});
            if (flags & Quor::Common::ReleaseManifest::FLAG_ZLIB) http.SetResponse(FilesUrl() + name + ".compressed", {.body = file.zlib});
            if (flags & Quor::Common::ReleaseManifest::FLAG_LZMA) http.SetResponse(FilesUrl() + name + ".lzma2", {.body = file.lzma});
        }
        served.push_back(file);
        return served.back();
    }

    // The work list of every manifest entry, with the folders of the local paths made as the
    // discovery makes them.
    std::vector<Quor::User::FileToDownload> Files() {
        std::vector<Quor::User::FileToDownload> files;
        for (const ENTRY& entry : manifest.m_Entries) {
            std::string local;
            Quor::Common::GetLocalFilePath(local, "alpha", kRelease, entry);
            local = Root() + local;
            if (!(entry.flags & Quor::Common::ReleaseManifest::FLAG_ARCHIVED))  // archived: placed in the pair
                MakeDirs(std::filesystem::path(local).parent_path().string());
            files.push_back({&entry, local});
        }
        return files;
    }

    // Serves a package manifest and bins: bins[i] holds the named files back to back.
    void ServeBins(const std::vector<std::pair<std::string, std::vector<std::string>>>& bins) {
        Quor::Common::PackageManifest packages;
        for (const auto& [bin, names] : bins) {
            std::string bytes;
            for (const std::string& name : names) {
                const std::string body = ServedForm(name);
                EXPECT_EQ(S_OK, packages.AddEntry("/projects/alpha/releases/1.0.0.1/files/" + name + Suffix(name), bin,
                                                  static_cast<DWORD>(bytes.size()), static_cast<DWORD>(body.size()), 0));
                bytes += body;
            }
            http.SetResponse(PackagesUrl() + bin, {.body = bytes});
        }
        const std::string path = work / "packagemanifest";
        EXPECT_EQ(S_OK, packages.Save(path));
        http.SetResponse(PackagesUrl() + "packagemanifest", {.body = ReadFile(path)});
    }

    // What the first pass fetches for a file: its compressed form when it has one.
    std::string ServedForm(const std::string& name) const {
        for (const Served& file : served)
            if (file.name == name)
                return file.flags & Quor::Common::ReleaseManifest::FLAG_ZLIB ? file.zlib : file.flags & Quor::Common::ReleaseManifest::FLAG_LZMA ? file.lzma : file.plain;
        ADD_FAILURE() << "no file " << name;
        return {};
    }
    std::string Suffix(const std::string& name) const {
        for (const Served& file : served)
            if (file.name == name)
                return file.flags & Quor::Common::ReleaseManifest::FLAG_ZLIB ? ".compressed" : file.flags & Quor::Common::ReleaseManifest::FLAG_LZMA ? ".lzma2" : "";
        return {};
    }

    std::string Deploy(const std::string& name) const {
        return Root() + "/projects/alpha/releases/1.0.0.1/deploy/" + name;
    }
    // Names of the TMP files left in {root}/temp.
    std::vector<std::string> TemporaryFiles() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& item : std::filesystem::directory_iterator(Root() + "/temp", error))
            if (item.path().filename().string().rfind("TMP", 0) == 0) names.push_back(item.path().filename());
        return names;
    }
    std::string Compress(const std::string& plain, bool lzma) {
        const std::string source = work / "plain";
        const std::string target = work / "packed";
        WriteFile(source, plain);
        EXPECT_EQ(S_OK, lzma ? Quor::Common::LZMA::CompressFile(source, target, 0)
                             : Quor::Common::ZLibHelper::CompressFile(source, target, 0));
        return ReadFile(target);
    }

    QuorTree tree;
    TempDir work{"quordownload"};
    ScriptedHttpServer http;
    std::shared_ptr<Quor::Common::HTTPConnection> connection;
    std::unique_ptr<Quor::User::RemoteFileServerHTTP> server;
    Quor::Common::ReleaseManifest manifest;
    std::vector<Served> served;
    Quor::Common::LocalFileSystem fileSystem;
    signed char cancel = 0;
    Quor::User::AutoUpdateProgress progress{nullptr, &cancel, 100};
};

// The fixture with the download manager's view: the paths of the work list, and the queue drained.
class DownloadManagerFixture : public DownloadFixture {
protected:
    using DownloadManager = Quor::User::DownloadManager;

    std::vector<DownloadManager::DownloadPath> Paths() {
        std::vector<DownloadManager::DownloadPath> paths;
        for (const auto& file : Files())
            paths.push_back({FilesUrl() + file.m_Entry->name, file.m_Entry, file.m_LocalPath});
        return paths;
    }
    // Waits for the worker's end and takes everything it queued.
    static std::vector<DownloadManager::DownloadedFile> Drain(DownloadManager& manager) {
        std::vector<DownloadManager::DownloadedFile> items;
        for (;;) {
            manager.Lock();
            const bool popped = !manager.IsQueueEmpty();
            if (popped) items.push_back(manager.PopDownloadedFile());
            const bool done = manager.IsDone();
            manager.Unlock();
            if (!popped && done) return items;
            if (!popped) manager.WaitForWork(1000);
        }
    }
    // The paths the manager gave up on, read under its lock.
    static std::vector<DownloadManager::DownloadPath> Failed(DownloadManager& manager) {
        manager.Lock();
        std::vector<DownloadManager::DownloadPath> failed = manager.GetFailed();
        manager.Unlock();
        return failed;
    }
};

}  // namespace QuorTest
