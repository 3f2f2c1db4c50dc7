#include "text.h"

#include <cstring>
#include <vector>

namespace jet::detail {

namespace {

// Windows-1252 characters 0x80..0x9F (0 where the code page has none).
const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void appendUcs2(std::string& out, const uint8_t* data, size_t size)
{
    size_t count = size / 2;
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = uint32_t(data[2 * i]) | uint32_t(data[2 * i + 1]) << 8;
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count) {
            uint32_t low = uint32_t(data[2 * i + 2]) | uint32_t(data[2 * i + 3]) << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD; // lone surrogate
        appendUtf8(out, c);
    }
}

namespace {

inline char* putUtf8(char* out, uint32_t c)
{
    if (c < 0x80) {
        *out++ = char(c);
    } else if (c < 0x800) {
        *out++ = char(0xC0 | (c >> 6));
        *out++ = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = char(0xE0 | (c >> 12));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    } else {
        *out++ = char(0xF0 | (c >> 18));
        *out++ = char(0x80 | ((c >> 12) & 0x3F));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    }
    return out;
}

// UCS-2 units [data, data + 2 * count) to UTF-8 at out; returns the new end.
char* putUcs2(char* out, const uint8_t* data, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = uint32_t(data[2 * i]) | uint32_t(data[2 * i + 1]) << 8;
        if (c >= 0xD800 && c < 0xE000) {
            uint32_t low = i + 1 < count ? (uint32_t(data[2 * i + 2]) | uint32_t(data[2 * i + 3]) << 8) : 0;
            if (c < 0xDC00 && low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD; // lone surrogate
            }
        }
        out = putUtf8(out, c);
    }
    return out;
}

} // namespace

namespace {

// True when no byte is zero or above 0x7F: compressed text that is plain
// ASCII throughout, the same bytes in UTF-8.
bool plainAscii(const uint8_t* data, size_t size)
{
    const uint64_t high = 0x8080808080808080ULL;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t v;
        std::memcpy(&v, data + i, 8);
        if ((v & high) || ((v - 0x0101010101010101ULL) & ~v & high))
            return false;
    }
    for (; i < size; ++i)
        if (data[i] == 0 || data[i] >= 0x80)
            return false;
    return true;
}

} // namespace

std::string decodeUnicodeText(const uint8_t* data, size_t size)
{
    // The common case first: no switch to UCS-2 and nothing to encode.
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE && plainAscii(data + 2, size - 2))
        return std::string(reinterpret_cast<const char*>(data + 2), size - 2);
    // Decoded into a scratch buffer first (at most 3 UTF-8 bytes per input
    // byte), so that the result is allocated once at its exact size.
    thread_local std::vector<char> scratch;
    if (scratch.size() < size * 3 + 8)
        scratch.resize(size * 3 + 8);
    char* const begin = scratch.data();
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        // Compressed: one byte per character (high byte zero); a zero byte
        // switches between that and plain UCS-2.
        char* w = begin;
        bool compressed = true;
        size_t i = 2;
        while (i < size) {
            if (compressed) {
                while (i < size && data[i] != 0) {
                    // Eight plain ASCII bytes at a time (no zero, no high bit).
                    while (i + 8 <= size) {
                        uint64_t v;
                        std::memcpy(&v, data + i, 8);
                        const uint64_t high = 0x8080808080808080ULL;
                        if ((v & high) || ((v - 0x0101010101010101ULL) & ~v & high))
                            break;
                        std::memcpy(w, &v, 8);
                        w += 8;
                        i += 8;
                    }
                    if (i >= size || data[i] == 0)
                        break;
                    uint8_t b = data[i++];
                    if (b < 0x80) {
                        *w++ = char(b);
                    } else {
                        *w++ = char(0xC0 | (b >> 6));
                        *w++ = char(0x80 | (b & 0x3F));
                    }
                }
            } else {
                size_t start = i;
                while (i < size && data[i] != 0)
                    ++i;
                w = putUcs2(w, data + start, (i - start) / 2);
            }
            if (i < size) { // the zero byte: switch mode
                ++i;
                compressed = !compressed;
            }
        }
        return std::string(begin, size_t(w - begin));
    }
    char* w = putUcs2(begin, data, size / 2);
    return std::string(begin, size_t(w - begin));
}

std::string decodeCodePageText(const uint8_t* data, size_t size, uint16_t /*codePage*/)
{
    std::string out;
    out.reserve(size + 8);
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = data[i];
        if (b < 0x80)
            out += char(b);
        else if (b < 0xA0)
            appendUtf8(out, kCp1252High[b - 0x80]);
        else
            appendUtf8(out, b);
    }
    return out;
}

uint32_t nextCodePoint(const std::string& text, size_t& i)
{
    auto byte = [&](size_t k) { return uint8_t(text[k]); };
    uint8_t b = byte(i);
    if (b < 0x80) {
        ++i;
        return b;
    }
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + size_t(extra) >= text.size()) {
        ++i;
        return b;
    }
    uint32_t c = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        uint8_t cont = byte(i + size_t(k));
        if ((cont & 0xC0) != 0x80) {
            ++i;
            return b;
        }
        c = c << 6 | (cont & 0x3F);
    }
    i += size_t(extra) + 1;
    return c;
}

uint32_t foldCase(uint32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? c + 1 : c;
        if (c == 0x178)
            return 0xFF;
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return (c & 1) ? c : c + 1;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    return c;
}

int compareIgnoringCase(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        uint8_t x = uint8_t(a[i]), y = uint8_t(b[j]);
        if (x < 0x80 && y < 0x80) {
            uint32_t fx = foldCase(x), fy = foldCase(y);
            if (fx != fy)
                return fx < fy ? -1 : 1;
            ++i;
            ++j;
            continue;
        }
        uint32_t cx = foldCase(nextCodePoint(a, i));
        uint32_t cy = foldCase(nextCodePoint(b, j));
        if (cx != cy)
            return cx < cy ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

} // namespace jet::detail
