#include "foundation/Unicode.h"

#include <climits>
#include <cstdint>

#include "foundation/CStd/CStd.h"

namespace Vorn::Unicode {
namespace {

// Where converted units go: counted only, or stored with the last element overwritten once full.
template <typename Unit>
class Output {
public:
    Output(Unit* dest, int destLength) : dest_(destLength >= 1 ? dest : nullptr), capacity_(destLength) {}

    void Put(uint32_t unit) {
        if (dest_ == nullptr) {
            ++count_;
        } else if (count_ < capacity_) {
            dest_[count_++] = static_cast<Unit>(unit);
        } else {
            dest_[capacity_ - 1] = static_cast<Unit>(unit);
        }
    }
    int Result() const { return count_ > INT_MAX ? 0 : static_cast<int>(count_); }

private:
    Unit* dest_;
    int64_t capacity_;
    int64_t count_ = 0;
};

// The number of elements to convert, or 0 when there is nothing to convert.
template <typename Char, typename Measure>
size_t SourceLength(const Char* src, int srcLength, Measure measure) {
    if (src == nullptr) return 0;
    if (srcLength == -1) {
        const size_t length = measure(src);  // a 32-bit count, never more than the text
        return length < static_cast<size_t>(INT_MAX) ? length + 1 : 0;
    }
    return srcLength < 1 ? 0 : static_cast<size_t>(srcLength);
}

void PutUtf8(Output<char>& out, uint32_t cp) {
    if (cp < 0x80) {
        out.Put(cp);
    } else if (cp < 0x800) {
        out.Put(0xC0 | (cp >> 6));
        out.Put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out.Put(0xE0 | (cp >> 12));
        out.Put(0x80 | ((cp >> 6) & 0x3F));
        out.Put(0x80 | (cp & 0x3F));
    } else {
        out.Put(0xF0 | (cp >> 18));
        out.Put(0x80 | ((cp >> 12) & 0x3F));
        out.Put(0x80 | ((cp >> 6) & 0x3F));
        out.Put(0x80 | (cp & 0x3F));
    }
}

}  // namespace

int UTF8ToUTF16(const char* src, int srcLength, wchar_t* dest, int destLength) {
    const size_t length = SourceLength(src, srcLength, [](const char* s) { return std_strlen(s); });
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    Output<wchar_t> out(dest, destLength);
    size_t pos = 0;
    while (pos < length) {
        const uint32_t lead = bytes[pos];
        size_t follow = 0;
        uint32_t cp = lead;
        if ((lead & 0xE0) == 0xC0) {
            follow = 1;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            follow = 2;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            follow = 3;
            cp = lead & 0x07;
        }
        // Bytes below 0x80, stray continuation bytes and 0xF8..0xFF are one unit each.
        if (follow == 0) {
            out.Put(lead);
            ++pos;
            continue;
        }
        size_t k = 1;
        for (; k <= follow && pos + k < length && bytes[pos + k] != 0; ++k)
            cp = (cp << 6) | (bytes[pos + k] & 0x3F);
        if (k <= follow) {
            if (pos + k >= length) break;  // cut by the end of the range: stop
            pos += k;  // cut by a zero byte: the sequence yields nothing, the zero converts next
            continue;
        }
        pos += 1 + follow;
        if (cp >= 0x10000) {
            out.Put(0xD7C0 + (cp >> 10));
            out.Put(0xDC00 | (cp & 0x3FF));
        } else {
            out.Put(cp);
        }
    }
    return out.Result();
}

int UTF16ToUTF8(const wchar_t* src, int srcLength, char* dest, int destLength) {
    const size_t length = SourceLength(src, srcLength, [](const wchar_t* s) { return std_wcslen(s); });
    Output<char> out(dest, destLength);
    size_t pos = 0;
    while (pos < length) {
        uint32_t cp = static_cast<uint32_t>(src[pos]) & 0xFFFF;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (pos + 1 >= length) break;  // cut by the end of the range: stop
            const uint32_t low = static_cast<uint32_t>(src[pos + 1]) & 0xFFFF;
            if (low == 0) {  // cut by a zero unit: the surrogate yields nothing, the zero converts next
                ++pos;
                continue;
            }
            cp = (cp - 0xD800) * 0x400 + low - 0xDC00 + 0x10000;
            ++pos;
        }
        ++pos;
        PutUtf8(out, cp);
    }
    return out.Result();
}

int LocalCodePageToUTF16(const char* src, int srcLength, wchar_t* dest, int destLength) {
    return UTF8ToUTF16(src, srcLength, dest, destLength);
}

int UTF16ToLocalCodePage(const wchar_t* src, int srcLength, char* dest, int destLength, const char*, int*) {
    return UTF16ToUTF8(src, srcLength, dest, destLength);
}

}  // namespace Vorn::Unicode
