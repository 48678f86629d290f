#include "protocol/Port.h"

#include <cstdlib>

#include "common/Log.h"

namespace Quor::OrvaneProtocol {

uint16_t ParseOrvanePort(const char* value) {
    if (value == nullptr || *value == '\0') return ORVANE_DEFAULT_PORT;
    unsigned long port = 0;
    const char* p = value;
    for (; *p >= '0' && *p <= '9' && port <= 65535; ++p)
        port = port * 10 + static_cast<unsigned long>(*p - '0');
    if (*p != '\0' || port == 0 || port > 65535) {
        QUOR_LOG(Quor::Log::WARNING, "ORVANE_PORT \"%s\" is not a port number; using %u.", value,
                 static_cast<unsigned>(ORVANE_DEFAULT_PORT));
        return ORVANE_DEFAULT_PORT;
    }
    return static_cast<uint16_t>(port);
}

uint16_t GetOrvanePort() {
    static const uint16_t port = ParseOrvanePort(std::getenv("ORVANE_PORT"));
    return port;
}

}  // namespace Quor::OrvaneProtocol
