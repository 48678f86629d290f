#pragma once
// Putting a newly built archive pair in place of the old one so that a crash at any instant
// leaves either the old pair or the new pair, never a mix of the two.
//
// The new pair is built under a temporary name T (index) and T + ".dat" (data) in the archive
// folder itself, and both files are flushed to the disk. Then:
//   1. the commit journal is written and flushed under a fresh temporary name, then renamed to
//      "<index name>.commit" (never over an existing file): it names T. From this moment the new
//      pair is the pair;
//   2. T.dat is renamed onto the data file, then T onto the index file;
//   3. the journal is removed.
// Recover() finishes step 2 for a journal found later (a crash or a failed rename in between):
// it renames whichever of T.dat and T still exists (as a regular file) and removes the journal.
// A journal is only ever seen whole, so a "<index name>.commit" that does not read as one is not
// ours: it is left alone (and the pair is not rewritten while it is there). Temporary files that
// no journal names are leftovers of a build that never committed; RemoveLeftovers deletes them.
//
// Journal: magic 0x314A4151 ("QAJ1"), name length, the name T relative to the folder (bytes
// "TMP" and six letters or digits), CRC-32 of the bytes before it; numbers u32 little-endian.
//
// Every function logs its failures at ERROR and reports them through its result; none throws.
// No lock of its own: the caller holds the folder's writer lock (FolderLock.h).
#include <string>

namespace Quor::FileSystem::Impl::PairCommit {

// "<indexName>.commit"
std::string JournalName(const std::string& indexName);

// True when name has the shape of a temporary index name ("TMP" + six letters or digits).
bool IsTemporaryName(const std::string& name);

enum class CommitResult {
    kCommitted,   // the new pair is in place
    kNotStarted,  // nothing on disk changed: the old pair stands (temporary files removed, or kept
                  // for the caller with BuildOnFailure::kKeep)
    kUnfinished,  // committed but not finished: a rename failed, the journal could not be
                  // removed after the renames, or the journal of a commit taken back could not be
                  // removed (it names a whole build); the journal stays, Recover() finishes it
    kBuildRemoved,  // nothing on disk changed, but the build asked to be kept (BuildOnFailure::kKeep)
                    // was removed: the journal's removal could not be made durable
};

// What becomes of the temporary pair when the commit does not start: removed, or left where it is
// for the caller, who commits it again later or removes it itself. It is left only when no journal
// naming it can be found again (its removal reached the disk); else it is removed too and the
// result is kBuildRemoved. A journal that is still there keeps its build whatever this says.
enum class BuildOnFailure { kRemove, kKeep };

// Steps 1 to 3 for the pair whose index is folder/indexName, built at the temporary index path
// tempIndex (a file directly in folder).
CommitResult Commit(const std::string& folder, const std::string& indexName, const std::string& tempIndex,
                    BuildOnFailure onFailure = BuildOnFailure::kRemove);

enum class RecoverResult { kNothing, kRolledForward, kNotOurs, kFailed };

// Finishes a commit of folder/indexName that a journal shows as begun; kFailed when the journal
// cannot be read, or a rename or the journal's removal fails (the journal stays). kNotOurs: a
// "<index name>.commit" that reads as no journal of ours.
RecoverResult Recover(const std::string& folder, const std::string& indexName);

// Deletes the temporary files of builds that never committed (regular files named like
// IsTemporaryName, with or without ".dat"), except a build that a journal still names; nothing
// while a journal cannot be read. Call after Recover for every journal of the folder, and only
// for a folder known to be an archive folder (a pair or the writer's lock file in it).
void RemoveLeftovers(const std::string& folder);

// Steps of Commit, reported to the test hook as they are passed.
enum class Step { kJournalWritten = 1, kDataRenamed = 2, kIndexRenamed = 3, kJournalRemoved = 4 };
using StepHook = void (*)(Step step);
// Calls hook after each step of every later Commit (null: none); for crash tests only.
void SetStepHookForTesting(StepHook hook);

// Flushes a file's data / a folder's entries to the disk; false (logged) on failure.
bool SyncFile(int fd, const std::string& pathForLog);
bool SyncDirectory(const std::string& folder);

}  // namespace Quor::FileSystem::Impl::PairCommit
