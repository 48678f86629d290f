#pragma once
// Test helper: the operations of the message table (protocol/Messages.h) by direction, so that a
// test can check that a table of its own has a case for each of them. Every name is the row's
// Name (without "Request" or "Response"); RequestProgress, written out by hand, is in neither
// list. Pure functions.
#include <string>
#include <vector>

#include "protocol/Messages.h"

namespace QuorTest {

// The rows a client sends: every row but RequestProgress, in table order.
inline std::vector<std::string> RequestRows() {
#define QUOR_ROW_REQUEST_NAME(Name, TYPE, number, direction, ...) QUOR_IF_REQUEST_##direction(#Name, )
    return {QUOR_MESSAGES(QUOR_ROW_REQUEST_NAME)};
#undef QUOR_ROW_REQUEST_NAME
}

// The rows the kernel answers: every row with a response, in table order.
inline std::vector<std::string> ResponseRows() {
#define QUOR_ROW_RESPONSE_NAME(Name, TYPE, number, direction, ...) QUOR_IF_RESPONSE_##direction(#Name, )
    return {QUOR_MESSAGES(QUOR_ROW_RESPONSE_NAME)};
#undef QUOR_ROW_RESPONSE_NAME
}

}  // namespace QuorTest
