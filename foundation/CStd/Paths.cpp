// Path text functions of the bounded runtime (see CStdPaths.h).
#include <limits.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "foundation/CStd/CStd.h"
#include "platform/ExecutablePath.h"
#include "platform/StringBounds.h"

namespace Vorn {

namespace {
constexpr uint_size kPathSize = 1024;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Copies length bytes of src into out when they fit with a terminator, else leaves out empty.
// (The count rule of std_strncpy, without the asserting build's stop: the caller reports a
// component that does not fit through its result.)
void CopyComponent(char* out, uint_size size, const char* src, size_t length) {
    if (!out || size == 0) return;
    if (length < size) {
        std::memcpy(out, src, length);
        out[length] = '\0';
    } else {
        out[0] = '\0';
    }
}

void Empty(char* out, uint_size size) {
    if (out && size != 0) out[0] = '\0';
}

// Case-insensitive search of the first length bytes of run in name; null when absent.
const char* FindRun(const char* name, const char* run, size_t length) {
    for (; *name; ++name)
        if (strncasecmp(name, run, length) == 0) return name;
    return length == 0 ? name : nullptr;
}
}  // namespace

bool std_splitpath(const char* path, char* drive, uint_size driveSize, char* dir, uint_size dirSize,
                   char* fname, uint_size fnameSize, char* ext, uint_size extSize) {
    if (!path || !*path) return false;
    Empty(drive, driveSize);  // there are no drive letters
    Empty(dir, dirSize);
    Empty(fname, fnameSize);
    Empty(ext, extSize);

    const char* lastSeparator = nullptr;
    const char* lastDot = nullptr;
    const char* end = path;
    for (; *end; ++end) {
        if (IsSeparator(*end)) {
            lastSeparator = end;
            lastDot = nullptr;  // a dot in a folder name is no extension
        } else if (*end == '.') {
            lastDot = end;
        }
    }
    const char* nameStart = lastSeparator ? lastSeparator + 1 : path;
    const char* extStart = lastDot ? lastDot : end;
    size_t dirLength = 0;
    if (lastSeparator) dirLength = lastSeparator == path ? 1 : static_cast<size_t>(lastSeparator - path);
    size_t nameLength = static_cast<size_t>(extStart - nameStart);
    size_t extLength = static_cast<size_t>(end - extStart);

    CopyComponent(dir, dirSize, path, dirLength);
    CopyComponent(fname, fnameSize, nameStart, nameLength);
    CopyComponent(ext, extSize, extStart, extLength);
    if (dir && dirSize != 0 && dir[0] == '\0') Quor::Platform::StrLCopy(dir, ".", dirSize);

    if (dir && dirSize <= dirLength) return false;
    if (fname && nameLength >= fnameSize) return false;
    if (ext && extLength >= extSize) return false;
    return true;
}

void std_makepath(char* path, uint_size size, const char*, const char* dir, const char* fname,
                  const char* ext) {
    if (size == 0) return;
    path[0] = '\0';
    if (dir && *dir) {
        Quor::Platform::StrLCat(path, dir, size);
        if (dir[std::strlen(dir) - 1] != '/') Quor::Platform::StrLCat(path, "/", size);
    }
    if (fname && *fname) Quor::Platform::StrLCat(path, fname, size);
    if (ext && *ext) {
        if (ext[0] != '.') Quor::Platform::StrLCat(path, ".", size);
        Quor::Platform::StrLCat(path, ext, size);
    }
}

bool std_parentpath(const char* path, char* buf, uint_size size) {
    char dir[kPathSize];
    char fname[kPathSize];
    char ext[kPathSize];
    if (!std_splitpath(path, nullptr, 0, dir, sizeof dir, fname, sizeof fname, ext, sizeof ext))
        return false;
    // A name made of an extension only (".profile") is still a name.
    if (fname[0] == '\0' && ext[0] == '\0') {
        // The path ends with a separator: its parent is one folder further up.
        size_t length = std::strlen(dir);
        if (length > 0) {
            char dropped = dir[length - 1];
            dir[length - 1] = '\0';
            char* cut = std::strrchr(dir, '/');
            if (!cut) cut = std::strrchr(dir, '\\');
            if (cut)
                cut[1] = '\0';
            else
                dir[length - 1] = dropped;
        }
    }
    std_makepath(buf, size, nullptr, dir);
    return true;
}

bool std_path_match_spec(const char* name, const char* spec) {
    if (!name || !spec) return false;
    const char* n = name;
    const char* s = spec;
    bool star = false;
    while (*s) {
        if (*s == '*') {
            star = true;
            ++s;
        } else if (*s == '.') {
            if (star)
                while (*n && *n != '.') ++n;
            if (*n) {
                if (*n != '.') return false;
                ++n;
            }
            star = false;
            ++s;
        } else if (*s == '?') {
            if (!*n) return false;
            ++n;
            ++s;
        } else {
            const char* runEnd = s;
            while (*runEnd && *runEnd != '*' && *runEnd != '?') ++runEnd;
            size_t length = static_cast<size_t>(runEnd - s);
            if (star) {
                const char* found = FindRun(n, s, length);
                if (!found) return false;
                n = found + length;
            } else {
                if (strncasecmp(n, s, length) != 0) return false;
                n += length;
            }
            star = false;
            s = runEnd;
        }
    }
    return star || !*n;
}

char* std_get_native_path(char* dest, const char* src, int) {
    size_t i = 0;
    for (; src[i]; ++i) dest[i] = src[i] == '\\' ? '/' : src[i];
    dest[i] = '\0';
    return dest;
}

char* std_get_standard_path(char* dest, const char* src, int) {
    size_t i = 0;
    for (; src[i]; ++i) dest[i] = src[i] == '/' ? '\\' : src[i];
    dest[i] = '\0';
    return dest;
}

char* std_realpath(const char* path, char* resolved) { return realpath(path, resolved); }

char* std_getcwd(uint_size size, char* buf) { return getcwd(buf, size); }

namespace {
// Canonical form of path into buf (size bytes); false when it cannot be resolved or does not fit.
bool Canonical(const char* path, char* buf, uint_size size) {
    char* resolved = realpath(path, nullptr);
    if (!resolved) return false;
    bool fits = std::strlen(resolved) < size;
    if (fits) std::strcpy(buf, resolved);
    std::free(resolved);
    return fits;
}
}  // namespace

bool std_get_module_directory(uint_size size, char* buf) {
    char exe[kPathSize];
    if (size == 0 || !buf || !Quor::Platform::GetExecutablePath(exe, sizeof exe)) return false;
    char folder[kPathSize];
    if (!std_splitpath(exe, nullptr, 0, folder, sizeof folder, nullptr, 0, nullptr, 0)) return false;
    if (Quor::Platform::StrLCat(folder, "/", sizeof folder) >= sizeof folder) return false;
    if (std::strstr(folder, "Contents/MacOS") &&
        Quor::Platform::StrLCat(folder, "../../../", sizeof folder) >= sizeof folder)
        return false;
    if (Canonical(folder, buf, size)) return true;
    // The folder could not be resolved (it was removed meanwhile): give it as found.
    return Quor::Platform::StrLCopy(buf, folder, size) < size;
}

bool std_get_module_filename(uint_size size, char* buf) {
    char exe[kPathSize];
    if (size == 0 || !buf || !Quor::Platform::GetExecutablePath(exe, sizeof exe)) return false;
    char fname[kPathSize];
    char ext[kPathSize];
    if (!std_splitpath(exe, nullptr, 0, nullptr, 0, fname, sizeof fname, ext, sizeof ext)) return false;
    std_makepath(buf, size, nullptr, nullptr, fname, ext);
    return true;
}

bool std_get_module_fullpath(uint_size size, char* buf) {
    if (size == 0 || !buf) return false;
    buf[0] = '\0';
    char exe[kPathSize];
    if (!Quor::Platform::GetExecutablePath(exe, sizeof exe)) return false;
    return Canonical(exe, buf, size);
}

}  // namespace Vorn
