#pragma once
// Helpers shared by the tests of the install steps: a fixture over a fresh install tree (QuorTree)
// with the paths of release files and a progress object over a cancellation flag, manifest
// entries made from their contents, and the compressed forms the entry flags ask for. Test code
// only; not thread-safe (the working folder is process-wide).
#include <gtest/gtest.h>

#include <string>

#include "common/AutoUpdateProgress.h"
#include "common/ConvertVersion.h"
#include "common/LZMA.h"
#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/ReleaseManifest.h"
#include "common/ZLibHelper.h"
#include "remote/MD5.h"
#include "tests/kit/TempDir.h"

namespace InstallTesting {

using Quor::Common::ReleaseManifest;

inline constexpr DWORD V(DWORD a, DWORD b, DWORD c, DWORD d) { return a << 24 | b << 16 | c << 8 | d; }

class InstallTreeTest : public ::testing::Test {
protected:
    std::string ReleaseFolder(const std::string& project, DWORD version) const {
        return root + "/projects/" + project + "/releases/" + Quor::Common::ConvertVersion::ToString(version);
    }
    std::string Deploy(const std::string& project, DWORD version, const std::string& name) const {
        return ReleaseFolder(project, version) + "/deploy/" + name;
    }
    std::string Managed(const std::string& project, DWORD version, const std::string& name) const {
        return root + "/projects/" + project + "/managedfiles/" + Quor::Common::ConvertVersion::ToString(version) +
               "/" + name;
    }
    // A scratch file outside the projects folder holding bytes.
    std::string Scratch(const std::string& name, const std::string& bytes) const {
        const std::string path = root + "/scratch/" + name;
        QuorTest::WriteFile(path, bytes);
        return path;
    }
    std::string Cwd() const {
        std::string cwd;
        Quor::Common::LocalFileSystem::GetCurrentDirectory(cwd);
        return cwd;
    }

    QuorTest::QuorTree tree;
    std::string root = Quor::Common::LocalRootFolder::Get();
    Quor::Common::LocalFileSystem fileSystem;
    signed char cancel = 0;
    Quor::User::AutoUpdateProgress progress{nullptr, &cancel, 0};
};

inline void Md5Of(const std::string& bytes, unsigned char (&digest)[16]) {
    MD5 md5;
    md5.Update(bytes.data(), static_cast<UINT>(bytes.size()));
    md5.Final();
    std::copy(md5.GetDigest(), md5.GetDigest() + 16, digest);
}

// The entry's compressed form of plain (zlib for 0x04, LZMA for 0x20; plain without either),
// made through a scratch folder of the tree.
inline std::string Compressed(const std::string& plain, DWORD flags, const std::string& scratchFolder) {
    if (!(flags & (ReleaseManifest::FLAG_ZLIB | ReleaseManifest::FLAG_LZMA))) return plain;
    const std::string in = scratchFolder + "/compress.in", out = scratchFolder + "/compress.out";
    QuorTest::WriteFile(in, plain);
    const HRESULT hr = (flags & ReleaseManifest::FLAG_ZLIB) ? Quor::Common::ZLibHelper::CompressFile(in, out, 0)
                                                            : Quor::Common::LZMA::CompressFile(in, out, 0);
    EXPECT_EQ(hr, S_OK);
    return QuorTest::ReadFile(out);
}

// An entry describing plain, with the compressed size of its compressed form.
inline ReleaseManifest::ENTRY Entry(const std::string& name, DWORD version, DWORD flags, const std::string& plain,
                                    const std::string& scratchFolder) {
    ReleaseManifest::ENTRY entry;
    entry.name = name;
    entry.version = version;
    entry.flags = flags;
    entry.size = static_cast<DWORD>(plain.size());
    entry.compressedSize = static_cast<DWORD>(Compressed(plain, flags, scratchFolder).size());
    Md5Of(plain, entry.md5);
    return entry;
}

}  // namespace InstallTesting
