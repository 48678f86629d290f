#include "archive/PairCommit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "archive/Crc32.h"
#include "archive/FolderEntries.h"
#include "common/Log.h"
#include "common/RegularFile.h"
#include "common/SystemErrorText.h"
#include "foundation/ByteOrder.h"
#include "foundation/CStd/CStd.h"
#include "foundation/OsContext.h"
#include "foundation/UniqueFd.h"

namespace Quor::FileSystem::Impl::PairCommit {

namespace {

constexpr uint32_t kJournalMagic = 0x314A4151;  // "QAJ1"
constexpr size_t kTempNameLength = 9;           // "TMP" + 6

std::atomic<StepHook> g_StepHook{nullptr};

void Passed(Step step) {
    if (StepHook hook = g_StepHook.load()) hook(step);
}

std::string Join(const std::string& folder, const std::string& name) { return folder + "/" + name; }

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Rename(const std::string& from, const std::string& to) {
    if (Vorn::Os().files.Rename(from.c_str(), to.c_str()) == 0) return true;
    const int error = errno;
    QUOR_LOG(Log::ERROR, "rename(\"%s\", \"%s\") failed: %s", from.c_str(), to.c_str(),
             Common::SystemErrorText(error).c_str());
    errno = error;
    return false;
}

void RemoveQuietly(const std::string& path) { Vorn::Os().files.Unlink(path.c_str()); }

bool WriteAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = Vorn::Os().files.Write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes the journal under a fresh temporary name, then gives it its name; false (nothing left
// behind) when anything fails, also when something already holds the journal's name.
bool WriteJournal(const std::string& folder, const std::string& path, const std::string& tempName) {
    std::vector<uint8_t> bytes;
    Vorn::Bytes::ByteWriter writer(bytes);
    writer.U32(kJournalMagic);
    writer.U32(static_cast<uint32_t>(tempName.size()));
    writer.Raw(tempName.data(), tempName.size());
    writer.U32(Crc32(0, bytes.data(), bytes.size()));
    std::string written = Join(folder, "TMPXXXXXX");
    Vorn::UniqueFd fd(::mkostemp(written.data(), O_CLOEXEC));
    if (!fd.IsValid()) {
        QUOR_LOG(Log::ERROR, "Failed to create the commit journal in \"%s\": %s", folder.c_str(),
                 Common::SystemErrorText(errno).c_str());
        return false;
    }
    bool ok = WriteAll(fd.Get(), bytes.data(), bytes.size());
    if (!ok)
        QUOR_LOG(Log::ERROR, "Failed to write the commit journal \"%s\": %s", written.c_str(),
                 Common::SystemErrorText(errno).c_str());
    ok = ok && ::fchmod(fd.Get(), 0644) == 0 && SyncFile(fd.Get(), written);
    fd.Reset();
    if (ok && Vorn::Os().files.RenameAt(AT_FDCWD, written.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
        QUOR_LOG(Log::ERROR, "Failed to put the commit journal \"%s\" in place: %s", path.c_str(),
                 Common::SystemErrorText(errno).c_str());
        ok = false;
    }
    if (!ok) RemoveQuietly(written);
    return ok;
}

// Reads a journal: false when it cannot be read (it may still be ours); else name is the
// temporary index name it holds, or "" when it is not a whole and sound journal.
bool ReadJournal(const std::string& path, std::string& name) {
    name.clear();
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode)) return true;  // a link or anything else is none of ours
    uint8_t bytes[64];
    Vorn::UniqueFd fd = Common::OpenRegularFile(path, sizeof bytes);
    if (!fd.IsValid()) return errno == EFBIG || errno == EINVAL;  // larger than any journal, or no file
    ssize_t n = 0;
    size_t size = 0;
    while (size < sizeof bytes && (n = ::read(fd.Get(), bytes + size, sizeof bytes - size)) > 0)
        size += static_cast<size_t>(n);
    if (n < 0) return false;
    if (size == sizeof bytes) return true;
    Vorn::Bytes::ByteReader reader(bytes, size);
    uint32_t magic = 0, length = 0, crc = 0;
    if (!reader.U32(magic) || magic != kJournalMagic || !reader.U32(length) || length != kTempNameLength) return true;
    std::string held(length, '\0');
    if (!reader.Raw(held.data(), length)) return true;
    const size_t covered = reader.Position();
    if (!reader.U32(crc) || reader.Remaining() != 0 || Crc32(0, bytes, covered) != crc) return true;
    if (IsTemporaryName(held)) name = std::move(held);
    return true;
}

}  // namespace

std::string JournalName(const std::string& indexName) { return indexName + ".commit"; }

void SetStepHookForTesting(StepHook hook) { g_StepHook.store(hook); }

bool IsTemporaryName(const std::string& name) {
    if (name.size() != kTempNameLength || name.compare(0, 3, "TMP") != 0) return false;
    for (size_t i = 3; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

bool SyncFile(int fd, const std::string& pathForLog) {
    if (Vorn::Os().files.Fsync(fd) == 0) return true;
    QUOR_LOG(Log::ERROR, "Failed to flush \"%s\" to the disk: %s", pathForLog.c_str(),
             Common::SystemErrorText(errno).c_str());
    return false;
}

bool SyncDirectory(const std::string& folder) {
    Vorn::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsValid()) {
        QUOR_LOG(Log::ERROR, "Failed to open the folder \"%s\": %s", folder.c_str(),
                 Common::SystemErrorText(errno).c_str());
        return false;
    }
    return SyncFile(fd.Get(), folder);
}

namespace {

// The end of a commit that did not start and whose journal is gone (or never was).
CommitResult Withdrawn(const std::string& tempIndex, BuildOnFailure onFailure) {
    if (onFailure == BuildOnFailure::kKeep) return CommitResult::kNotStarted;
    RemoveQuietly(tempIndex);
    RemoveQuietly(tempIndex + ".dat");
    return CommitResult::kNotStarted;
}

// Takes back a journal that names tempIndex, whose build is whole and flushed: nothing of the pair
// was replaced yet. A journal that cannot be removed stays, and with it the commit: the build it
// names is left as it is, for the next writer (or Recover) to put in place. A build kept for its
// caller is changed afterwards (cut back, written again); a journal that might come back after a
// power cut would have that half-rewritten build renamed over the pair, so the build is kept only
// once the journal's removal is on the disk; else it goes too.
CommitResult Withdraw(const std::string& folder, const std::string& journal, const std::string& tempIndex,
                      BuildOnFailure onFailure) {
    if (Vorn::Os().files.Unlink(journal.c_str()) != 0 && errno != ENOENT) {
        QUOR_LOG(Log::ERROR, "Failed to remove \"%s\": %s; the rewrite it names is finished later", journal.c_str(),
                 Common::SystemErrorText(errno).c_str());
        SyncDirectory(folder);
        return CommitResult::kUnfinished;
    }
    // The journal's removal reaches the disk before the build's: a journal must never come back
    // naming half a build.
    const bool gone = SyncDirectory(folder);
    if (onFailure == BuildOnFailure::kRemove) return Withdrawn(tempIndex, onFailure);
    if (gone) return CommitResult::kNotStarted;
    // A build that cannot be removed either is whole and no longer touched: a journal coming back
    // would put in place what it was built as.
    RemoveQuietly(tempIndex + ".dat");
    RemoveQuietly(tempIndex);
    SyncDirectory(folder);
    return CommitResult::kBuildRemoved;
}

}  // namespace

CommitResult Commit(const std::string& folder, const std::string& indexName, const std::string& tempIndex,
                    BuildOnFailure onFailure) {
    const std::string tempName = BaseName(tempIndex);
    const std::string tempData = tempIndex + ".dat";
    const std::string indexPath = Join(folder, indexName);
    const std::string dataPath = indexPath + ".dat";
    const std::string journal = Join(folder, JournalName(indexName));

    bool journalWritten = false;
    if (!IsTemporaryName(tempName) || !(journalWritten = WriteJournal(folder, journal, tempName)) ||
        !SyncDirectory(folder)) {
        // Only a journal this call put in place is taken back.
        const int error = errno;
        const CommitResult withdrawn =
            journalWritten ? Withdraw(folder, journal, tempIndex, onFailure) : Withdrawn(tempIndex, onFailure);
        errno = error;
        return withdrawn;
    }
    Passed(Step::kJournalWritten);
    if (!Rename(tempData, dataPath)) {
        // Nothing was replaced yet: withdraw the commit and keep the old pair.
        const int error = errno;
        const CommitResult withdrawn = Withdraw(folder, journal, tempIndex, onFailure);
        errno = error;
        return withdrawn;
    }
    Passed(Step::kDataRenamed);
    if (!Rename(tempIndex, indexPath) && !Rename(tempIndex, indexPath)) return CommitResult::kUnfinished;
    SyncDirectory(folder);
    Passed(Step::kIndexRenamed);
    if (Vorn::Os().files.Unlink(journal.c_str()) != 0 && errno != ENOENT) {
        // The pair is in place; the journal left would name a later build that happens to get the
        // same temporary name, and holds this pair's next commit off: Recover removes it.
        QUOR_LOG(Log::ERROR, "Failed to remove \"%s\": %s", journal.c_str(), Common::SystemErrorText(errno).c_str());
        return CommitResult::kUnfinished;
    }
    Passed(Step::kJournalRemoved);
    return CommitResult::kCommitted;
}

RecoverResult Recover(const std::string& folder, const std::string& indexName) {
    const std::string journal = Join(folder, JournalName(indexName));
    struct stat journalStat;
    if (::lstat(journal.c_str(), &journalStat) != 0) {
        if (errno == ENOENT) return RecoverResult::kNothing;
        // A journal that cannot be looked at may name a commit that was made.
        QUOR_LOG(Log::ERROR, "Failed to look at \"%s\": %s", journal.c_str(), Common::SystemErrorText(errno).c_str());
        return RecoverResult::kFailed;
    }
    std::string tempName;
    if (!ReadJournal(journal, tempName)) {
        QUOR_LOG(Log::ERROR, "Failed to read the commit journal \"%s\": %s", journal.c_str(),
                 Common::SystemErrorText(errno).c_str());
        return RecoverResult::kFailed;
    }
    if (tempName.empty()) {
        // Journals are put in place whole: one that does not read as a journal is not ours.
        QUOR_LOG(Log::WARNING, "\"%s\" is not a commit journal; it is left as it is", journal.c_str());
        return RecoverResult::kNotOurs;
    }
    const std::string tempIndex = Join(folder, tempName);
    const std::string indexPath = Join(folder, indexName);
    // Whichever half of the build is still there is renamed; one that cannot be looked at leaves the
    // commit unfinished.
    for (const auto& [from, to] : {std::pair{tempIndex + ".dat", indexPath + ".dat"}, std::pair{tempIndex, indexPath}}) {
        struct stat st;
        if (::lstat(from.c_str(), &st) != 0) {
            if (errno == ENOENT) continue;
            QUOR_LOG(Log::ERROR, "Failed to look at \"%s\": %s", from.c_str(), Common::SystemErrorText(errno).c_str());
            return RecoverResult::kFailed;
        }
        if (S_ISREG(st.st_mode) && !Rename(from, to)) return RecoverResult::kFailed;
    }
    SyncDirectory(folder);
    if (Vorn::Os().files.Unlink(journal.c_str()) != 0 && errno != ENOENT) {
        // Left, it would name a later build that happens to get the same temporary name.
        QUOR_LOG(Log::ERROR, "Failed to remove \"%s\" after finishing the rewrite of \"%s\": %s", journal.c_str(),
                 indexPath.c_str(), Common::SystemErrorText(errno).c_str());
        return RecoverResult::kFailed;
    }
    QUOR_LOG(Log::WARNING, "Finished the interrupted rewrite of \"%s\"", indexPath.c_str());
    return RecoverResult::kRolledForward;
}

void RemoveLeftovers(const std::string& folder) {
    const std::vector<std::string> entries = FolderEntries(folder);
    // A build that a journal still names is the pair to be: it stays for Recover. While a journal
    // cannot be read, nothing is known to be a leftover.
    std::vector<std::string> held;
    for (const std::string& entry : entries) {
        if (!entry.ends_with(JournalName(""))) continue;
        std::string name;
        if (!ReadJournal(Join(folder, entry), name)) {
            QUOR_LOG(Log::WARNING, "Temporary files in \"%s\" are kept: the commit journal \"%s\" cannot be read",
                     folder.c_str(), entry.c_str());
            return;
        }
        if (!name.empty()) held.push_back(name);
    }
    for (const std::string& entry : entries) {
        std::string base = entry;
        if (base.size() == kTempNameLength + 4 && base.compare(kTempNameLength, 4, ".dat") == 0)
            base.resize(kTempNameLength);
        if (!IsTemporaryName(base)) continue;
        if (std::find(held.begin(), held.end(), base) != held.end()) continue;
        const std::string path = Join(folder, entry);
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        QUOR_LOG(Log::WARNING, "Removing \"%s\", left over by an archive rewrite that did not finish", path.c_str());
        RemoveQuietly(path);
    }
}

}  // namespace Quor::FileSystem::Impl::PairCommit
