// Edge cases of the string, number and path functions, as one table: each case computes a text
// (results joined with '|') and names the text it must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <functional>
#include <cstring>
#include <string>

#include "foundation/CStd/CStd.h"

namespace {

using namespace Vorn;

// A buffer filled with 'X', so that a write where none is allowed shows.
struct Buf {
    char b[64];
    Buf() { std::fill(std::begin(b), std::end(b), 'X'); }
    explicit Buf(const char* text) : Buf() { std::strcpy(b, text); }
    std::string str() const { return b[0] == 'X' ? "<untouched>" : std::string(b); }
};

std::string Str(const char* s) { return s ? std::string(s) : "<null>"; }
std::string Num(long long v) { return std::to_string(v); }

int VsprintfOf(char* dest, uint_size size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = std_vsprintf(dest, size, fmt, args);
    va_end(args);
    return n;
}

int VscprintfOf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = std_vscprintf(fmt, args);
    va_end(args);
    return n;
}

std::string Copy(uint_size num, const char* src, uint_size count) {
    Buf d;
    std_strncpy(d.b, num, src, count);
    return d.str();
}

std::string Append(const char* start, uint_size num, const char* src, uint_size count) {
    Buf d(start);
    std_strncat(d.b, num, src, count);
    return d.str();
}

std::string CopyUtf8(uint_size num, const char* src) {
    Buf d;
    std_strncpy_utf8(d.b, num, src, TRUNCATE);
    return d.str();
}

std::string Split(const char* path, uint_size dirSize = 64, uint_size fnameSize = 64, uint_size extSize = 64) {
    Buf drive, dir, fname, ext;
    bool ok = std_splitpath(path, drive.b, 64, dir.b, dirSize, fname.b, fnameSize, ext.b, extSize);
    return (ok ? "true" : "false") + std::string("|") + dir.str() + "|" + fname.str() + "|" + ext.str();
}

std::string Make(uint_size size, const char* dir, const char* fname, const char* ext) {
    Buf p;
    std_makepath(p.b, size, nullptr, dir, fname, ext);
    return p.str();
}

std::string Parent(const char* path) {
    Buf p;
    bool ok = std_parentpath(path, p.b, 64);
    return (ok ? "true|" : "false|") + p.str();
}

std::string Itoa(int value, int radix) {
    Buf d;
    return Str(std_itoa(value, d.b, radix));
}

std::string UtoaSized(uint32_t value, uint_size size, int radix) {
    Buf d;
    int r = std_utoa(value, d.b, size, radix);
    return Num(r) + "|" + d.str();
}

std::string Match(const char* name, const char* spec) { return std_path_match_spec(name, spec) ? "true" : "false"; }

std::string LastOf(const char* s, const char* sub) {
    const char* p = std_strrstr(s, sub);
    return p ? Num(p - s) : "<null>";
}

struct Case {
    const char* what;
    std::function<std::string()> run;
    std::string expected;
};

TEST(CStdEdgeCases, Table) {
    const char* letters = "abcdef";
    const Case cases[] = {
        // Bounded copy: the count rule.
        {"strncpy TRUNCATE cuts to fit", [&] { return Copy(4, letters, TRUNCATE); }, "abc"},
        {"strncpy count that does not fit empties", [&] { return Copy(4, letters, 6); }, ""},
        {"strncpy count below num copies count", [&] { return Copy(4, letters, 3); }, "abc"},
        {"strncpy num 0 writes nothing", [&] { return Copy(0, letters, TRUNCATE); }, "<untouched>"},
        {"strncpy fits", [&] { return Copy(7, letters, 6); }, "abcdef"},
        // Bounded append.
        {"strncat full destination writes nothing", [] { return Append("abcd", 4, "ef", TRUNCATE); }, "abcd"},
        {"strncat fits", [] { return Append("ab", 8, "cd", TRUNCATE); }, "abcd"},
        {"strncat TRUNCATE cuts to fit", [] { return Append("ab", 5, "cdef", TRUNCATE); }, "abcd"},
        {"strncat count that does not fit keeps dest", [] { return Append("ab", 5, "cdef", 4); }, "ab"},
        {"strncat count limits the source", [] { return Append("ab", 8, "cdef", 2); }, "abcd"},
        // Sized copy and append without a count: cut to fit.
        {"strcpy sized cuts", [] { Buf d; std_strcpy(d.b, 4, "abcdef"); return d.str(); }, "abc"},
        {"strcpy size 0 writes nothing", [] { Buf d; std_strcpy(d.b, 0, "abc"); return d.str(); }, "<untouched>"},
        {"strcat sized cuts", [] { Buf d("ab"); std_strcat(d.b, 5, "cdef"); return d.str(); }, "abcd"},
        {"strcat sized onto an unterminated text writes nothing", [] { Buf d; std_strcat(d.b, 4, "e"); return d.str(); },
         "<untouched>"},
        // UTF-8 cut: never inside a sequence.
        {"utf8 cut before a two-byte sequence", [] { return CopyUtf8(3, "a\xC3\xA9xyz"); }, "a"},
        {"utf8 text that fits is whole", [] { return CopyUtf8(8, "a\xC3\xA9xyz"); }, "a\xC3\xA9xyz"},
        {"utf8 three-byte sequence does not fit", [] { return CopyUtf8(3, "\xE2\x82\xAC"); }, ""},
        {"utf8 three-byte sequence just fits", [] { return CopyUtf8(4, "\xE2\x82\xAC!"); }, "\xE2\x82\xAC"},
        {"utf8 cut at an ASCII byte", [] { return CopyUtf8(3, "ab\xC3\xA9"); }, "ab"},
        {"utf8 num 1", [] { return CopyUtf8(1, "abc"); }, ""},
        // Formatting.
        {"snprintf cut gives -1 and a terminated prefix",
         [] { Buf d; int n = std_snprintf(d.b, 4, "%s", "abcdef"); return Num(n) + "|" + d.str(); }, "-1|abc"},
        {"snprintf gives the length", [] { Buf d; int n = std_snprintf(d.b, 8, "%d-%s", 42, "ab"); return Num(n) + "|" + d.str(); },
         "5|42-ab"},
        {"snprintf exact fit is a cut", [] { Buf d; int n = std_snprintf(d.b, 3, "abc"); return Num(n) + "|" + d.str(); }, "-1|ab"},
        {"vsprintf gives the full length when cut",
         [] { Buf d; int n = VsprintfOf(d.b, 4, "%s", "abcdef"); return Num(n) + "|" + d.str(); }, "6|abc"},
        {"vscprintf measures", [] { return Num(VscprintfOf("%s=%d", "key", 1234)); }, "8"},
        // Integer to text.
        {"itoa INT_MIN radix 10", [] { return Itoa(INT_MIN, 10); }, "-2147483648"},
        {"itoa INT_MIN radix 2", [] { return Itoa(INT_MIN, 2); }, "-1" + std::string(31, '0')},
        {"itoa -1 radix 16 has a sign", [] { return Itoa(-1, 16); }, "-1"},
        {"itoa radix 36", [] { return Itoa(71, 36); }, "1z"},
        {"itoa zero", [] { return Itoa(0, 10); }, "0"},
        {"itoa radix 1", [] { return Itoa(5, 1); }, ""},
        {"itoa radix 37", [] { return Itoa(5, 37); }, ""},
        {"utoa radix 2 widest", [] { Buf d; return Str(std_utoa(0xFFFFFFFFu, d.b, 2)); }, std::string(32, '1')},
        {"utoa sized fits", [] { return UtoaSized(255, 4, 10); }, "0|255"},
        {"utoa sized does not fit", [] { return UtoaSized(255, 3, 10); }, "-1|"},
        {"utoa sized size 0 writes nothing", [] { return UtoaSized(255, 0, 10); }, "-1|<untouched>"},
        {"utoa sized bad radix", [] { return UtoaSized(255, 10, 40); }, "-1|"},
        {"ltoa radix 16", [] { Buf d; return Str(std_ltoa(-1, d.b, 16)); }, "ffffffffffffffff"},
        {"ltoa radix 10", [] { Buf d; return Str(std_ltoa(-1234567890123LL, d.b, 10)); }, "-1234567890123"},
        {"ltoa other radix untouched", [] { Buf d; std_ltoa(5, d.b, 8); return d.str(); }, "<untouched>"},
        {"atol parses", [] { return Num(std_atol("  -123abc")); }, "-123"},
        {"atol saturates at 32 bits", [] { return Num(std_atol("99999999999")); }, "2147483647"},
        // Split, join, parent.
        {"splitpath full", [] { return Split("/a/b/c.txt"); }, "true|/a/b|c|.txt"},
        {"splitpath bare name", [] { return Split("c"); }, "true|.|c|"},
        {"splitpath root", [] { return Split("/"); }, "true|/||"},
        {"splitpath dot in folder only", [] { return Split("/a.b/c"); }, "true|/a.b|c|"},
        {"splitpath backslash", [] { return Split("a\\b.txt"); }, "true|a|b|.txt"},
        {"splitpath file at root", [] { return Split("/c.txt"); }, "true|/|c|.txt"},
        {"splitpath name that does not fit", [] { return Split("/a/longname.txt", 64, 4); }, "false|/a||.txt"},
        {"splitpath folder that does not fit", [] { return Split("/abc/d", 4); }, "false|.|d|"},
        {"splitpath empty", [] { return Split(""); }, "false|<untouched>|<untouched>|<untouched>"},
        {"splitpath null", [] { return Split(nullptr); }, "false|<untouched>|<untouched>|<untouched>"},
        {"makepath no doubled separator", [] { return Make(64, "/a/", "b", "txt"); }, "/a/b.txt"},
        {"makepath adds separator and dot", [] { return Make(64, "/a", "b", "txt"); }, "/a/b.txt"},
        {"makepath keeps a leading dot", [] { return Make(64, "/a", "b", ".txt"); }, "/a/b.txt"},
        {"makepath cuts to fit", [] { return Make(6, "/a", "b", "txt"); }, "/a/b."},
        {"makepath size 0 writes nothing", [] { return Make(0, "/a", "b", "txt"); }, "<untouched>"},
        {"makepath nothing", [] { return Make(64, nullptr, "", nullptr); }, ""},
        {"parentpath of a file", [] { return Parent("/a/b/c"); }, "true|/a/b/"},
        {"parentpath of a folder", [] { return Parent("/a/b/c/"); }, "true|/a/b/"},
        {"parentpath of a dot-file", [] { return Parent("/a/b/.profile"); }, "true|/a/b/"},
        {"parentpath of a bare name", [] { return Parent("c"); }, "true|./"},
        {"parentpath of root", [] { return Parent("/"); }, "true|/"},
        {"parentpath of nothing", [] { return Parent(""); }, "false|<untouched>"},
        // Wildcards.
        {"spec *.* matches a dotless name", [] { return Match("abc", "*.*"); }, "true"},
        {"spec *.txt takes the first dot", [] { return Match("a.b.txt", "*.txt"); }, "false"},
        {"spec *.txt", [] { return Match("a.txt", "*.txt"); }, "true"},
        {"spec without case", [] { return Match("ABC.TXT", "abc.txt"); }, "true"},
        {"spec ? needs a character", [] { return Match("ab", "a?c"); }, "false"},
        {"spec ?", [] { return Match("abc", "a?c"); }, "true"},
        {"spec * matches empty", [] { return Match("", "*"); }, "true"},
        {"spec does not backtrack", [] { return Match("abcabc", "*bc"); }, "false"},
        {"spec literal must reach the end", [] { return Match("abcd", "abc"); }, "false"},
        {"spec null", [] { return Match(nullptr, "*"); }, "false"},
        // Searches and comparisons.
        {"strrstr last occurrence", [] { return LastOf("abcabc", "bc"); }, "4"},
        {"strrstr empty sub is the terminator", [] { return LastOf("abc", ""); }, "3"},
        {"strrstr sub longer", [] { return LastOf("ab", "abc"); }, "<null>"},
        {"strrstr null", [] { return LastOf(nullptr, "a"); }, "<null>"},
        {"stricmp two nulls", [] { return Num(std_stricmp(nullptr, nullptr)); }, "0"},
        {"stricmp null and text", [] { return Num(std_stricmp(nullptr, "a")); }, "1"},
        {"stricmp text and null", [] { return Num(std_stricmp("a", nullptr)); }, "1"},
        {"stricmp case", [] { return Num(std_stricmp("ABC", "abc")); }, "0"},
        {"strnicmp null and text", [] { return Num(std_strnicmp(nullptr, "a", 1)); }, "1"},
        {"strnicmp prefix", [] { return Num(std_strnicmp("ABx", "abY", 2)); }, "0"},
        {"strlwr walks past the terminator",
         [] { char s[] = {'A', 'b', 'C', '\0', 'D', 'E'}; int r = std_strlwr(s, 5); return Num(r) + "|" + std::string(s, 6); },
         std::string("0|abc\0dE", 8)},
        {"strupr null", [] { return Num(std_strupr(nullptr, 4)); }, "1"},
        {"strreplace", [] { Buf d("a\\b\\c"); return Str(std_strreplace(d.b, '\\', '/')); }, "a/b/c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.run(), c.expected) << c.what;
    }
}

}  // namespace
