#pragma once
// Vorn::Semaphore: a counting semaphore that other processes can open by name.
//
// The object that creates a name (the first to open it with a count of 1 or more) owns it and
// removes the name when it is destroyed; objects that merely opened it never remove it. A count
// below 1 opens an existing semaphore only and never creates one. A semaphore that can be neither
// created nor opened leaves an invalid object (IsValid false; callers check it). An unnamed
// semaphore gets a private name that is removed at once, so nothing of it outlives the process.
// Every system name carries the instance suffix of InstanceName. The operations are thread- and
// process-safe; the object is not copyable.
#include <semaphore.h>

#include <string>

namespace Vorn {

// The name under which a named semaphore of the system is kept: name followed by the value of the
// environment variable ORVANE_INSTANCE when it is set (any '/' in it becomes '_'), so that tests
// can run kernels of their own beside each other. The variable is read here and nowhere else,
// once per process.
std::string InstanceName(const char* name);
// The suffix InstanceName appends in this process, and the one it would append in a process whose
// environment block ("NAME=value" entries each ended by a NUL, as /proc/<pid>/environ holds it)
// is given: so that the processes of one instance can tell each other from those of another.
std::string InstanceSuffix();
std::string InstanceSuffixOfEnvironment(const std::string& block);

class Semaphore {
public:
    // Asks for a name of this user's own (see the constructor taking it).
    struct OwnName {};

    Semaphore(const char* name, int initialCount);
    // Creates the name as this user's (count initialCount, at least 1): a name that another user
    // made, or that is not a plain semaphore file, is removed and made anew (a few times over when
    // it comes back at once); a name this user made is opened as by the constructor above. The
    // object is invalid when another user's name cannot be removed.
    Semaphore(const char* name, int initialCount, OwnName);
    // Unnamed: private to this process and the children it forks.
    explicit Semaphore(int initialCount);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    bool IsValid() const { return m_handle != SEM_FAILED; }
    // Blocks until the count can be decreased; false when the wait failed.
    bool AcquireOne();
    // Never blocks; true when the count was decreased.
    bool TryAcquireOne();
    bool ReleaseOne();

    // Removes the name whoever created it (a semaphore left behind by a process that died).
    static void Cleanup(const char* name);
    // Whether the name exists as a semaphore that this process's user made: a name made by
    // another user of the machine cannot stand for anything of this user's.
    static bool IsOwnName(const char* name);

protected:
    sem_t* m_handle = SEM_FAILED;
    bool m_owner = false;
    std::string m_name;  // the system name, kept only when owner
};

}  // namespace Vorn
