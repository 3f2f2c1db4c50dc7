// Text decoding against a plain byte-by-byte reading of the same rules:
// compressed Unicode (FF FE, then one byte per character, a zero byte
// switching to UCS-2 and back), UCS-2 with surrogate pairs, and the Jet3
// code page. Both forms of decodeUnicodeText are checked: the one that stays
// within the text's bytes and the one allowed to read around them, with the
// text at various distances from both ends of what may be read.
#include "format/text.h"
#include "jet/text_match.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using jet::detail::appendUtf8;
using jet::detail::decodeCodePageText;
using jet::detail::decodeUnicodeText;

namespace {

std::string slowUcs2(const uint8_t* data, size_t units)
{
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = data[2 * i] | uint32_t(data[2 * i + 1]) << 8;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            uint32_t low = data[2 * i + 2] | uint32_t(data[2 * i + 3]) << 8;
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
    return out;
}

std::string slowUnicode(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE)
        return slowUcs2(bytes.data(), bytes.size() / 2);
    std::string out;
    bool compressed = true;
    size_t i = 2;
    while (i < bytes.size()) {
        size_t end = i;
        while (end < bytes.size() && bytes[end] != 0)
            ++end;
        if (compressed) {
            for (size_t k = i; k < end; ++k)
                appendUtf8(out, bytes[k]);
        } else {
            out += slowUcs2(bytes.data() + i, (end - i) / 2);
        }
        i = end;
        if (i < bytes.size()) {
            ++i;
            compressed = !compressed;
        }
    }
    return out;
}

// Both forms of the decoder on `text`, placed so that `before` and `after`
// readable bytes (random, sometimes zero) surround it.
void expectDecodes(const std::vector<uint8_t>& text, size_t before, size_t after, std::mt19937& random)
{
    const std::string expected = slowUnicode(text);
    ASSERT_EQ(decodeUnicodeText(text.data(), text.size()), expected);
    auto noise = [&] { return uint8_t(random() % 3 == 0 ? 0 : random()); };
    std::vector<uint8_t> buffer;
    for (size_t i = 0; i < before; ++i)
        buffer.push_back(noise());
    buffer.insert(buffer.end(), text.begin(), text.end());
    for (size_t i = 0; i < after; ++i)
        buffer.push_back(noise());
    ASSERT_EQ(decodeUnicodeText(buffer.data() + before, text.size(), buffer.data(), buffer.data() + buffer.size()),
              expected)
        << "texte de " << text.size() << " octets entre " << before << " et " << after;
}

void expectDecodesAnywhere(const std::vector<uint8_t>& text, std::mt19937& random)
{
    for (size_t before : {size_t(0), size_t(5), size_t(40)})
        for (size_t after : {size_t(0), size_t(1), size_t(7), size_t(31), size_t(32), size_t(40)})
            expectDecodes(text, before, after, random);
}

} // namespace

TEST(TextDecode, CompressedSingleByteTextOfEveryLength)
{
    std::mt19937 random(7);
    const uint8_t letters[] = {'a', 'Z', ' ', '\'', 0x7F, 0x80, 0xA0, 0xE9, 0xE8, 0xFF, 0x01};
    for (size_t length = 0; length <= 70; ++length) {
        for (int round = 0; round < 40; ++round) {
            std::vector<uint8_t> text = {0xFF, 0xFE};
            const bool ascii = round % 4 == 0;
            for (size_t i = 0; i < length; ++i)
                text.push_back(ascii ? uint8_t('!' + random() % 90) : letters[random() % sizeof letters]);
            expectDecodesAnywhere(text, random);
        }
    }
}

TEST(TextDecode, CompressedTextSwitchingToUcs2)
{
    std::mt19937 random(11);
    for (size_t length = 0; length <= 50; ++length) {
        for (int round = 0; round < 40; ++round) {
            std::vector<uint8_t> text = {0xFF, 0xFE};
            for (size_t i = 0; i < length; ++i) {
                const unsigned pick = random() % 8;
                if (pick == 0)
                    text.push_back(0); // switch
                else if (pick == 1)
                    text.push_back(0xE9);
                else if (pick == 2)
                    text.push_back(uint8_t(0xD8 + random() % 8)); // surrogate halves in UCS-2 runs
                else
                    text.push_back(uint8_t('a' + random() % 26));
            }
            expectDecodesAnywhere(text, random);
        }
    }
}

TEST(TextDecode, Ucs2)
{
    std::mt19937 random(13);
    for (size_t length = 0; length <= 41; ++length) {
        for (int round = 0; round < 20; ++round) {
            std::vector<uint8_t> text;
            for (size_t i = 0; i < length; ++i)
                text.push_back(uint8_t(i % 2 ? (random() % 3 ? 0 : 0xD8 + random() % 8) : random()));
            expectDecodesAnywhere(text, random);
        }
    }
    const uint8_t pair[] = {0x3D, 0xD8, 0x00, 0xDE, 'x', 0};
    EXPECT_EQ(decodeUnicodeText(pair, sizeof pair), "\xF0\x9F\x98\x80x");
}

TEST(TextDecode, ExamplesAndMarkOnly)
{
    const uint8_t mark[] = {0xFF, 0xFE};
    EXPECT_EQ(decodeUnicodeText(mark, 2), "");
    EXPECT_EQ(decodeUnicodeText(mark, 2, mark, mark + 2), "");
    const uint8_t empty[] = {0};
    EXPECT_EQ(decodeUnicodeText(empty, 0), "");
    EXPECT_EQ(decodeUnicodeText(empty, 0, empty, empty + 1), "");
    const std::string latin1 = "Soci\xE9t\xE9 G\xE9n\xE9rale d'\xC9quipement";
    const std::string utf8 = "Société Générale d'Équipement";
    // The text first, then other bytes; and at the end, after other bytes.
    const std::string bytes = std::string(40, 'U') + "\xFF\xFE" + latin1 + std::string(40, 'U');
    const std::vector<uint8_t> around(bytes.begin(), bytes.end());
    const size_t size = 2 + latin1.size();
    EXPECT_EQ(decodeUnicodeText(around.data() + 40, size, around.data() + 40, around.data() + around.size()), utf8);
    EXPECT_EQ(decodeUnicodeText(around.data() + 40, size, around.data(), around.data() + 40 + size), utf8);
}

TEST(TextDecode, OtherCodePages)
{
    // An unknown page and bytes a page does not define fall back to 1252
    // (the pages themselves: CodePageTextWrittenOrRefused).
    const uint8_t accents[] = {'J', 0xE9, 'r', 0xF4, 'm', 'e'};
    EXPECT_EQ(decodeCodePageText(accents, sizeof accents, 9999), "Jérôme");
    EXPECT_EQ(decodeCodePageText(accents, sizeof accents, 1026), "Jérôme"); // a locale id, not EBCDIC
    const uint8_t undefined[] = {'a', 0x98, 'b', 0};
    EXPECT_EQ(decodeCodePageText(undefined, sizeof undefined, 1251), std::string("a\xCB\x9C" "b") + '\0');
}

// Text written as Jet stores it reads back the same, compressed exactly when
// the column allows it and every unit fits one byte (3 to 1024 units).
TEST(TextDecode, EncodedTextReadsBack)
{
    struct Case {
        std::string text;
        bool allow, compressed;
        size_t units;
    } cases[] = {
        {"abc", true, true, 3},
        {"abc", false, false, 3},
        {"ab", true, false, 2},
        {"Noël à l'été", true, true, 12},
        {"Prix : 5 €", true, false, 10},
        {"note \xF0\x9F\x93\x9D", true, false, 7},
        {std::string(1024, 'x'), true, true, 1024},
        {std::string(1025, 'x'), true, false, 1025},
    };
    for (const Case& c : cases) {
        size_t units = 0;
        std::vector<uint8_t> stored = jet::detail::encodeUnicodeText(c.text, c.allow, &units);
        EXPECT_EQ(units, c.units) << c.text;
        EXPECT_EQ(stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE, c.compressed) << c.text;
        EXPECT_EQ(jet::detail::decodeUnicodeText(stored.data(), stored.size()), c.text);
    }
}

// Text for an Access 97 file: in its code page, read back the same; a
// character the page cannot hold (or ill-formed UTF-8) is named, never
// replaced.
TEST(TextDecode, CodePageTextWrittenOrRefused)
{
    struct Case {
        std::string text;
        uint16_t codePage;
        std::vector<uint8_t> bytes; // expected when `missing` is empty
        std::string missing;
    } cases[] = {
        {"Jérôme € œ\xC2\x81", 1252, {'J', 0xE9, 'r', 0xF4, 'm', 'e', ' ', 0x80, ' ', 0x9C, 0x81}, ""},
        {"Noël", 0, {'N', 'o', 0xEB, 'l'}, ""},
        {"Москва", 1251, {0xCC, 0xEE, 0xF1, 0xEA, 0xE2, 0xE0}, ""},
        {"Łóź", 1250, {0xA3, 0xF3, 0x9F}, ""},
        {"Zoé Ω", 1252, {}, "Ω"},
        {"Łódź", 1252, {}, "Ł"},
        {"Прага é", 1251, {}, "é"},
        {"note \xF0\x9F\x93\x9D", 1252, {}, "\xF0\x9F\x93\x9D"},
        {"a\xFF", 1252, {}, "\xFF"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        std::string missing;
        const bool ok = jet::detail::encodeCodePageText(c.text, c.codePage, bytes, missing);
        EXPECT_EQ(ok, c.missing.empty()) << c.text;
        EXPECT_EQ(missing, c.missing) << c.text;
        if (ok) {
            EXPECT_EQ(bytes, c.bytes) << c.text;
            EXPECT_EQ(decodeCodePageText(bytes.data(), bytes.size(), c.codePage), c.text);
        }
    }
}

// UTF-8 that is not well formed is reported, its bytes read as themselves.
TEST(TextDecode, Utf16OfIllFormedUtf8)
{
    std::u16string out;
    EXPECT_TRUE(jet::detail::utf16Of("é\xF0\x9F\x93\x9D", out));
    EXPECT_EQ(out, u"é\U0001F4DD");
    for (std::string bad : {"\xC0\x80", "\xED\xA0\x80", "a\xE9" "b", "\xF8\x88\x80\x80\x80", "\xE2\x82"})
        EXPECT_FALSE(jet::detail::utf16Of(bad, out)) << bad;
    jet::detail::utf16Of("a\xE9" "b", out);
    EXPECT_EQ(out, u"a\u00E9b");
}

// The search keys of a text given as UTF-8 are those of the same text in
// UTF-16; a stray byte counts as U+FFFD; case, accents and punctuation fold.
TEST(TextDecode, MatchKeysOfUtf8AndUtf16Agree)
{
    const struct {
        const char* utf8;
        std::u16string utf16;
    } texts[] = {
        {"L'Or\xc3\xa9" "al", u"L'Or\u00e9al"},
        {"\xc5\x93uvre \xe2\x82\xac", u"\u0153uvre \u20ac"},
        {"\xf0\x9f\x98\x80" "x", u"\U0001F600x"},
        {"a\xff" "b\xc3", u"a\uFFFDb\uFFFD"},
        {"\xd0\x96\xd1\x83\xd0\xba", u"\u0416\u0443\u043a"},
    };
    for (const auto& t : texts)
        EXPECT_EQ(jet::textMatchKey(std::string_view(t.utf8)), jet::textMatchKey(std::u16string_view(t.utf16)))
            << t.utf8;
    const std::string key = jet::textMatchKey(std::string_view("L'Or\xc3\xa9" "al \xc5\x93uvre"));
    EXPECT_TRUE(jet::keyContains(key, jet::textMatchKey(std::string_view("LOREAL"))));
    EXPECT_TRUE(jet::keyContains(key, jet::textMatchKey(std::string_view("oeuvre"))));
    EXPECT_FALSE(jet::keyContains(key, jet::textMatchKey(std::string_view("orale"))));
}
