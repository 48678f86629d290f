#pragma once
// Message types of the kernel protocol, header sizes, and the names the decoders log them under.
//
// One type number serves a request and its response; type 22 is Cancel from a client and
// RequestProgress from the kernel. Types above PACKET_TYPE_LAST are refused by every decoder.
#include "foundation/Types.h"

namespace Quor::OrvaneProtocol {

enum PacketType : DWORD {
    PACKET_TYPE_GET_VERSION = 0,
    PACKET_TYPE_TERMINATE = 1,
    PACKET_TYPE_ENUM_AVAIL_PROJECTS = 2,
    PACKET_TYPE_ENUM_INSTALLED_PROJECTS = 3,
    PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES = 4,
    PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES = 5,
    PACKET_TYPE_INSTALL_PROJECT_RELEASE = 6,
    PACKET_TYPE_UPDATE_PROJECT = 7,
    PACKET_TYPE_VALIDATE_PROJECT = 8,
    PACKET_TYPE_UNINSTALL_PROJECT_RELEASE = 9,
    PACKET_TYPE_ENUM_AVAIL_SOLUTIONS = 10,
    PACKET_TYPE_ENUM_INSTALLED_SOLUTIONS = 11,
    PACKET_TYPE_ENUM_AVAIL_SOLUTION_RELEASES = 12,
    PACKET_TYPE_ENUM_INSTALLED_SOLUTION_RELEASES = 13,
    PACKET_TYPE_INSTALL_SOLUTION_RELEASE = 14,
    PACKET_TYPE_UPDATE_SOLUTION = 15,
    PACKET_TYPE_VALIDATE_SOLUTION = 16,
    PACKET_TYPE_UNINSTALL_SOLUTION_RELEASE = 17,
    PACKET_TYPE_CREATE_PROCESS = 18,
    PACKET_TYPE_SET_LOG_PARAMETERS = 19,
    PACKET_TYPE_LOCK_FILE = 20,
    PACKET_TYPE_UNLOCK_FILE = 21,
    PACKET_TYPE_CANCEL = 22,            // from a client
    PACKET_TYPE_REQUEST_PROGRESS = 22,  // from the kernel
    PACKET_TYPE_REPAIR = 23,
    PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION = 24,
    PACKET_TYPE_GET_PROJECT_VERSION_FOR_SOLUTION_RELEASE = 25,
    PACKET_TYPE_GET_QUOR_LIBRARY = 26,
    PACKET_TYPE_LAST = 26,
};

// Request header: size, request id, type. Response header: size, type, request id, result.
constexpr UINT REQUEST_HEADER_SIZE = 12;
constexpr UINT RESPONSE_HEADER_SIZE = 16;

// The kernel takes one receive of at most this many bytes as one request.
constexpr UINT MAX_REQUEST_SIZE = 4096;

// "PACKET_TYPE_..._REQUEST" / "..._RESPONSE" (RequestProgress for 22); null above the last type.
const char* RequestTypeName(DWORD type);
const char* ResponseTypeName(DWORD type);

}  // namespace Quor::OrvaneProtocol
