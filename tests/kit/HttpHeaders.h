#pragma once
// Header lists of the test kit's HTTP servers and raw client: fields in the order they were
// sent, names compared without regard to case. Plain values; no locking.
#include <string>
#include <utility>
#include <vector>

namespace QuorTest {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// The value of the first field called `name` (any case), or "" when there is none.
std::string FindHeader(const HttpHeaders& headers, const std::string& name);
bool HasHeader(const HttpHeaders& headers, const std::string& name);
bool EqualsNoCase(const std::string& a, const std::string& b);

// Parses "Name: value" lines separated by CRLF (or LF); the value is trimmed.
// Returns false on a line without a colon or with an empty name.
bool ParseHeaderLines(const std::string& block, HttpHeaders& headers);

}  // namespace QuorTest
