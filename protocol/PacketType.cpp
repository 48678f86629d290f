#include "protocol/PacketType.h"

#include <array>

namespace Quor::OrvaneProtocol {
namespace {

using TypeNames = std::array<const char*, PACKET_TYPE_LAST + 1>;

constexpr TypeNames kRequestNames = [] {
    TypeNames names{};
#define QUOR_REQUEST_NAME(Name, TYPE, number, direction, ...) \
    QUOR_IF_REQUEST_##direction(names[number] = "PACKET_TYPE_" #TYPE "_REQUEST";)
    QUOR_MESSAGES(QUOR_REQUEST_NAME)
#undef QUOR_REQUEST_NAME
    return names;
}();

// A progress report is logged under its packet type's own name.
constexpr TypeNames kResponseNames = [] {
    TypeNames names{};
#define QUOR_RESPONSE_NAME(Name, TYPE, number, direction, ...)                      \
    QUOR_IF_RESPONSE_##direction(names[number] = "PACKET_TYPE_" #TYPE "_RESPONSE";) \
        QUOR_IF_PROGRESS_##direction(names[number] = "PACKET_TYPE_" #TYPE;)
    QUOR_MESSAGES(QUOR_RESPONSE_NAME)
#undef QUOR_RESPONSE_NAME
    return names;
}();

constexpr bool AllNamed(const TypeNames& names) {
    for (const char* name : names)
        if (name == nullptr) return false;
    return true;
}
static_assert(AllNamed(kRequestNames) && AllNamed(kResponseNames),
              "every type number up to the last has a request and a response (or progress) row");

}  // namespace

const char* RequestTypeName(DWORD type) {
    return type <= PACKET_TYPE_LAST ? kRequestNames[type] : nullptr;
}
const char* ResponseTypeName(DWORD type) {
    return type <= PACKET_TYPE_LAST ? kResponseNames[type] : nullptr;
}

}  // namespace Quor::OrvaneProtocol
