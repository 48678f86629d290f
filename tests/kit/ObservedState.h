#pragma once
// Waits for states that other threads and the system show, so that a test orders its steps by what
// has happened instead of sleeping and hoping another thread was scheduled meanwhile: a thread of
// this process blocked in a given system call, and a loopback peer that has read every byte sent
// to it. Each wait looks again every millisecond until the state is seen or 30 s have passed, and
// answers whether it was seen. Thread-safe.
#include <sys/types.h>

#include <initializer_list>
#include <vector>

namespace QuorTest {

// The ids of this process's threads now (/proc/self/task).
std::vector<pid_t> ThreadIds();

// Waits until a thread of this process whose id is not in `known` is blocked in one of the system
// calls `numbers` (SYS_futex, SYS_poll, ...), as /proc/self/task/<id>/syscall shows it; its id, or
// 0 when none was seen.
pid_t AwaitNewThreadInSyscall(const std::vector<pid_t>& known, std::initializer_list<long> numbers);

// Waits until `count` threads of this process whose ids are not in `known` are blocked at once
// where a condition variable or a semaphore waits (a futex wait with FUTEX_WAIT_BITSET, as the C
// library waits for those; a thread waiting for a mutex uses a plain FUTEX_WAIT and does not count).
bool AwaitNewThreadsInConditionWait(const std::vector<pid_t>& known, unsigned count);

// Waits until the other end of the connected loopback TCP socket `fd` has read everything sent to
// it: the peer acknowledged every byte and its receive queue is empty (/proc/net/tcp).
bool AwaitPeerReadAll(int fd);

}  // namespace QuorTest
