// The second half of reading a release manifest: the walk of the directory tree that makes the
// entries. Every index and range of the tables is checked before use; no record is used twice.
#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/RelativeName.h"
#include "common/ReleaseManifestImage.h"

namespace Quor::Common {

namespace {

const char* const LOAD_TAG = RELEASE_MANIFEST_LOAD_TAG;

// A range [first, first + count) lies inside a table of `size` records.
bool RangeInside(DWORD first, DWORD count, size_t size) {
    return static_cast<uint64_t>(first) + count <= size;
}

}  // namespace

HRESULT WalkReleaseManifestDirectories(const ReleaseManifestTables& t, const signed char* cancel,
                                       ReleaseManifest& manifest) {
    if (t.projectNameIndex >= t.strings.size()) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Project name is invalid");
        return E_FAIL;
    }
    manifest.m_ProjectName.assign(t.strings[t.projectNameIndex]);
    manifest.m_ReleaseVersion = t.releaseVersion;

    uint64_t announced = 0;
    for (const File::DirectoryTableEntry& d : t.directories) announced += d.fileCount;
    manifest.m_Entries.reserve(static_cast<size_t>(std::min<uint64_t>(announced, t.files.size())));

    if (t.directories.empty()) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "The directory table has no root directory");
        return E_FAIL;
    }

    // Breadth-first walk from the root. A directory enters the queue at most once and a file
    // record is used at most once, so a crafted table cannot make the walk or the entries grow
    // beyond the records present. A directory's path is kept only while children of it wait.
    constexpr DWORD NONE = 0xFFFFFFFF;
    struct Pending {
        DWORD parent;
        DWORD directory;
    };
    std::deque<Pending> queue;
    std::vector<uint8_t> queued(t.directories.size(), 0);
    std::vector<uint8_t> fileUsed(t.files.size(), 0);
    std::vector<std::string> paths(t.directories.size());
    std::vector<DWORD> waitingChildren(t.directories.size(), 0);
    queue.push_back({NONE, 0});
    queued[0] = 1;
    // Bytes of the paths spelled out so far: folders nested deep under long names would make
    // each short record cost a whole path in memory.
    uint64_t spelled = 0;
    const auto withinBudget = [&spelled](size_t length) {
        spelled += length;
        if (spelled <= kMaxReleaseManifestNameBytes) return true;
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "The manifest's paths add up to more than %llu bytes",
                     static_cast<unsigned long long>(kMaxReleaseManifestNameBytes));
        return false;
    };

    while (!queue.empty()) {
        const Pending item = queue.front();
        queue.pop_front();
        if (IsCancelRequested(cancel)) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Cancellation request detected, aborting");
            return E_ABORT;
        }
        if (item.parent != NONE && item.parent >= item.directory) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Parent directory ordering failure");
            return E_FAIL;
        }
        const File::DirectoryTableEntry& dir = t.directories[item.directory];
        if (dir.nameIndex != File::NO_NAME && dir.nameIndex >= t.strings.size()) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Directory record %u has an invalid name index",
                         item.directory);
            return E_FAIL;
        }
        if (!RangeInside(dir.firstSubdirectory, dir.subdirectoryCount, t.directories.size()) ||
            !RangeInside(dir.firstFile, dir.fileCount, t.files.size())) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Directory record %u lists records outside the tables",
                         item.directory);
            return E_FAIL;
        }

        std::string directoryPath;
        if (item.parent != NONE) {
            directoryPath = paths[item.parent];
            if (--waitingChildren[item.parent] == 0) std::string().swap(paths[item.parent]);
        }
        if (dir.nameIndex != File::NO_NAME) {
            const std::string_view name = t.strings[dir.nameIndex];
            if (directoryPath.size() + 1 + name.size() > ReleaseManifest::MAX_ENTRY_NAME_LENGTH) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG,
                             "Directory record %u has a path longer than %zu characters", item.directory,
                             ReleaseManifest::MAX_ENTRY_NAME_LENGTH);
                return E_FAIL;
            }
            if (!directoryPath.empty()) directoryPath += '/';
            directoryPath += name;
            if (!withinBudget(directoryPath.size())) return E_FAIL;
        } else if (!directoryPath.empty()) {
            directoryPath += '/';
        }

        for (DWORD f = dir.firstFile; f < dir.firstFile + dir.fileCount; ++f) {
            if (fileUsed[f]) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "File record %u is listed by more than one directory",
                             f);
                return E_FAIL;
            }
            fileUsed[f] = 1;
            const File::FileTableEntry& record = t.files[f];
            if (record.nameIndex >= t.strings.size()) continue;  // left out without a message
            const std::string_view fileName = t.strings[record.nameIndex];
            const size_t length =
                directoryPath.empty() ? fileName.size() : directoryPath.size() + 1 + fileName.size();
            if (length > ReleaseManifest::MAX_ENTRY_NAME_LENGTH) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "File record %u has a name longer than %zu characters",
                             f, ReleaseManifest::MAX_ENTRY_NAME_LENGTH);
                return E_FAIL;
            }
            if (!withinBudget(length)) return E_FAIL;
            ReleaseManifest::ENTRY entry;
            entry.name.reserve(length);
            entry.name = directoryPath;
            if (!directoryPath.empty()) entry.name += '/';
            entry.name += fileName;
            if (!IsValidRelativeName(entry.name)) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Invalid entry name \"%s\"", entry.name.c_str());
                return E_FAIL;
            }
            entry.version = record.version;
            std::memcpy(entry.md5, record.md5, sizeof entry.md5);
            entry.flags = record.flags;
            entry.size = record.size;
            entry.compressedSize = record.compressedSize;
            manifest.m_Entries.push_back(std::move(entry));
        }

        for (DWORD s = dir.firstSubdirectory; s < dir.firstSubdirectory + dir.subdirectoryCount; ++s) {
            if (queued[s]) {
                QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Directory record %u is listed more than once", s);
                return E_FAIL;
            }
            queued[s] = 1;
            queue.push_back({item.directory, s});
        }
        if (dir.subdirectoryCount != 0) {
            paths[item.directory] = std::move(directoryPath);
            waitingChildren[item.directory] = dir.subdirectoryCount;
        }
    }
    return S_OK;
}

}  // namespace Quor::Common
