#include "foundation/InetDiag.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>
#include <cstring>

#include "foundation/UniqueFd.h"

namespace Vorn::Sockets {

namespace {

constexpr uint32_t kSequence = 1;

struct Request {
    nlmsghdr header;
    inet_diag_req_v2 body;
};

// NLMSG_OK without its comparison of the unsigned length word with the signed count: a whole
// header and the whole message it announces lie within the `left` bytes received.
bool MessageFits(const nlmsghdr* message, int left) {
    return left >= static_cast<int>(sizeof(nlmsghdr)) && message->nlmsg_len >= sizeof(nlmsghdr) &&
           message->nlmsg_len <= static_cast<unsigned>(left);
}

bool SameSocket(const inet_diag_sockid& id, const TcpEndpoint& local, const TcpEndpoint& remote) {
    return id.idiag_src[0] == htonl(local.address) && id.idiag_sport == htons(local.port) &&
           id.idiag_dst[0] == htonl(remote.address) && id.idiag_dport == htons(remote.port);
}

}  // namespace

bool InetDiagLookup(const TcpEndpoint& local, const TcpEndpoint& remote, TcpSocketRecord& record) {
    UniqueFd netlink(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (!netlink.IsValid()) return false;
    const timeval limit{1, 0};
    if (::setsockopt(netlink.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return false;

    // One exact lookup (no dump): the kernel matches the address pair and the cookie wildcard.
    Request request;
    std::memset(&request, 0, sizeof request);
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = kSequence;
    request.body.sdiag_family = AF_INET;
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = ~0u;
    request.body.id.idiag_src[0] = htonl(local.address);
    request.body.id.idiag_sport = htons(local.port);
    request.body.id.idiag_dst[0] = htonl(remote.address);
    request.body.id.idiag_dport = htons(remote.port);
    request.body.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.body.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel;
    std::memset(&kernel, 0, sizeof kernel);
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = ::sendto(netlink.Get(), &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel),
                        sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(sizeof request)) return false;

    // The answer: one SOCK_DIAG_BY_FAMILY message, or an error message. Messages of other
    // sequences or senders are skipped.
    alignas(nlmsghdr) unsigned char buffer[8192];
    for (int reads = 0; reads < 16; ++reads) {
        sockaddr_nl from;
        socklen_t fromSize = sizeof from;
        ssize_t received;
        do {
            received = ::recvfrom(netlink.Get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                                  &fromSize);
        } while (received < 0 && errno == EINTR);
        if (received < 0) return false;
        if (fromSize < sizeof from || from.nl_pid != 0) continue;
        int left = static_cast<int>(received);
        for (const nlmsghdr* message = reinterpret_cast<const nlmsghdr*>(buffer); MessageFits(message, left);
             message = NLMSG_NEXT(message, left)) {
            if (message->nlmsg_seq != kSequence) continue;
            if (message->nlmsg_type == NLMSG_ERROR) {
                int error = EPROTO;
                if (message->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr))) {
                    nlmsgerr answer;
                    std::memcpy(&answer, NLMSG_DATA(message), sizeof answer);
                    if (answer.error < 0) error = -answer.error;
                }
                errno = error;
                return false;
            }
            if (message->nlmsg_type == NLMSG_DONE) {
                errno = ENOENT;
                return false;
            }
            if (message->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
                message->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                continue;
            inet_diag_msg answer;
            std::memcpy(&answer, NLMSG_DATA(message), sizeof answer);
            if (answer.idiag_family != AF_INET || !SameSocket(answer.id, local, remote)) continue;
            record.uid = answer.idiag_uid;
            record.state = answer.idiag_state;
            record.inode = answer.idiag_inode;
            return true;
        }
    }
    errno = EPROTO;
    return false;
}

}  // namespace Vorn::Sockets
