#include "format/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

constexpr uint64_t kHighBits = 0x8080808080808080ULL;
constexpr uint64_t kLowBits = 0x0101010101010101ULL;

inline uint64_t load8(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Non-zero when one of the eight bytes of v is zero.
inline uint64_t zeroByteIn(uint64_t v) { return (v - kLowBits) & ~v & kHighBits; }

// Bytes of v at 0x80 or above.
inline size_t highBytesIn(uint64_t v) { return size_t((((v & kHighBits) >> 7) * kLowBits) >> 56); }

// Compressed text with no switch to UCS-2 (no zero byte): one character per
// byte, each below U+0100. `p` holds `n` bytes and is preceded by the two
// bytes of the FF FE mark. Returns false when a zero byte is there;
// otherwise sets `extra` to the bytes of UTF-8 the text needs beyond one per
// character (one per byte at 0x80 or above).
inline bool singleByteRun(const uint8_t* p, size_t n, size_t& extra)
{
    uint64_t zero = 0;
    size_t high = 0, i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t v = load8(p + i);
        zero |= zeroByteIn(v);
        high += highBytesIn(v);
    }
    if (i < n) {
        if (n + 2 >= 8) {
            // The last eight bytes (the mark included when the text is
            // short), keeping those not counted yet.
            const uint64_t v = load8(p + n - 8);
            const uint64_t keep = ~0ULL << (8 * (8 - (n - i)));
            zero |= zeroByteIn(v) & keep;
            high += highBytesIn(v & keep);
        } else {
            for (; i < n; ++i) {
                zero |= p[i] == 0;
                high += p[i] >> 7;
            }
        }
    }
    extra = high;
    return zero == 0;
}

// UTF-8 of each Latin-1 byte, first byte in the low half: one byte below
// 0x80, two from there on.
struct Latin1Table {
    uint16_t utf8[256];
    constexpr Latin1Table() : utf8()
    {
        for (int b = 0; b < 256; ++b)
            utf8[b] = b < 0x80 ? uint16_t(b) : uint16_t((0xC0 | (b >> 6)) | (0x80 | (b & 0x3F)) << 8);
    }
};
constexpr Latin1Table kLatin1;

// Latin-1 bytes (none zero) to UTF-8 at w, which has room for one byte more
// than the UTF-8 takes; returns the new end.
inline char* putLatin1(char* w, const uint8_t* p, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t v = load8(p + i);
        if ((v & kHighBits) == 0) {
            std::memcpy(w, &v, 8);
            w += 8;
            continue;
        }
        for (size_t k = 0; k < 8; ++k) {
            const uint8_t b = p[i + k];
            std::memcpy(w, &kLatin1.utf8[b], 2);
            w += 1 + (b >> 7);
        }
    }
    for (; i < n; ++i) {
        const uint8_t b = p[i];
        std::memcpy(w, &kLatin1.utf8[b], 2);
        w += 1 + (b >> 7);
    }
    return w;
}

// Compressed text that switches to UCS-2 and back (a zero byte toggles),
// or plain UCS-2: decoded into a scratch buffer (at most 3 UTF-8 bytes per
// input byte), then copied at its exact size.
std::string decodeMixedText(const uint8_t* data, size_t size, bool compressedStart)
{
    thread_local std::vector<char> scratch;
    if (scratch.size() < size * 3 + 8)
        scratch.resize(size * 3 + 8);
    char* const begin = scratch.data();
    char* w = begin;
    if (!compressedStart) {
        w = putUcs2(begin, data, size / 2);
        return std::string(begin, size_t(w - begin));
    }
    bool compressed = true;
    size_t i = 2;
    while (i < size) {
        const size_t start = i;
        while (i < size && data[i] != 0)
            ++i;
        if (compressed)
            w = putLatin1(w, data + start, i - start);
        else
            w = putUcs2(w, data + start, (i - start) / 2);
        if (i < size) { // the zero byte: switch mode
            ++i;
            compressed = !compressed;
        }
    }
    return std::string(begin, size_t(w - begin));
}

// The low `count` bytes of a word (count 0..8).
constexpr uint64_t kLowBytes[9] = {0,
                                   0xFFULL,
                                   0xFFFFULL,
                                   0xFFFFFFULL,
                                   0xFFFFFFFFULL,
                                   0xFFFFFFFFFFULL,
                                   0xFFFFFFFFFFFFULL,
                                   0xFFFFFFFFFFFFFFULL,
                                   ~0ULL};

// How many of the bytes [8 * word, n) fall in word `word` (0..8).
inline size_t bytesInWord(size_t n, size_t word)
{
    const size_t from = 8 * word;
    const size_t left = n > from ? n - from : 0;
    return left < 8 ? left : 8;
}

} // namespace

std::string decodeUnicodeText(const uint8_t* data, size_t size)
{
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        // Compressed. The common case: a single run of one-byte characters,
        // written straight into a string of the exact size.
        const uint8_t* p = data + 2;
        const size_t n = size - 2;
        size_t extra = 0;
        if (singleByteRun(p, n, extra)) {
            if (extra == 0)
                return std::string(reinterpret_cast<const char*>(p), n);
            std::string out(n + extra + 1, '\0'); // + 1: putLatin1's room
            putLatin1(out.data(), p, n);
            out.pop_back();
            return out;
        }
        return decodeMixedText(data, size, true);
    }
    return decodeMixedText(data, size, false);
}

#if defined(__SSE2__)
std::string decodeUnicodeText(const uint8_t* data, size_t size, const uint8_t* readableBegin,
                              const uint8_t* readableEnd)
{
    // Compressed text of up to 32 characters with 32 bytes that may be read
    // from its start or up to its end: read as two 16-byte blocks, the bytes
    // outside the text masked off, so that the work hardly depends on the
    // text.
    constexpr size_t kShort = 32;
    if (size < 2 || size - 2 > kShort || data[0] != 0xFF || data[1] != 0xFE)
        return decodeUnicodeText(data, size);
    const uint8_t* p = data + 2;
    const size_t n = size - 2;
    size_t base = 0; // where the text starts in the blocks
    if (size_t(readableEnd - p) < kShort) {
        if (size_t(p - readableBegin) + n < kShort)
            return decodeUnicodeText(data, size);
        base = kShort - n;
    }
    const uint8_t* q = p - base;
    const __m128i none = _mm_setzero_si128();
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16));
    const uint32_t keep = uint32_t(((uint64_t(1) << n) - 1) << base);
    const uint32_t zeros = (uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(a, none))) |
                            uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(b, none))) << 16) &
                           keep;
    uint32_t highs = (uint32_t(_mm_movemask_epi8(a)) | uint32_t(_mm_movemask_epi8(b)) << 16) & keep;
    if (zeros != 0)
        return decodeMixedText(data, size, true);
    if (highs == 0)
        return std::string(reinterpret_cast<const char*>(p), n);
    highs >>= base;
    // Characters from U+0080 on take two bytes: the plain runs between
    // them are copied 16 bytes at a time (from a padded copy of the text,
    // into a buffer with room to spare), then the string made at its size.
    alignas(16) uint8_t blocks[2 * kShort + 32];
    _mm_store_si128(reinterpret_cast<__m128i*>(blocks), a);
    _mm_store_si128(reinterpret_cast<__m128i*>(blocks + 16), b);
    for (size_t pad = kShort; pad < sizeof blocks; pad += 16)
        _mm_store_si128(reinterpret_cast<__m128i*>(blocks + pad), none);
    const uint8_t* source = blocks + base;
    char buffer[2 * kShort + 32];
    char* w = buffer;
    size_t from = 0;
    while (highs != 0) {
        const size_t at = size_t(__builtin_ctz(highs));
        highs &= highs - 1;
        const __m128i run = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + from));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w), run);
        if (at - from > 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w + 16),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + from + 16)));
        w += at - from;
        std::memcpy(w, &kLatin1.utf8[source[at]], 2);
        w += 2;
        from = at + 1;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w), _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + from)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w + 16),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + from + 16)));
    w += n - from;
    return std::string(buffer, size_t(w - buffer));
}
#else
// Without SSE2 (not an x86-64 build): the plain decoding.
std::string decodeUnicodeText(const uint8_t* data, size_t size, const uint8_t*, const uint8_t*)
{
    return decodeUnicodeText(data, size);
}
#endif

namespace {

// The Windows ANSI pages a Jet3 file can be written in. Any other number (a
// locale id, say) is not taken for a page: the C library would read some of
// them as EBCDIC or DOS pages.
bool isWindowsCodePage(uint16_t codePage)
{
    switch (codePage) {
    case 874: case 932: case 936: case 949: case 950:
        return true;
    default:
        return codePage >= 1250 && codePage <= 1258;
    }
}

// Text in a code page other than 1252, through the C library's converters
// ("CP1251", "CP932", ...). False when the page is unknown to them or the
// bytes are not valid in it.
// The system's converter of a Windows code page: iconv, or Windows itself.
#ifdef _WIN32
bool decodeWithSystem(const uint8_t* data, size_t size, uint16_t codePage, std::string& out)
{
    const char* in = reinterpret_cast<const char*>(data);
    const int wide = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in, int(size), nullptr, 0);
    if (wide <= 0)
        return false;
    std::wstring utf16(size_t(wide), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in, int(size), utf16.data(), wide);
    // Windows maps the bytes a page leaves undefined to the C1 controls
    // where iconv refuses them: read those as 1252 on both.
    for (wchar_t c : utf16)
        if (c >= 0x80 && c <= 0x9F)
            return false;
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    out.assign(size_t(n > 0 ? n : 0), '\0');
    return n > 0 && WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, out.data(), n, nullptr, nullptr) == n;
}
#else
bool decodeWithSystem(const uint8_t* data, size_t size, uint16_t codePage, std::string& out)
{
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = ::iconv_open("UTF-8", name.c_str());
    if (cd == iconv_t(-1))
        return false;
    std::string result(size * 4 + 8, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
    size_t inLeft = size;
    char* to = result.data();
    size_t outLeft = result.size();
    size_t done = ::iconv(cd, &in, &inLeft, &to, &outLeft);
    ::iconv_close(cd);
    if (done == size_t(-1) || inLeft != 0)
        return false;
    result.resize(result.size() - outLeft);
    out = std::move(result);
    return true;
}
#endif

} // namespace

namespace {

// The byte of a character in Windows-1252 as decodeCodePageText reads it
// (the five bytes the page leaves undefined stand for themselves), or -1.
int cp1252Byte(uint32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return int(c);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c)
            return 0x80 + i;
    return -1;
}

#ifdef _WIN32
bool encodeWithSystem(const std::u16string& utf16, uint16_t codePage, std::vector<uint8_t>& out)
{
    const wchar_t* in = reinterpret_cast<const wchar_t*>(utf16.data());
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, in, int(utf16.size()), nullptr, 0, nullptr,
                                      &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    out.resize(size_t(n));
    return WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, in, int(utf16.size()),
                               reinterpret_cast<char*>(out.data()), n, nullptr, &usedDefault) == n &&
           !usedDefault;
}
#else
bool encodeWithSystem(std::string_view utf8, uint16_t codePage, std::vector<uint8_t>& out)
{
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = ::iconv_open(name.c_str(), "UTF-8");
    if (cd == iconv_t(-1))
        return false;
    out.assign(utf8.size() * 2 + 8, 0);
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* to = reinterpret_cast<char*>(out.data());
    size_t outLeft = out.size();
    const size_t done = ::iconv(cd, &in, &inLeft, &to, &outLeft);
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return done != size_t(-1) && inLeft == 0;
}
#endif

} // namespace

bool encodeCodePageText(std::string_view utf8, uint16_t codePage, std::vector<uint8_t>& out, std::string& missing)
{
    out.clear();
    missing.clear();
    const bool system = isWindowsCodePage(codePage) && codePage != 1252;
    for (size_t i = 0; i < utf8.size();) {
        const size_t at = i;
        bool wellFormed = true;
        const uint32_t c = nextCodePoint(utf8, i, &wellFormed);
        const int b = system ? (c < 0x80 ? int(c) : -2) : cp1252Byte(c);
        if (wellFormed && b >= 0) {
            out.push_back(uint8_t(b));
            continue;
        }
        if (wellFormed && b == -2) {
            // One character through the system's converter: refused when
            // it has no byte for it.
            std::vector<uint8_t> bytes;
#ifdef _WIN32
            std::u16string unit;
            bool ok = utf16Of(utf8.substr(at, i - at), unit) && encodeWithSystem(unit, codePage, bytes);
#else
            bool ok = encodeWithSystem(utf8.substr(at, i - at), codePage, bytes);
#endif
            if (ok && !bytes.empty()) {
                out.insert(out.end(), bytes.begin(), bytes.end());
                continue;
            }
        }
        missing.assign(utf8.substr(at, i - at));
        return false;
    }
    return true;
}

std::string decodeCodePageText(const uint8_t* data, size_t size, uint16_t codePage)
{
    // Plain ASCII is the same bytes in UTF-8.
    uint64_t high = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8)
        high |= load8(data + i) & kHighBits;
    for (; i < size; ++i)
        high |= data[i] & 0x80;
    if (high == 0)
        return std::string(reinterpret_cast<const char*>(data), size);
    std::string out;
    if (isWindowsCodePage(codePage) && codePage != 1252 && decodeWithSystem(data, size, codePage, out))
        return out;
    out.reserve(size + size / 4 + 8);
    for (i = 0; i < size; ++i) {
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

uint32_t nextCodePoint(std::string_view text, size_t& i, bool* wellFormed)
{
    const uint8_t b = uint8_t(text[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    const int extra = b >= 0xF8 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    auto asItself = [&] {
        if (wellFormed)
            *wellFormed = false;
        ++i;
        return uint32_t(b);
    };
    if (extra == 0 || i + size_t(extra) >= text.size())
        return asItself();
    uint32_t c = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const uint8_t cont = uint8_t(text[i + size_t(k)]);
        if ((cont & 0xC0) != 0x80)
            return asItself();
        c = c << 6 | (cont & 0x3F);
    }
    static const uint32_t kShortest[4] = {0, 0x80, 0x800, 0x10000};
    if (wellFormed && (c < kShortest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
        *wellFormed = false;
    i += size_t(extra) + 1;
    return c;
}

bool utf16Of(std::string_view utf8, std::u16string& out)
{
    out.clear();
    out.reserve(utf8.size());
    bool wellFormed = true;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = nextCodePoint(utf8, i, &wellFormed);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return wellFormed;
}

std::vector<uint8_t> encodeUnicodeText(std::string_view utf8, bool allowCompression, size_t* units)
{
    // Two passes over the UTF-8 (count the units and see whether each fits
    // one byte, then write them) instead of a UTF-16 copy of the text: rows
    // are written a thousand at a time and most of their text is ASCII.
    constexpr size_t kMaxCompressedUnits = 1024;
    auto next = [&](size_t& i) { return nextCodePoint(utf8, i); };
    auto pair = [](uint32_t c) { return c >= 0x10000 && c <= 0x10FFFF; }; // two units, as utf16Of() writes it
    // ASCII text (without NUL) is its own compressed form.
    size_t ascii = 0;
    while (ascii < utf8.size() && uint8_t(utf8[ascii] - 1) < 0x7F)
        ++ascii;
    if (ascii == utf8.size()) {
        if (units)
            *units = ascii;
        if (allowCompression && ascii > 2 && ascii <= kMaxCompressedUnits) {
            std::vector<uint8_t> out(ascii + 2);
            out[0] = 0xFF;
            out[1] = 0xFE;
            std::memcpy(out.data() + 2, utf8.data(), ascii);
            return out;
        }
    }
    size_t count = ascii; // the ASCII start: one unit each
    bool narrow = true;   // every unit in U+0001..U+00FF
    for (size_t i = ascii; i < utf8.size();) {
        const uint32_t c = next(i);
        if (pair(c)) {
            count += 2;
            narrow = false;
        } else {
            ++count;
            narrow = narrow && uint16_t(c) >= 1 && uint16_t(c) <= 0xFF;
        }
    }
    if (units)
        *units = count;
    const bool compress = allowCompression && narrow && count > 2 && count <= kMaxCompressedUnits;
    std::vector<uint8_t> out(compress ? count + 2 : count * 2);
    uint8_t* o = out.data();
    if (compress) {
        *o++ = 0xFF;
        *o++ = 0xFE;
        for (size_t i = 0; i < utf8.size();)
            *o++ = uint8_t(next(i));
        return out;
    }
    auto put = [&](uint32_t unit) {
        *o++ = uint8_t(unit);
        *o++ = uint8_t(unit >> 8);
    };
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = next(i);
        if (pair(c)) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
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
