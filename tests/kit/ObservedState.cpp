#include "tests/kit/ObservedState.h"

#include <dirent.h>
#include <linux/futex.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace QuorTest {

namespace {

constexpr int kLooks = 30000;  // one a millisecond: 30 s

void Pause() { ::usleep(1000); }

struct Call {
    long number = -1;  // -1: running, gone, or not in a call
    unsigned long second = 0;  // its second argument
};

// The system call thread `id` is blocked in.
Call CallOf(pid_t id) {
    std::ifstream in("/proc/self/task/" + std::to_string(id) + "/syscall");
    std::string number, first, second;
    Call call;
    if (!(in >> number >> first >> second) || !(number[0] >= '0' && number[0] <= '9')) return call;
    call.number = std::strtol(number.c_str(), nullptr, 10);
    call.second = std::strtoul(second.c_str(), nullptr, 16);
    return call;
}

bool InConditionWait(pid_t id) {
    const Call call = CallOf(id);
    return call.number == SYS_futex && (call.second & 0x7f) == FUTEX_WAIT_BITSET;
}

struct Queues {
    long unacknowledged = -1;  // sent, not yet acknowledged by the peer
    long unread = -1;          // received, not yet read by its owner
};

// The queues of the socket at local -> remote in /proc/net/tcp (addresses and ports as the socket
// calls give them, in network order); -1 each when the table has no such socket.
Queues QueuesOf(const sockaddr_in& local, const sockaddr_in& remote) {
    Queues queues;
    FILE* table = std::fopen("/proc/net/tcp", "r");
    if (!table) return queues;
    char line[512];
    if (std::fgets(line, sizeof line, table)) {  // the heading
        while (queues.unread < 0 && std::fgets(line, sizeof line, table)) {
            unsigned localAddress = 0, localPort = 0, remoteAddress = 0, remotePort = 0, state = 0;
            unsigned long tx = 0, rx = 0;
            if (std::sscanf(line, " %*u: %8X:%4X %8X:%4X %2X %8lX:%8lX", &localAddress, &localPort, &remoteAddress,
                            &remotePort, &state, &tx, &rx) != 7)
                continue;
            if (localAddress == local.sin_addr.s_addr && localPort == ntohs(local.sin_port) &&
                remoteAddress == remote.sin_addr.s_addr && remotePort == ntohs(remote.sin_port))
                queues = {static_cast<long>(tx), static_cast<long>(rx)};
        }
    }
    std::fclose(table);
    return queues;
}

}  // namespace

std::vector<pid_t> ThreadIds() {
    std::vector<pid_t> ids;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') ids.push_back(static_cast<pid_t>(std::atoi(entry->d_name)));
        ::closedir(dir);
    }
    return ids;
}

pid_t AwaitNewThreadInSyscall(const std::vector<pid_t>& known, std::initializer_list<long> numbers) {
    for (int look = 0; look < kLooks; ++look) {
        for (const pid_t id : ThreadIds()) {
            if (std::find(known.begin(), known.end(), id) != known.end()) continue;
            const long call = CallOf(id).number;
            if (std::find(numbers.begin(), numbers.end(), call) != numbers.end()) return id;
        }
        Pause();
    }
    return 0;
}

bool AwaitNewThreadsInConditionWait(const std::vector<pid_t>& known, unsigned count) {
    for (int look = 0; look < kLooks; ++look) {
        unsigned waiting = 0;
        for (const pid_t id : ThreadIds())
            if (std::find(known.begin(), known.end(), id) == known.end() && InConditionWait(id)) ++waiting;
        if (waiting >= count) return true;
        Pause();
    }
    return false;
}

bool AwaitPeerReadAll(int fd) {
    sockaddr_in mine{}, peer{};
    socklen_t size = sizeof mine;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &size) != 0) return false;
    size = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) return false;
    for (int look = 0; look < kLooks; ++look) {
        // Acknowledged bytes are in the peer's receive queue; an empty queue then means read.
        if (QueuesOf(mine, peer).unacknowledged == 0 && QueuesOf(peer, mine).unread == 0) return true;
        Pause();
    }
    return false;
}

}  // namespace QuorTest
