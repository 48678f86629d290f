#pragma once
// The description format from which quor-manifest writes a release manifest: one entry per line,
//     name version flags size compressedSize md5
// separated by blanks or tabs. The name is everything before the last five fields (so it may hold
// blanks); version is a.b.c.d; flags, size and compressedSize are numbers (decimal, or hexadecimal
// after "0x"); md5 is 32 hexadecimal digits, or "-" for an all-zero digest. Blank lines and lines
// whose first non-blank character is "#" are ignored. Backslashes in names are turned into "/".
//
// Stateless functions; errors are reported as text with the line number, nothing is logged.
#include <cstdio>
#include <string>

#include "common/ReleaseManifest.h"

namespace Quor::Tools {

// Adds the entries of the description read from `in` to `manifest` and sorts them. False, with
// `error` set, on the first bad line: wrong field count, bad number or version, bad digest, a name
// the system would refuse (absolute, "." or ".." segments, empty segments), or a name already
// present without regard to case.
bool ReadDescription(FILE* in, Common::ReleaseManifest& manifest, std::string& error);

// One description line for an entry (what `quor-manifest print` writes for a release manifest).
std::string DescribeEntry(const Common::ReleaseManifest::ENTRY& entry);

// "a.b.c.d" of a version, and the version of such a text (false when it is none).
std::string VersionText(DWORD version);
bool ParseVersion(const std::string& text, DWORD& version);
// A 32-bit number, decimal or hexadecimal after "0x"; false for anything else.
bool ParseNumber(const std::string& text, DWORD& value);

}  // namespace Quor::Tools
