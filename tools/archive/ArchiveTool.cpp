#include "tools/archive/ArchiveTool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "archive/ArchiveFile.h"
#include "archive/CopyStretch.h"
#include "archive/FileFormat.h"
#include "archive/FolderEntries.h"
#include "archive/FolderLock.h"
#include "archive/Manager.h"
#include "archive/PairCommit.h"
#include "common/ConvertVersion.h"
#include "common/EscapedText.h"
#include "common/FileSysHelper.h"
#include "common/LZMA.h"
#include "common/RegularFile.h"
#include "common/ReleaseManifest.h"
#include "common/ZLibHelper.h"
#include "foundation/CStd/CStd.h"
#include "foundation/UniqueFd.h"
#include "remote/ReleaseManifestPaths.h"
#include "update/StoredFileDigest.h"

namespace Quor::Tools {

namespace {

using FileSystem::Impl::ArchiveFile;
using FileSystem::Impl::IsArchiveFolder;
namespace FileFormat = FileSystem::Impl::FileFormat;

const char* const kUsage =
    "usage: quor-archive list <folder>\n"
    "       quor-archive verify <folder> [--manifest <releasemanifest>]\n"
    "       quor-archive extract <folder> <path> <destination> [--zlib|--lzma]\n"
    "       quor-archive add <folder> <path> <file> [<path> <file>...]\n"
    "       quor-archive delete <folder> <path> [<path>...]\n";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> IndexNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const std::string& name : FileSystem::Impl::FolderEntries(folder))
        if (EndsWith(name, "." + FileFormat::skDirectoryFileNameExtension)) names.push_back(name);
    return names;
}

std::string Trimmed(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// Every pair of the folder that reads; the others are reported on err.
std::vector<ArchiveFile> ReadPairs(const std::string& folder, std::ostream& err) {
    std::vector<ArchiveFile> pairs;
    for (const std::string& name : IndexNames(folder)) {
        ArchiveFile pair(name, folder, 10);
        if (pair.Read(nullptr))
            pairs.push_back(std::move(pair));
        else
            err << name << ": cannot be read (see 'quor-archive verify')\n";
    }
    return pairs;
}

int List(const std::string& folder, std::ostream& out, std::ostream& err) {
    if (!Vorn::std_dir_exists(folder.c_str())) {
        err << folder << ": no such folder\n";
        return 1;
    }
    for (const ArchiveFile& pair : ReadPairs(folder, err)) {
        std::vector<std::pair<std::string, const FileFormat::FileListEntry_t*>> files;
        for (uint32_t i = 0; i < pair.GetCount(); ++i) files.emplace_back(pair.GetPath(i), pair.GetFileListEntry(i));
        std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [path, entry] : files)
            out << pair.GetFilename() << "." << FileFormat::skDataFileNameExtension << "\t" << entry->dataOffset << "\t"
                << entry->dataSize << "\t" << Common::EscapeText(path) << "\n";
    }
    return 0;
}

// Reads the whole data file once; false on a read error or a short file.
bool DataReadable(const std::string& path, uint64_t bytes) {
    Vorn::UniqueFd fd = Common::OpenRegularFile(path);
    if (!fd.IsValid()) return false;
    std::vector<char> buffer(1 << 20);
    uint64_t total = 0;
    ssize_t n = 0;
    while ((n = ::read(fd.Get(), buffer.data(), buffer.size())) > 0) total += static_cast<uint64_t>(n);
    return n == 0 && total >= bytes;
}

// A pair whose index and data file passed the structure checks.
struct SoundPair {
    std::string name;
    std::string data;
    FileFormat::ParsedIndex index;
};

// Compares the MD5 of every stored file with the release manifest's entry for it: the archived
// entry of that name (and, when the folder is named after a release version, of that version).
// Reports each mismatch and each file that cannot be hashed; returns the number of problems
// (checked: whether the manifest could be read at all).
int CheckStoredBytes(const std::string& folder, const std::string& manifestPath, const std::vector<SoundPair>& pairs,
                     std::ostream& out, bool& checked) {
    Common::ReleaseManifest manifest;
    checked = SUCCEEDED(manifest.Load(manifestPath, nullptr));
    if (!checked) {
        out << manifestPath << ": PROBLEM: not a release manifest that can be read\n";
        return 1;
    }
    DWORD version = INVALID_RELEASE_VERSION;
    const size_t slash = folder.find_last_of('/');
    if (FAILED(Common::ConvertVersion::ToNumber(slash == std::string::npos ? folder : folder.substr(slash + 1), version)))
        version = INVALID_RELEASE_VERSION;
    int problems = 0;
    size_t hashed = 0, unlisted = 0;
    for (const SoundPair& pair : pairs) {
        for (size_t i = 0; i < pair.index.entries.size(); ++i) {
            const std::string path = pair.index.PathOf(i);
            const Common::ReleaseManifest::ENTRY* entry = Common::FindReleaseManifestEntryInFolder(
                path, version, Common::ReleaseManifest::FLAG_ARCHIVED, Common::ReleaseManifest::FLAG_MANAGED, &manifest);
            if (!entry) {
                ++unlisted;
                continue;
            }
            const FileFormat::FileListEntry_t& stored = pair.index.entries[i];
            MD5::DIGEST digest = {};
            if (FAILED(User::ComputeStoredFileMD5("quor-archive verify", pair.data, stored.dataOffset, stored.dataSize,
                                                  entry->flags, entry->size, digest))) {
                out << pair.name << ": PROBLEM: " << Common::EscapeText(path)
                    << ": the stored bytes cannot be read as the manifest describes them\n";
                ++problems;
            } else if (!std::equal(digest, digest + 16, entry->md5)) {
                out << pair.name << ": PROBLEM: " << Common::EscapeText(path) << ": MD5 differs from the manifest\n";
                ++problems;
            }
            ++hashed;
        }
    }
    out << "stored bytes: " << hashed << " files checked against the manifest's MD5, " << unlisted
        << " not listed there as archived files of this folder\n";
    return problems;
}

int Verify(const std::string& folder, const std::string& manifestPath, std::ostream& out) {
    if (!Vorn::std_dir_exists(folder.c_str())) {
        out << folder << ": no such folder\n";
        return 1;
    }
    if (!IsArchiveFolder(folder)) {
        out << folder << ": not an archive folder\n";
        return 1;
    }
    int problems = 0;
    size_t files = 0;
    std::vector<SoundPair> sound;
    std::map<std::string, std::string> stored;  // lower-cased path -> pair that stores it
    const std::vector<std::string> indexes = IndexNames(folder);
    for (const std::string& name : indexes) {
        const std::string path = folder + "/" + name;
        std::shared_ptr<API::IBuffer> image;
        FileFormat::ParsedIndex index;
        std::string why;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            out << name << ": PROBLEM: not a regular file\n";
            ++problems;
            continue;
        }
        if (FAILED(Common::FileSysHelper::ReadFileIntoBuffer(path, image))) {
            out << name << ": PROBLEM: the index cannot be read\n";
            ++problems;
            continue;
        }
        if (FileFormat::ParseIndex(image, index, why) != FileFormat::ParseResult::kOk) {
            out << name << ": PROBLEM: damaged index (" << why << ")\n";
            ++problems;
            continue;
        }
        const std::string data = path + "." + FileFormat::skDataFileNameExtension;
        if (FileFormat::CheckDataFile(data, index, why) != FileFormat::DataCheck::kOk) {
            out << name << ": PROBLEM: " << why << "\n";
            ++problems;
            continue;
        }
        if (!index.entries.empty() && !DataReadable(data, index.entriesEnd)) {
            out << name << ": PROBLEM: the data file cannot be read whole\n";
            ++problems;
            continue;
        }
        for (size_t i = 0; i < index.entries.size(); ++i) {
            std::string key = index.PathOf(i);
            std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
            auto [at, inserted] = stored.emplace(key, name);
            if (!inserted) {
                out << name << ": PROBLEM: " << index.PathOf(i) << " is stored in " << at->second << " too\n";
                ++problems;
            }
        }
        files += index.entries.size();
        out << name << ": ok, " << index.entries.size() << " files, " << index.entriesEnd << " bytes"
            << (index.sealed ? "" : ", written without a seal") << "\n";
        sound.push_back({name, data, std::move(index)});
    }
    for (const std::string& name : FileSystem::Impl::FolderEntries(folder)) {
        const std::string journal = FileSystem::Impl::PairCommit::JournalName("");
        const std::string setAside = "." + FileFormat::skDirectoryFileNameExtension + ".damaged";
        if (name.find(setAside) != std::string::npos) {
            if (!EndsWith(name, "." + FileFormat::skDataFileNameExtension)) {
                out << name << ": PROBLEM: a damaged index, set aside with its data file for repair\n";
                ++problems;
            }
        } else if (EndsWith(name, journal)) {
            out << name << ": PROBLEM: a rewrite was cut off after it was committed; 'add' or 'delete' (or the "
                << "installer) finishes it\n";
            ++problems;
        } else if (FileSystem::Impl::PairCommit::IsTemporaryName(name) ||
                   (name.size() > 4 && EndsWith(name, ".dat") &&
                    FileSystem::Impl::PairCommit::IsTemporaryName(name.substr(0, name.size() - 4)))) {
            out << name << ": PROBLEM: left over by a rewrite that did not finish\n";
            ++problems;
        } else if (EndsWith(name, "." + FileFormat::skDirectoryFileNameExtension + "." + FileFormat::skDataFileNameExtension) &&
                   !std::binary_search(indexes.begin(), indexes.end(), name.substr(0, name.size() - 4))) {
            out << name << ": PROBLEM: data file without an index\n";
            ++problems;
        }
    }
    bool bytesChecked = false;
    if (!manifestPath.empty()) problems += CheckStoredBytes(folder, manifestPath, sound, out, bytesChecked);
    out << indexes.size() << " archives, " << files << " files, " << problems << " problems\n";
    out << (bytesChecked ? "checked: the structure of the pairs, and the stored bytes against the manifest\n"
                         : "checked: the structure of the pairs; the stored bytes were not checked (pairs hold no "
                           "checksum of them; --manifest checks them against a release manifest)\n");
    return problems == 0 ? 0 : 1;
}

// True when path names a file of the archive folder itself (an index, a data file, ...).
bool IsFileOfFolder(const std::string& folder, const std::string& path) {
    struct stat target, entry;
    if (::stat(path.c_str(), &target) != 0) return false;
    for (const std::string& name : FileSystem::Impl::FolderEntries(folder))
        if (::stat((folder + "/" + name).c_str(), &entry) == 0 && entry.st_dev == target.st_dev &&
            entry.st_ino == target.st_ino)
            return true;
    return false;
}

// A new file beside path ("<path>.XXXXXX"); removed again unless Keep is called.
class BesideFile {
public:
    explicit BesideFile(const std::string& path) : m_Path(path + ".XXXXXX") {
        m_Fd = Vorn::UniqueFd(::mkostemp(m_Path.data(), O_CLOEXEC));
        if (m_Fd.IsValid()) ::fchmod(m_Fd.Get(), 0644);
    }
    ~BesideFile() {
        if (!m_Kept && m_Fd.IsValid()) ::unlink(m_Path.c_str());
    }
    BesideFile(const BesideFile&) = delete;
    BesideFile& operator=(const BesideFile&) = delete;
    bool IsValid() const { return m_Fd.IsValid(); }
    int Fd() const { return m_Fd.Get(); }
    const std::string& Path() const { return m_Path; }
    // Puts the file in place of destination (a link there is replaced, never followed).
    bool MoveTo(const std::string& destination) {
        if (::rename(m_Path.c_str(), destination.c_str()) != 0) return false;
        m_Kept = true;
        return true;
    }

private:
    std::string m_Path;
    Vorn::UniqueFd m_Fd;
    bool m_Kept = false;
};

int Extract(const std::string& folder, const std::string& path, const std::string& destination,
            const std::string& option, std::ostream& err) {
    if (!option.empty() && option != "--zlib" && option != "--lzma") {
        err << kUsage;
        return 2;
    }
    if (IsFileOfFolder(folder, destination)) {
        err << destination << ": a file of the archive folder itself; refused\n";
        return 1;
    }
    for (ArchiveFile& pair : ReadPairs(folder, err)) {
        uint32_t offset = 0, size = 0;
        if (!pair.Search(path, offset, size)) continue;
        const std::string data = folder + "/" + pair.GetFilename() + "." + FileFormat::skDataFileNameExtension;
        Vorn::UniqueFd in = Common::OpenRegularFile(data);
        if (!in.IsValid()) {
            err << data << ": " << Common::RegularFileErrorText(errno) << "\n";
            return 1;
        }
        // Written beside the destination and put in place only when whole: a failure leaves an
        // existing destination as it was.
        BesideFile result(destination);
        std::optional<BesideFile> stored;
        if (!option.empty()) stored.emplace(destination);
        if (!result.IsValid() || (stored && !stored->IsValid())) {
            err << destination << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        const int copyTo = stored ? stored->Fd() : result.Fd();
        const auto copied = FileSystem::Impl::CopyStretch(in.Get(), offset, size, copyTo, nullptr);
        if (copied != FileSystem::Impl::CopyResult::kOk) {
            err << path << ": " << FileSystem::Impl::CopyResultText(copied) << "\n";
            return 1;
        }
        if (stored) {
            const HRESULT hr = option == "--zlib" ? Common::ZLibHelper::DecompressFile(stored->Path(), result.Path())
                                                  : Common::LZMA::DecompressFile(stored->Path(), result.Path());
            if (FAILED(hr)) {
                err << path << ": the stored bytes do not decompress with " << option.substr(2) << "\n";
                return 1;
            }
        }
        if (!result.MoveTo(destination)) {
            err << destination << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        return 0;
    }
    err << path << ": not stored in " << folder << "\n";
    return 1;
}

int Change(bool add, const std::string& folder, const std::vector<std::string>& items, std::ostream& err) {
    using FileSystem::Impl::Manager;
    // Tidying removes leftovers of our own rewrites: a delete never starts in a folder of
    // someone else's files.
    if (!add && !IsArchiveFolder(folder)) {
        err << folder << ": not an archive folder\n";
        return 1;
    }
    if (!Manager::CheckRootDirectory(folder)) {
        err << folder << ": cannot be created: " << std::strerror(errno) << "\n";
        return 1;
    }
    auto manager = std::make_shared<Manager>();
    if (!manager->SetRootDirectory(folder, "")) {
        err << folder << ": the archive folder cannot be opened\n";
        return 1;
    }
    // The first change waits for the folder's writer lock.
    auto busy = [&] {
        if (!manager->IsFolderBusy()) return false;
        err << folder << ": in use by another writer; try again later\n";
        return true;
    };
    int failures = 0;
    std::vector<std::string> found;
    for (size_t i = 0; i < items.size(); i += add ? 2 : 1) {
        const std::string& path = items[i];
        if (add) {
            struct stat st;
            if (::stat(items[i + 1].c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
                err << items[i + 1] << ": not a file\n";
                ++failures;
            } else if (!manager->Add(path, &items[i + 1], nullptr)) {
                if (busy()) return 1;
                err << path << ": refused (already stored, not a valid stored path, or too large)\n";
                ++failures;
            }
        } else {
            // Looked up before any deletion is queued: a pair with queued changes answers no look-ups.
            std::string name;
            uint32_t offset = 0, size = 0;
            if (!manager->Find(path, name, offset, size)) {
                err << Common::EscapeText(path) << ": not stored\n";
                ++failures;
            } else {
                found.push_back(path);
            }
        }
    }
    for (const std::string& path : found) {
        if (!manager->Delete(path, nullptr)) {
            if (busy()) return 1;
            err << Common::EscapeText(path) << ": refused\n";
            ++failures;
        }
    }
    // What was accepted is written (the manager would write it when it goes anyway).
    if (!manager->WriteArchiveFiles(false, nullptr)) {
        err << folder << ": the archives could not be written\n";
        return 1;
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int RunArchiveTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 2) {
        err << kUsage;
        return 2;
    }
    const std::string& command = args[0];
    const std::string folder = Trimmed(args[1]);
    const std::vector<std::string> rest(args.begin() + 2, args.end());
    if (command == "list" && rest.empty()) return List(folder, out, err);
    if (command == "verify" && rest.empty()) return Verify(folder, "", out);
    if (command == "verify" && rest.size() == 2 && rest[0] == "--manifest" && !rest[1].empty())
        return Verify(folder, rest[1], out);
    if (command == "extract" && (rest.size() == 2 || rest.size() == 3))
        return Extract(folder, rest[0], rest[1], rest.size() == 3 ? rest[2] : std::string(), err);
    if (command == "add" && !rest.empty() && rest.size() % 2 == 0) return Change(true, folder, rest, err);
    if (command == "delete" && !rest.empty()) return Change(false, folder, rest, err);
    err << kUsage;
    return 2;
}

}  // namespace Quor::Tools
