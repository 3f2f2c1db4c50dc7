// Index keys: every line of the index-key vectors in the fixtures folder, then
// the helpers the B-tree code relies on.
#include "format/text.h"
#include "index/collation.h"
#include "index/index_key.h"
#include "test_support.h"

#include "jet/check.h"
#include "jet/status.h"
#include "jet/value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <limits>
#include <optional>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace jet;
using namespace jet::detail;

namespace {

std::filesystem::path keysDir()
{
    return jettest::fixture("index-keys");
}

std::vector<std::vector<std::string>> readTsv(const std::string& name)
{
    std::ifstream in(keysDir() / name, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << name;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (;;) {
            size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

std::vector<uint8_t> fromHex(const std::string& hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// A JSON string literal (ASCII, \uXXXX escapes) to UTF-16 units.
std::u16string jsonUnits(const std::string& s)
{
    std::u16string out;
    EXPECT_TRUE(s.size() >= 2 && s.front() == '"' && s.back() == '"') << s;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        char c = s[i];
        if (c != '\\') {
            out.push_back(char16_t(uint8_t(c)));
            continue;
        }
        char e = s[++i];
        switch (e) {
        case 'n': out.push_back(u'\n'); break;
        case 't': out.push_back(u'\t'); break;
        case 'r': out.push_back(u'\r'); break;
        case 'b': out.push_back(u'\b'); break;
        case 'f': out.push_back(u'\f'); break;
        case 'u':
            out.push_back(char16_t(std::stoul(s.substr(i + 1, 4), nullptr, 16)));
            i += 4;
            break;
        default: out.push_back(char16_t(uint8_t(e))); break; // \" \\ \/
        }
    }
    return out;
}

std::string toUtf8(const std::u16string& units)
{
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t cp = units[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
        appendUtf8(out, cp);
    }
    return out;
}

// Collects mismatches and reports the first few.
struct Tally {
    explicit Tally(std::string name) : file(std::move(name)) {}

    std::string file;
    int checked = 0;
    int failed = 0;
    std::ostringstream first;

    void check(int line, const std::string& what, const std::vector<uint8_t>& got, const std::string& want)
    {
        ++checked;
        std::string hex = keyToHex(got);
        if (hex == want)
            return;
        if (++failed <= 5)
            first << "\n  " << file << ':' << line << ' ' << what << "\n    got  " << hex << "\n    want " << want;
    }
    void fail(int line, const std::string& what, const std::string& why)
    {
        ++checked;
        if (++failed <= 5)
            first << "\n  " << file << ':' << line << ' ' << what << ": " << why;
    }
    void report(int expectedLines)
    {
        EXPECT_EQ(failed, 0) << failed << " of " << checked << " vectors differ in " << file << first.str();
        EXPECT_EQ(checked, expectedLines) << file;
        std::printf("[ vectors  ] %s: %d checked, %d differ\n", file.c_str(), checked, failed);
    }
};

void checkTextFile(const std::string& file, SortOrder order, bool ascending, int expectedLines)
{
    Tally tally{file};
    int line = 0;
    for (const auto& row : readTsv(file)) {
        ++line;
        ASSERT_EQ(row.size(), 2u) << file << ':' << line;
        std::u16string units = jsonUnits(row[0]);
        KeyColumn column{ColumnType::Text, ascending, order};
        Value value = Value::text(toUtf8(units));
        // Keys the engine refuses on purpose (General order, longer than
        // Access is known to write): the encoding itself must still match.
        size_t expectedLength = row[1].size() / 2;
        if (order == SortOrder::General2010 && expectedLength > kGeneral2010MaxTextKey) {
            if (canEncode(column, value))
                tally.fail(line, row[0], "long key accepted");
            std::vector<uint8_t> raw;
            appendTextKey(order, units, ascending, raw);
            tally.check(line, row[0], raw, row[1]);
            continue;
        }
        try {
            tally.check(line, row[0], encodeKey({column}, {value}), row[1]);
        } catch (const Error& e) {
            tally.fail(line, row[0], e.what());
        }
    }
    tally.report(expectedLines);
}

ColumnType typeNamed(const std::string& name)
{
    static const std::pair<const char*, ColumnType> names[] = {
        {"BYTE", ColumnType::Byte},         {"INTEGER", ColumnType::Integer}, {"LONG", ColumnType::Long},
        {"SINGLE", ColumnType::Single},     {"DOUBLE", ColumnType::Double},   {"CURRENCY", ColumnType::Currency},
        {"DATETIME", ColumnType::DateTime}, {"BOOLEAN", ColumnType::Boolean}, {"GUID", ColumnType::Guid},
        {"TEXT", ColumnType::Text},
    };
    for (const auto& [n, t] : names)
        if (name == n)
            return t;
    ADD_FAILURE() << "unknown type " << name;
    return ColumnType::Long;
}

// "-12345.6789" to ten-thousandths, exactly.
int64_t currencyUnits(const std::string& text)
{
    bool negative = !text.empty() && text[0] == '-';
    std::string digits = text.substr(negative ? 1 : 0);
    size_t dot = digits.find('.');
    std::string whole = digits.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : digits.substr(dot + 1);
    EXPECT_LE(fraction.size(), 4u) << text;
    fraction.resize(4, '0');
    int64_t units = std::stoll(whole) * 10000 + std::stoll(fraction);
    return negative ? -units : units;
}

// "yyyy-mm-dd hh:mm:ss" as Access stores it (days since 1899-12-30).
double accessDays(const std::string& text)
{
    int y, mo, d, h, mi, s;
    EXPECT_EQ(std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s), 6) << text;
    return Value::dateTime(y, mo, d, h, mi, s).asDateTime();
}

template <typename T> T fromLittleEndian(const std::vector<uint8_t>& bytes)
{
    T v{};
    EXPECT_EQ(bytes.size(), sizeof v);
    std::memcpy(&v, bytes.data(), std::min(bytes.size(), sizeof v));
    return v;
}

// The Value a row of this type holds for the vector's VALUE text; checks it
// against the STORED bytes where the row stores the value itself.
Value numericValue(ColumnType type, const std::string& text, const std::string& storedHex, std::string& problem)
{
    std::vector<uint8_t> stored = storedHex == "-" ? std::vector<uint8_t>{} : fromHex(storedHex);
    auto mismatch = [&](const std::string& what) { problem = "stored bytes differ (" + what + ")"; };
    switch (type) {
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: {
        int64_t i = std::stoll(text);
        int64_t s = type == ColumnType::Byte      ? stored.at(0)
                    : type == ColumnType::Integer ? fromLittleEndian<int16_t>(stored)
                                                  : fromLittleEndian<int32_t>(stored);
        if (s != i)
            mismatch(std::to_string(s));
        return Value::integer(i);
    }
    case ColumnType::Currency: {
        int64_t units = currencyUnits(text);
        if (fromLittleEndian<int64_t>(stored) != units)
            mismatch("currency");
        return Value::currency(units);
    }
    case ColumnType::Single: {
        float f = std::strtof(text.c_str(), nullptr);
        uint32_t bits, want = fromLittleEndian<uint32_t>(stored);
        std::memcpy(&bits, &f, 4);
        if (bits != want)
            mismatch("single");
        return Value::real(double(f));
    }
    case ColumnType::Double: {
        double d = std::strtod(text.c_str(), nullptr);
        uint64_t bits, want = fromLittleEndian<uint64_t>(stored);
        std::memcpy(&bits, &d, 8);
        if (bits != want)
            mismatch("double");
        return Value::real(d);
    }
    case ColumnType::DateTime: {
        double d = accessDays(text);
        uint64_t bits, want = fromLittleEndian<uint64_t>(stored);
        std::memcpy(&bits, &d, 8);
        if (bits != want)
            mismatch("date");
        return Value::dateTime(d);
    }
    case ColumnType::Boolean:
        return Value::boolean(text == "true");
    case ColumnType::Guid: {
        std::array<uint8_t, 16> g{};
        if (stored.size() == 16)
            std::copy(stored.begin(), stored.end(), g.begin());
        Value v = Value::guid(g);
        std::string shown = v.toString(), wanted = text;
        std::transform(wanted.begin(), wanted.end(), wanted.begin(), ::toupper);
        if (shown != wanted)
            problem = "GUID reads back as " + shown;
        return v;
    }
    default:
        problem = "unexpected type";
        return Value();
    }
}

} // namespace

TEST(IndexKeyVectors, Text)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("index-keys");
    checkTextFile("text-general-legacy.tsv", SortOrder::GeneralLegacy, true, 4577);
    checkTextFile("text-general-2010.tsv", SortOrder::General2010, true, 4577);
    checkTextFile("text-general-legacy-desc.tsv", SortOrder::GeneralLegacy, false, 300);
}

TEST(IndexKeyVectors, NumbersDatesBooleansGuids)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("index-keys");
    Tally tally{"numeric-date-keys.tsv"};
    int line = 0;
    for (const auto& row : readTsv(tally.file)) {
        ++line;
        ASSERT_EQ(row.size(), 5u) << line;
        ColumnType type = typeNamed(row[0]);
        std::string problem;
        Value value = numericValue(type, row[2], row[4], problem);
        std::string what = row[0] + ' ' + row[1] + ' ' + row[2];
        if (!problem.empty()) {
            tally.fail(line, what, problem);
            continue;
        }
        KeyColumn column{type, row[1] == "asc", SortOrder::GeneralLegacy};
        try {
            tally.check(line, what, encodeKey({column}, {value}), row[3]);
        } catch (const Error& e) {
            tally.fail(line, what, e.what());
        }
    }
    tally.report(644);
}

TEST(IndexKeyVectors, Nulls)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("index-keys");
    Tally tally{"null-keys.tsv"};
    int line = 0;
    for (const auto& row : readTsv(tally.file)) {
        ++line;
        ASSERT_EQ(row.size(), 3u) << line;
        KeyColumn column{typeNamed(row[0]), row[1] == "asc", SortOrder::GeneralLegacy};
        tally.check(line, row[0] + ' ' + row[1], encodeKey({column}, {Value::null()}), row[2]);
    }
    tally.report(20);
}

TEST(IndexKeyVectors, MultiColumn)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("index-keys");
    Tally tally{"multi-column.tsv"};
    int line = 0;
    for (const auto& row : readTsv(tally.file)) {
        ++line;
        ASSERT_EQ(row.size(), 4u) << line;
        Value text = row[0] == "NULL" ? Value::null() : Value::text(toUtf8(jsonUnits(row[0])));
        Value number = row[1] == "NULL" ? Value::null() : Value::integer(std::stoll(row[1]));
        size_t comma = row[2].find(',');
        std::vector<KeyColumn> columns = {
            {ColumnType::Text, row[2].substr(0, comma) == "asc", SortOrder::GeneralLegacy},
            {ColumnType::Long, row[2].substr(comma + 1) == "asc", SortOrder::GeneralLegacy},
        };
        try {
            tally.check(line, row[0] + ' ' + row[1] + ' ' + row[2], encodeKey(columns, {text, number}), row[3]);
        } catch (const Error& e) {
            tally.fail(line, row[0], e.what());
        }
    }
    tally.report(140);
}

// ---------------------------------------------------------------------------
// Without fixtures.

namespace {

std::vector<uint8_t> textKey(const std::string& utf8, SortOrder order = SortOrder::GeneralLegacy, bool asc = true)
{
    return encodeKey({{ColumnType::Text, asc, order}}, {Value::text(utf8)});
}

} // namespace

TEST(IndexKey, CompareKeysPrefixFirst)
{
    std::vector<uint8_t> a = {0x7f, 0x10}, b = {0x7f, 0x10, 0x00}, c = {0x7f, 0x11};
    EXPECT_LT(compareKeys(a, b), 0);
    EXPECT_GT(compareKeys(b, a), 0);
    EXPECT_LT(compareKeys(b, c), 0);
    EXPECT_EQ(compareKeys(a, a), 0);
    EXPECT_EQ(compareKeys(std::vector<uint8_t>{}, std::vector<uint8_t>{}), 0);
    EXPECT_LT(compareKeys(std::vector<uint8_t>{0x80}, std::vector<uint8_t>{0xff}), 0); // unsigned bytes
}

TEST(IndexKey, TextTrimmingAndTruncation)
{
    EXPECT_EQ(textKey("a  "), textKey("a"));
    EXPECT_NE(textKey("a\t"), textKey("a"));
    EXPECT_NE(textKey("a\xc2\xa0"), textKey("a")); // U+00A0 is not trimmed
    EXPECT_EQ(keyToHex(textKey("")), "7f0100");
    EXPECT_EQ(keyToHex(textKey("a")), "7f4a0100");
    EXPECT_EQ(keyToHex(textKey("a", SortOrder::GeneralLegacy, false)), "80b5feff00");
    // Only the first 255 units count.
    std::string long1(255, 'x'), long2 = long1 + "yz";
    EXPECT_EQ(textKey(long1), textKey(long2));
    EXPECT_EQ(textKey(long1), encodeKey({{ColumnType::Memo, true, SortOrder::GeneralLegacy}}, {Value::text(long2)}));
}

// A unit no vector shows has no code: the text gets no key, and the error
// names the unit.
TEST(IndexKey, UnitsOutsideTheTablesAreRefused)
{
    const std::string beetle = "\xd0\x96\xd1\x83\xd0\xba"; // "Жук": U+0416 has no vector
    CharCode code;
    for (SortOrder order : {SortOrder::GeneralLegacy, SortOrder::General2010}) {
        EXPECT_FALSE(lookupChar(order, u'\u0416', code));
        // U+0000: ignored in the legacy order, as Access's own keys show.
        EXPECT_EQ(lookupChar(order, u'\u0000', code), order == SortOrder::GeneralLegacy);
        EXPECT_FALSE(canEncodeText(order, u"\u0416\u0443\u043a"));
        EXPECT_TRUE(canEncodeText(order, u"\u041c\u043e\u0441\u043a\u0432\u0430")); // a vector's string
        KeyColumn column{ColumnType::Text, true, order};
        EXPECT_FALSE(canEncode(column, Value::text(beetle)));
        EXPECT_FALSE(canEncode(column, Value::text("abc " + beetle + " def")));
        EXPECT_TRUE(canEncode(column, Value::text("abc")));
        // Past the 255th unit nothing counts, known or not.
        EXPECT_TRUE(canEncodeText(order, std::u16string(255, u'a') + u"\u0416"));
        try {
            encodeKey({column}, {Value::text(beetle)});
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), Code::Unsupported);
            std::string what = e.what();
            EXPECT_NE(what.find("U+0416"), std::string::npos) << what;
            EXPECT_NE(what.find("ordre de tri"), std::string::npos) << what;
        }
        std::vector<uint8_t> out = {1, 2, 3};
        EXPECT_THROW(appendTextKey(order, u"a\u0416", true, out), Error);
        EXPECT_EQ(out.size(), 3u);
    }
}

TEST(IndexKey, SortOrderFromStoredBytes)
{
    // The header's bytes at 0x6E once unmasked, and a text column's bytes at
    // offset 11, read as little-endian numbers: 09 04 00 vv.
    EXPECT_EQ(sortOrderFromStored(0x00000409), SortOrder::GeneralLegacy);
    EXPECT_EQ(sortOrderFromStored(0x01000409), SortOrder::General2010);
    EXPECT_EQ(sortOrderFromStored(0x02000409), SortOrder::Unsupported);
    EXPECT_EQ(sortOrderFromStored(0x0000040C), SortOrder::Unsupported); // 1036
    EXPECT_EQ(sortOrderFromStored(0x04E40409, true), SortOrder::General97); // Jet3: id, then code page 1252
    EXPECT_EQ(sortOrderFromStored(0x0000040C, true), SortOrder::Unsupported);
    // Raw masked header bytes of a legacy and of a 2010 file.
    const uint8_t mask[4] = {0x01, 0x1b, 0x98, 0xfd};
    const uint8_t legacy[4] = {0x08, 0x1f, 0x98, 0xfd}, general[4] = {0x08, 0x1f, 0x98, 0xfc};
    auto unmask = [&](const uint8_t* raw) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | uint8_t(raw[i] ^ mask[i]);
        return v;
    };
    EXPECT_EQ(sortOrderFromStored(unmask(legacy)), SortOrder::GeneralLegacy);
    EXPECT_EQ(sortOrderFromStored(unmask(general)), SortOrder::General2010);
    EXPECT_EQ(columnSortOrder(0, SortOrder::General2010), SortOrder::General2010);
    EXPECT_EQ(columnSortOrder(0x00000409, SortOrder::General2010), SortOrder::GeneralLegacy);
    EXPECT_NE(describeSortOrder(0x0000040C).find("1036"), std::string::npos);
}

TEST(IndexKey, RefusesWhatItCannotEncodeExactly)
{
    KeyColumn unknownOrder{ColumnType::Text, true, SortOrder::Unsupported};
    EXPECT_FALSE(canEncode(unknownOrder, Value::text("abc")));
    EXPECT_FALSE(keyColumnProblem(unknownOrder).empty());
    try {
        encodeKey({unknownOrder}, {Value::text("abc")});
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Code::Unsupported);
        EXPECT_NE(std::string(e.what()).find("ordre de tri"), std::string::npos) << e.what();
    }
    for (ColumnType t : {ColumnType::OLE, ColumnType::Complex}) {
        EXPECT_FALSE(isIndexableType(t));
        EXPECT_FALSE(canEncode({t, true, SortOrder::GeneralLegacy}, Value::integer(1)));
    }
    // General (2010) text keys longer than Access is known to write.
    std::string longText(255, 'a');
    EXPECT_TRUE(canEncode({ColumnType::Text, true, SortOrder::GeneralLegacy}, Value::text(longText)));
    EXPECT_FALSE(canEncode({ColumnType::Text, true, SortOrder::General2010}, Value::text(longText)));
    EXPECT_THROW(encodeTextKey(SortOrder::General2010, std::u16string(255, u'a')), Error);
}

TEST(IndexKey, WrongValuesAreInvalid)
{
    auto codeOf = [](const KeyColumn& c, const Value& v) {
        try {
            encodeKey({c}, {v});
        } catch (const Error& e) {
            return e.code();
        }
        return Code::IoError; // means "no error"
    };
    EXPECT_EQ(codeOf({ColumnType::Long, true}, Value::text("12")), Code::InvalidValue);
    EXPECT_EQ(codeOf({ColumnType::Byte, true}, Value::integer(256)), Code::InvalidValue);
    EXPECT_EQ(codeOf({ColumnType::Integer, true}, Value::integer(40000)), Code::InvalidValue);
    EXPECT_EQ(codeOf({ColumnType::Text, true}, Value::integer(1)), Code::InvalidValue);
    EXPECT_EQ(codeOf({ColumnType::Text, true}, Value::text("\xff")), Code::InvalidValue);
    EXPECT_FALSE(canEncode({ColumnType::Long, true}, Value::text("12")));
    EXPECT_THROW(encodeKey({{ColumnType::Long, true}}, {}), Error);
    // Nothing is left behind in the output on failure.
    std::vector<uint8_t> out = {1, 2};
    EXPECT_THROW(appendColumnKey({ColumnType::Byte, true}, Value::integer(-1), out), Error);
    EXPECT_EQ(out.size(), 2u);
}

TEST(IndexKey, NumbersSortAsValues)
{
    std::vector<int64_t> longs = {std::numeric_limits<int32_t>::min(), -70000, -1, 0, 1, 255, 256, 70000,
                                  std::numeric_limits<int32_t>::max()};
    for (bool asc : {true, false})
        for (size_t i = 0; i + 1 < longs.size(); ++i) {
            auto a = encodeKey({{ColumnType::Long, asc}}, {Value::integer(longs[i])});
            auto b = encodeKey({{ColumnType::Long, asc}}, {Value::integer(longs[i + 1])});
            EXPECT_EQ(compareKeys(a, b) < 0, asc) << longs[i];
        }
    std::vector<double> doubles = {-1e300, -2.5, -1e-300, 0.0, 1e-300, 0.5, 36921.5, 1e300};
    for (size_t i = 0; i + 1 < doubles.size(); ++i) {
        auto a = encodeKey({{ColumnType::Double, true}}, {Value::real(doubles[i])});
        auto b = encodeKey({{ColumnType::Double, true}}, {Value::real(doubles[i + 1])});
        EXPECT_LT(compareKeys(a, b), 0) << doubles[i];
    }
    // Access's negative dates: later times of a day before 1899-12-30 sort first.
    auto six = encodeKey({{ColumnType::DateTime, true}}, {Value::dateTime(-1.25)});
    auto eighteen = encodeKey({{ColumnType::DateTime, true}}, {Value::dateTime(-1.75)});
    EXPECT_LT(compareKeys(eighteen, six), 0);
}

// ---------------------------------------------------------------------------
// Keys found in the leaf pages of real files.

namespace {

// Every key (row pointer removed) on the index leaf pages of a file, rebuilt
// from the entry bitmap and the shared prefix: Jet4/ACE pages of 4096 bytes,
// or Jet3 ones of 2048 (version byte 0 at 0x14).
std::vector<std::vector<uint8_t>> leafKeys(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::vector<uint8_t>> keys;
    const bool jet3 = data.size() > 0x14 && data[0x14] == 0;
    const size_t pageSize = jet3 ? 2048 : 4096, entriesStart = jet3 ? 0xF8 : 0x1E0, bitmap = jet3 ? 0x16 : 0x1B;
    const size_t prefixAt = jet3 ? 20 : 24;
    for (size_t p = 0; p + pageSize <= data.size(); p += pageSize) {
        const uint8_t* page = &data[p];
        if (page[0] != 0x04 || page[1] != 0x01)
            continue;
        size_t freeBytes = size_t(page[2] | page[3] << 8);
        size_t used = pageSize - entriesStart - std::min(freeBytes, pageSize - entriesStart);
        size_t prefix = size_t(page[prefixAt] | page[prefixAt + 1] << 8);
        std::vector<uint8_t> first;
        size_t start = 0;
        for (size_t end = 1; end <= used; ++end) {
            if (!(page[bitmap + end / 8] >> (end % 8) & 1))
                continue;
            std::vector<uint8_t> entry;
            if (!first.empty())
                entry.assign(first.begin(), first.begin() + std::min(prefix, first.size()));
            entry.insert(entry.end(), page + entriesStart + start, page + entriesStart + end);
            if (first.empty())
                first = entry;
            if (entry.size() >= 4)
                keys.emplace_back(entry.begin(), entry.end() - 4);
            start = end;
        }
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

// A dump's cell as a value of the column's type.
Value cellValue(ColumnType type, const std::string& cell)
{
    switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo: return Value::text(cell);
    case ColumnType::Numeric: return Value::decimal(cell);
    case ColumnType::Binary: return Value::binary(fromHex(cell.substr(2)));
    case ColumnType::Boolean: return Value::boolean(cell == "true");
    case ColumnType::Single:
    case ColumnType::Double: return Value::real(std::stod(cell));
    case ColumnType::Currency: return Value::currency(std::llround(std::stod(cell) * 10000));
    case ColumnType::Guid: { // "{8E39276A-BCA8-...}": the first three groups are stored little-endian
        std::string hex;
        for (char ch : cell)
            if (std::isxdigit(static_cast<unsigned char>(ch)))
                hex += ch;
        std::vector<uint8_t> b = fromHex(hex);
        std::array<uint8_t, 16> g{};
        static const int stored[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (size_t i = 0; i < 16 && b.size() == 16; ++i)
            g[i] = b[size_t(stored[i])];
        return Value::guid(g);
    }
    case ColumnType::DateTime:
    case ColumnType::DateTimeExtended: {
        // "yyyy-mm-dd hh:mm:ss[.fraction]"
        int y, mo, d, h, mi, sec;
        EXPECT_EQ(std::sscanf(cell.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec), 6) << cell;
        if (type == ColumnType::DateTime) { // Access: seconds times 1/86400, away from day 0
            const double days = Value::dateTime(y, mo, d).asDateTime(), time = (h * 3600 + mi * 60 + sec) * (1.0 / 86400);
            return Value::dateTime(days < 0 ? days - time : days + time);
        }
        int64_t ticks = Value::dateTime(y, mo, d, h, mi, sec).dateTimeTicks();
        const size_t dot = cell.find('.');
        if (dot != std::string::npos)
            ticks += std::stoll((cell.substr(dot + 1) + "000000").substr(0, 7));
        return Value::dateTimeExtended(ticks);
    }
    default: return Value::integer(std::stoll(cell));
    }
}

// Checks that the key of every row's values of the index columns is on a
// leaf page. Cells the dump could not decode (U+FFFD) must be refused.
void expectColumnKeysInFile(const std::string& file, const std::string& csv,
                            const std::vector<std::pair<std::string, KeyColumn>>& columns)
{
    std::filesystem::path dir = jettest::fixture("");
    auto keys = leafKeys(dir / file);
    auto rows = jettest::parseCsvFields(jettest::fileBytes((dir / csv).string()));
    ASSERT_GT(rows.size(), 1u) << csv;
    auto& header = rows[0];
    std::vector<size_t> at;
    std::vector<KeyColumn> keyColumns;
    for (const auto& [name, key] : columns) {
        auto it = std::find(header.begin(), header.end(), std::optional<std::string>(name));
        ASSERT_NE(it, header.end()) << name;
        at.push_back(size_t(it - header.begin()));
        keyColumns.push_back(key);
    }
    int found = 0, checked = 0, undecoded = 0;
    for (size_t r = 1; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), header.size()) << csv << " row " << r;
        std::vector<Value> values;
        std::string shown;
        for (size_t i = 0; i < at.size(); ++i) {
            const auto& cell = rows[r][at[i]];
            values.push_back(cell ? cellValue(keyColumns[i].type, *cell) : Value::null());
            shown += (i ? ", " : "") + (cell ? *cell : std::string("NULL"));
        }
        if (shown.find("\xEF\xBF\xBD") != std::string::npos) {
            EXPECT_FALSE(canEncode(keyColumns, values)) << file << ": " << shown;
            ++undecoded;
            continue;
        }
        auto encoded = encodeKey(keyColumns, values);
        ++checked;
        if (std::binary_search(keys.begin(), keys.end(), encoded))
            ++found;
        else
            ADD_FAILURE() << csv << " = " << shown << ": key " << keyToHex(encoded) << " is on no leaf page";
    }
    std::printf("[ pages    ] %s: %d of %d keys found on leaf pages (%d undecodable cells refused)\n", csv.c_str(),
                found, checked, undecoded);
}

} // namespace

// Keys of the corpus files, column by column and in both directions where
// the file has both: extended dates, big integers, binary, Decimal in the
// form of Access 2000 files, Memo, and text with U+0000 inside.
TEST(IndexKeyPages, CorpusKeyTypes)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("access-corpus/extDateTestV2019.accdb");
    const SortOrder legacy = SortOrder::GeneralLegacy;
    const struct {
        const char *file, *table, *column;
        KeyColumn key;
    } cases[] = {
        {"extDateTestV2019.accdb", "Table1", "DateExt", {ColumnType::DateTimeExtended, true}},
        {"extDateTestV2019.accdb", "Table1", "DateExt", {ColumnType::DateTimeExtended, false}},
        {"bigint.accdb", "Table", "Numeric", {ColumnType::BigInt, true}},
        {"binIdxTestV2010.accdb", "Test", "BinAsc", {ColumnType::Binary, true}},
        {"binIdxTestV2010.accdb", "Test", "BinDsc", {ColumnType::Binary, false}},
        {"testIndexCodesV2000.mdb", "Table7", "data", {ColumnType::Numeric, true, legacy, 10, true}},
        {"testIndexCodesV2000.mdb", "Table7_desc", "data", {ColumnType::Numeric, false, legacy, 10, true}},
        {"testIndexCodesV2000.mdb", "Table11", "data", {ColumnType::Memo, true, legacy}},
        {"testIndexCodesV2000.mdb", "Table11_desc", "data", {ColumnType::Memo, false, legacy}},
        {"testIndexCodesV2000.mdb", "Table1", "data", {ColumnType::Text, true, legacy}},
        {"testIndexCodesV2000.mdb", "Table1_desc", "data", {ColumnType::Text, false, legacy}},
    };
    for (const auto& c : cases) {
        const std::string file = std::string("access-corpus/") + c.file;
        expectColumnKeysInFile(file, file + "." + c.table + ".csv", {{c.column, c.key}});
    }

    // Access 97: every key type, and text in its own order (every byte of
    // Windows-1252 between two pairs of letters, accents, punctuation).
    const SortOrder old = SortOrder::General97;
    const KeyColumn asc{ColumnType::Text, true, old}, desc{ColumnType::Text, false, old};
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, KeyColumn>>>> jet3 = {
        {"Table1", {{"data", asc}}}, {"Table1_desc", {{"data", asc}}}, {"Table1_desc", {{"name", desc}}},
        {"Table2", {{"data", {ColumnType::Long, true}}}}, {"Table2_desc", {{"data", {ColumnType::Long, false}}}},
        {"Table3", {{"data", {ColumnType::Integer, true}}}}, {"Table3_desc", {{"data", {ColumnType::Integer, false}}}},
        {"Table4", {{"data", {ColumnType::Double, true}}}}, {"Table4_desc", {{"data", {ColumnType::Double, false}}}},
        {"Table5", {{"data", {ColumnType::Single, true}}}}, {"Table5_desc", {{"data", {ColumnType::Single, false}}}},
        {"Table6", {{"data", {ColumnType::DateTime, true}}}}, {"Table6_desc", {{"data", {ColumnType::DateTime, false}}}},
        {"Table8", {{"data", {ColumnType::Currency, true}}}}, {"Table8_desc", {{"data", {ColumnType::Currency, false}}}},
        {"Table9", {{"data", {ColumnType::Byte, true}}}}, {"Table9_desc", {{"data", {ColumnType::Byte, false}}}},
        {"Table10", {{"data", {ColumnType::Boolean, true}}}}, {"Table10_desc", {{"data", {ColumnType::Boolean, false}}}},
        {"Table11", {{"data", asc}}}, {"Table13", {{"data", {ColumnType::Guid, true}}}},
        {"Table13_desc", {{"data", {ColumnType::Guid, false}}}}, {"Table14", {{"data", asc}}},
        {"Table14_desc", {{"data", desc}}}, {"Table15", {{"data", asc}}}, {"Table15_desc", {{"data", desc}}},
        {"Table12", {{"data1", asc}, {"data2", {ColumnType::Long, true}}}},
        {"Table12_asc_desc", {{"data1", asc}, {"data2", {ColumnType::Long, false}}}},
        {"Table12_desc_asc", {{"data1", desc}, {"data2", {ColumnType::Long, true}}}},
        {"Table12_desc_desc", {{"data1", desc}, {"data2", {ColumnType::Long, false}}}},
    };
    const std::string codes = "access-corpus/testIndexCodesV1997.mdb";
    for (const auto& [table, columns] : jet3)
        expectColumnKeysInFile(codes, codes + "." + table + ".csv", columns);
    EXPECT_FALSE(canEncode(asc, Value::text("Ægé"))); // Æ before an accent: no page of Access shows it
    EXPECT_TRUE(canEncode(asc, Value::text("géÆ")));
    EXPECT_FALSE(canEncode(asc, Value::text("Ж")));
    // The five bytes Windows-1252 leaves undefined key as control characters
    // do; the file has rows with each of them (entries on its pages).
    EXPECT_EQ(keyToHex(encodeKey({asc}, {Value::text("AA\u0081AA")})), "7f606010606000");
    EXPECT_EQ(keyToHex(encodeKey({desc}, {Value::text("a\u009Da")})), "809fef9fff");
    EXPECT_EQ(checkDatabase(jettest::fixture(codes)).unverifiedKeys, 0);
    // Real names: "ß" counts as two significant letters before an accent.
    expectColumnKeysInFile("access-made/nwind.mdb", "access-made/nwind.mdb.Suppliers.csv", {{"CompanyName", asc}});
    const std::string plain = "access-corpus/indexTestV1997.mdb";
    for (const char* table : {"Table1", "Table2", "Table3"})
        expectColumnKeysInFile(plain, plain + "." + table + ".csv", {{"id", {ColumnType::Long, true}}});
}
