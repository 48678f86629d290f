#include "tools/manifest/Description.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "common/RelativeName.h"
#include "remote/MD5.h"

namespace Quor::Tools {

namespace {

bool ParseDigest(const std::string& text, MD5::DIGEST& md5) {
    if (text == "-") {
        std::fill(std::begin(md5), std::end(md5), 0);
        return true;
    }
    return SUCCEEDED(MD5::FromString(text, md5));
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool ReadLine(FILE* in, std::string& line) {
    line.clear();
    int c;
    while ((c = fgetc(in)) != EOF) {
        if (c == '\n') return true;
        line += static_cast<char>(c);
    }
    return !line.empty();
}

}  // namespace

bool ParseNumber(const std::string& text, DWORD& value) {
    if (text.empty() || text[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull) return false;
    value = static_cast<DWORD>(v);
    return true;
}

std::string VersionText(DWORD version) {
    char text[32];
    snprintf(text, sizeof text, "%u.%u.%u.%u", version >> 24, (version >> 16) & 255, (version >> 8) & 255,
             version & 255);
    return text;
}

bool ParseVersion(const std::string& text, DWORD& version) {
    unsigned parts[4];
    char tail = 0;
    if (sscanf(text.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4)
        return false;
    for (unsigned p : parts)
        if (p > 255) return false;
    version = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    return true;
}

std::string DescribeEntry(const Common::ReleaseManifest::ENTRY& entry) {
    std::string digest;
    MD5::ToString(entry.md5, digest);
    char fields[128];
    snprintf(fields, sizeof fields, " %s 0x%02x %u %u %s", VersionText(entry.version).c_str(), entry.flags,
             entry.size, entry.compressedSize, digest.c_str());
    return entry.name + fields;
}

bool ReadDescription(FILE* in, Common::ReleaseManifest& manifest, std::string& error) {
    std::string line;
    for (int number = 1; ReadLine(in, line); ++number) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == '#') continue;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        };

        // The last five blank-separated fields; the name is what stands before them.
        std::vector<std::string> fields;
        size_t end = text.size();
        for (int i = 0; i < 5; ++i) {
            const size_t start = text.find_last_of(" \t", end - 1);
            if (start == std::string::npos)
                return fail("expected: name version flags size compressedSize md5");
            fields.insert(fields.begin(), text.substr(start + 1, end - start - 1));
            end = text.find_last_not_of(" \t", start);
            if (end == std::string::npos) return fail("expected: name version flags size compressedSize md5");
            ++end;
        }
        std::string name = text.substr(0, end);
        std::replace(name.begin(), name.end(), '\\', '/');

        Common::ReleaseManifest::ENTRY entry;
        if (!Common::IsValidRelativeName(name) ||
            name.size() > Common::ReleaseManifest::MAX_ENTRY_NAME_LENGTH)
            return fail("invalid name \"" + name + "\"");
        if (!ParseVersion(fields[0], entry.version)) return fail("invalid version \"" + fields[0] + "\"");
        if (!ParseNumber(fields[1], entry.flags)) return fail("invalid flags \"" + fields[1] + "\"");
        if (!ParseNumber(fields[2], entry.size)) return fail("invalid size \"" + fields[2] + "\"");
        if (!ParseNumber(fields[3], entry.compressedSize))
            return fail("invalid compressed size \"" + fields[3] + "\"");
        if (!ParseDigest(fields[4], entry.md5)) return fail("invalid md5 \"" + fields[4] + "\"");
        manifest.AddUnsorted(name, entry.version, entry.md5, entry.flags, entry.size, entry.compressedSize);
    }
    if (ferror(in)) {
        error = "read error";
        return false;
    }
    if (FAILED(manifest.SortEntries(nullptr))) {
        error = "sorting failed";
        return false;
    }
    const auto& entries = manifest.m_Entries;
    auto same = std::adjacent_find(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return !Common::ReleaseManifest::ENTRY::PredicateByName(a, b);
    });
    if (same != entries.end()) {
        error = "\"" + same->name + "\" and \"" + std::next(same)->name + "\" name the same file";
        return false;
    }
    return true;
}

}  // namespace Quor::Tools
