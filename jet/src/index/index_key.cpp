#include "index/index_key.h"

#include "format/decimal.h"
#include "format/extended_date.h"
#include "jet/status.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>

namespace jet::detail {

namespace {

// Thrown inside the encoder and turned into Error by the public functions,
// so that canEncode() can ask the same code without building messages twice.
struct Refusal {
    Code code;
    std::string message;
};

[[noreturn]] void refuse(Code code, std::string message)
{
    throw Refusal{code, std::move(message)};
}

std::string typeLabel(ColumnType type)
{
    return std::string("colonne de type ") + columnTypeName(type);
}

[[noreturn]] void wrongValue(ColumnType type, const char* what)
{
    refuse(Code::InvalidValue, typeLabel(type) + " : " + what);
}

// Big-endian two's complement with the sign bit flipped: sorts signed
// integers as unsigned bytes.
void appendSigned(int64_t value, int bytes, std::vector<uint8_t>& body)
{
    uint64_t u = uint64_t(value);
    for (int i = bytes - 1; i >= 0; --i)
        body.push_back(uint8_t(u >> (8 * i)));
    body[body.size() - size_t(bytes)] ^= 0x80;
}

// Big-endian IEEE bits: positive values get the sign bit set, negative
// values have every bit inverted.
void appendFloatBits(uint64_t bits, int bytes, std::vector<uint8_t>& body)
{
    size_t start = body.size();
    for (int i = bytes - 1; i >= 0; --i)
        body.push_back(uint8_t(bits >> (8 * i)));
    if (body[start] & 0x80) {
        for (size_t i = start; i < body.size(); ++i)
            body[i] = uint8_t(~body[i]);
    } else {
        body[start] ^= 0x80;
    }
}

int64_t integerOf(ColumnType type, const Value& v, int64_t lo, int64_t hi)
{
    if (v.kind() != Value::Kind::Int)
        wrongValue(type, "valeur entière attendue");
    int64_t i = v.asInt();
    if (i < lo || i > hi)
        wrongValue(type, "valeur hors limites");
    return i;
}

double realOf(ColumnType type, const Value& v)
{
    switch (v.kind()) {
    case Value::Kind::Int:
    case Value::Kind::Double:
        return v.asDouble();
    default:
        wrongValue(type, "valeur numérique attendue");
    }
}

// Body of a non-null value (before the descending inversion), except text.
void appendBody(const KeyColumn& column, const Value& v, std::vector<uint8_t>& body)
{
    const ColumnType type = column.type;
    switch (type) {
    case ColumnType::Boolean: {
        bool yes;
        if (v.kind() == Value::Kind::Bool)
            yes = v.asBool();
        else if (v.kind() == Value::Kind::Int)
            yes = v.asInt() != 0;
        else
            wrongValue(type, "valeur Oui/Non attendue");
        body.push_back(yes ? 0x00 : 0xff);
        return;
    }
    case ColumnType::Byte:
        body.push_back(uint8_t(integerOf(type, v, 0, 255)));
        return;
    case ColumnType::Integer:
        appendSigned(integerOf(type, v, -32768, 32767), 2, body);
        return;
    case ColumnType::Complex: {
        // Read as Value::unsupported holding the id in decimal.
        int64_t id = 0;
        const std::string& text = v.kind() == Value::Kind::Unsupported ? v.asText() : std::string();
        if (v.kind() == Value::Kind::Int)
            id = v.asInt();
        else if (text.empty() || std::from_chars(text.data(), text.data() + text.size(), id).ptr != text.data() + text.size())
            wrongValue(type, "identifiant de valeurs complexes attendu");
        if (!column.complexId || id < std::numeric_limits<int32_t>::min() || id > std::numeric_limits<int32_t>::max())
            wrongValue(type, "identifiant de valeurs complexes hors limites");
        appendSigned(id, 4, body);
        return;
    }
    case ColumnType::Long:
        appendSigned(integerOf(type, v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()),
                     4, body);
        return;
    case ColumnType::BigInt:
        appendSigned(integerOf(type, v, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()),
                     8, body);
        return;
    case ColumnType::Currency: {
        int64_t units;
        if (v.kind() == Value::Kind::Currency) {
            units = v.asCurrency();
        } else if (v.kind() == Value::Kind::Int) {
            int64_t i = v.asInt();
            if (i > std::numeric_limits<int64_t>::max() / 10000 || i < std::numeric_limits<int64_t>::min() / 10000)
                wrongValue(type, "valeur hors limites");
            units = i * 10000;
        } else {
            wrongValue(type, "valeur monétaire attendue");
        }
        appendSigned(units, 8, body);
        return;
    }
    case ColumnType::Single: {
        float f = float(realOf(type, v));
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        appendFloatBits(bits, 4, body);
        return;
    }
    case ColumnType::Double:
    case ColumnType::DateTime: {
        double d;
        if (type == ColumnType::DateTime && v.kind() == Value::Kind::DateTime)
            d = v.asDateTime();
        else if (type == ColumnType::DateTime && v.kind() != Value::Kind::Double)
            wrongValue(type, "valeur date/heure attendue");
        else
            d = realOf(type, v);
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        appendFloatBits(bits, 8, body);
        return;
    }
    case ColumnType::Guid: {
        if (v.kind() != Value::Kind::Guid)
            wrongValue(type, "identifiant (GUID) attendu");
        // The value holds the bytes as the row stores them: the first three
        // groups little-endian. The key uses the order of the text form.
        std::array<uint8_t, 16> g = v.asGuid();
        static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (int i = 0; i < 8; ++i)
            body.push_back(g[size_t(order[i])]);
        body.push_back(0x09); // another group follows
        for (int i = 8; i < 16; ++i)
            body.push_back(g[size_t(order[i])]);
        body.push_back(0x08); // length of the last group
        return;
    }
    default:
        refuse(Code::Unsupported, typeLabel(type) + " : clé d'index non prise en charge");
    }
}

// Groups of 8 bytes, 0x09 between them, the last one padded and followed
// by its length; descending, all inverted but the 0x09 separators.
void appendGroupedBytes(const uint8_t* data, size_t size, bool ascending, std::vector<uint8_t>& out)
{
    const uint8_t flip = ascending ? 0x00 : 0xff;
    size_t at = 0;
    for (; size - at > 8; at += 8) {
        for (size_t i = 0; i < 8; ++i)
            out.push_back(uint8_t(data[at + i] ^ flip));
        out.push_back(0x09);
    }
    if (at == size)
        return; // an empty value: the flag byte alone
    for (size_t i = 0; i < 8; ++i)
        out.push_back(uint8_t((at + i < size ? data[at + i] : 0x00) ^ flip));
    out.push_back(uint8_t((size - at) ^ flip));
}

// The sign byte and 16-byte big-endian magnitude of a decimal value at the
// column's scale.
std::array<uint8_t, 17> decimalBytes(const KeyColumn& column, const Value& v)
{
    std::string text;
    if (v.kind() == Value::Kind::Decimal)
        text = v.asText();
    else if (v.kind() == Value::Kind::Int)
        text = std::to_string(v.asInt());
    else
        wrongValue(column.type, "valeur décimale attendue");
    std::optional<DecimalDigits> d = parseDecimal(text);
    if (!d)
        wrongValue(column.type, "nombre décimal illisible");
    // value = 0.DIGITS x 10^point; unscaled = DIGITS x 10^(point + scale - digit count)
    const long shift = d->point + long(column.scale) - long(d->digits.size());
    if (shift < 0 || long(d->digits.size()) + shift > 38)
        wrongValue(column.type, "valeur hors limites pour la précision de la colonne");
    unsigned __int128 magnitude = 0;
    for (char c : d->digits)
        magnitude = magnitude * 10 + unsigned(c - '0');
    for (long i = 0; i < shift; ++i)
        magnitude *= 10;
    std::array<uint8_t, 17> out{};
    out[0] = d->negative ? 0x80 : 0x00;
    for (int i = 16; i >= 1; --i) {
        out[size_t(i)] = uint8_t(magnitude);
        magnitude >>= 8;
    }
    return out;
}

void appendDecimal(const KeyColumn& column, const Value& v, std::vector<uint8_t>& out)
{
    std::array<uint8_t, 17> b = decimalBytes(column, v);
    const bool negative = b[0] != 0;
    if (!column.legacyDecimal)
        b[0] = 0xff;
    if (negative == column.ascending)
        for (uint8_t& x : b)
            x = uint8_t(~x);
    if (column.legacyDecimal)
        b[0] = negative ? 0x00 : 0xff;
    out.insert(out.end(), b.begin(), b.end());
}

void appendKeyChecked(const KeyColumn& column, const Value& v, std::vector<uint8_t>& out)
{
    std::string problem = keyColumnProblem(column);
    if (!problem.empty())
        refuse(Code::Unsupported, problem);

    if (column.type == ColumnType::Text || column.type == ColumnType::Memo) {
        if (v.isNull()) {
            out.push_back(column.ascending ? 0x00 : 0xff);
            return;
        }
        if (v.kind() != Value::Kind::Text)
            wrongValue(column.type, "valeur texte attendue");
        std::u16string units;
        try {
            units = utf16UnitsOfUtf8(v.asText());
        } catch (const Error& e) {
            refuse(e.code(), e.what());
        }
        size_t before = out.size();
        try {
            appendTextKey(column.order, units, column.ascending, out);
        } catch (const Error& e) {
            out.resize(before);
            refuse(e.code(), e.what());
        }
        if (column.order == SortOrder::General2010 && out.size() - before > kGeneral2010MaxTextKey) {
            out.resize(before);
            refuse(Code::Unsupported,
                   "texte trop long pour une clé d'index dans l'ordre de tri « Général » (plus de "
                       + std::to_string(kGeneral2010MaxTextKey) + " octets) : clé non calculable exactement");
        }
        return;
    }

    if (column.type == ColumnType::Binary || column.type == ColumnType::DateTimeExtended
        || column.type == ColumnType::Numeric) {
        if (v.isNull()) {
            out.push_back(column.ascending ? 0x00 : 0xff);
            return;
        }
        std::vector<uint8_t> body;
        if (column.type == ColumnType::Numeric) {
            appendDecimal(column, v, body);
        } else if (column.type == ColumnType::Binary) {
            if (v.kind() != Value::Kind::Binary)
                wrongValue(column.type, "valeur binaire attendue");
            appendGroupedBytes(v.asBinary().data(), v.asBinary().size(), column.ascending, body);
        } else {
            if (v.kind() != Value::Kind::DateTime)
                wrongValue(column.type, "valeur date/heure attendue");
            int64_t ticks = 0;
            try {
                ticks = v.dateTimeTicks();
            } catch (const Error& e) {
                refuse(e.code(), e.what());
            }
            const auto stored = encodeExtendedDate(ticks);
            appendGroupedBytes(stored.data(), stored.size(), column.ascending, body);
        }
        out.push_back(column.ascending ? 0x7f : 0x80);
        out.insert(out.end(), body.begin(), body.end());
        return;
    }

    // A Yes/No column has no NULL: a missing value is No.
    if (v.isNull() && column.type != ColumnType::Boolean) {
        out.push_back(column.ascending ? 0x00 : 0xff);
        return;
    }
    std::vector<uint8_t> body;
    body.reserve(18);
    if (v.isNull())
        body.push_back(0xff);
    else
        appendBody(column, v, body);

    if (column.ascending) {
        out.push_back(0x7f);
        out.insert(out.end(), body.begin(), body.end());
    } else {
        out.push_back(0x80);
        for (size_t i = 0; i < body.size(); ++i) {
            // The GUID's group separator keeps its value.
            bool keep = column.type == ColumnType::Guid && i == 8;
            out.push_back(keep ? body[i] : uint8_t(~body[i]));
        }
    }
}

} // namespace

bool isIndexableType(ColumnType type)
{
    switch (type) {
    case ColumnType::Boolean:
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::BigInt:
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime:
    case ColumnType::DateTimeExtended:
    case ColumnType::Guid:
    case ColumnType::Binary:
    case ColumnType::Numeric:
    case ColumnType::Text:
    case ColumnType::Memo:
        return true;
    default:
        return false;
    }
}

std::string keyColumnProblem(const KeyColumn& column)
{
    if (column.type == ColumnType::Complex && column.complexId)
        return {};
    if (!isIndexableType(column.type))
        return typeLabel(column.type) + " : ce type de clé d'index n'est pas pris en charge";
    if ((column.type == ColumnType::Text || column.type == ColumnType::Memo)
        && column.order == SortOrder::Unsupported)
        return typeLabel(column.type) + " : ordre de tri du texte non pris en charge";
    return {};
}

bool canEncode(const KeyColumn& column, const Value& value)
{
    std::vector<uint8_t> scratch;
    try {
        appendKeyChecked(column, value, scratch);
        return true;
    } catch (const Refusal&) {
        return false;
    } catch (const Error&) {
        return false;
    }
}

bool canEncode(const std::vector<KeyColumn>& columns, const std::vector<Value>& values)
{
    if (columns.size() != values.size())
        return false;
    for (size_t i = 0; i < columns.size(); ++i)
        if (!canEncode(columns[i], values[i]))
            return false;
    return true;
}

void appendColumnKey(const KeyColumn& column, const Value& value, std::vector<uint8_t>& out)
{
    size_t before = out.size();
    try {
        appendKeyChecked(column, value, out);
    } catch (const Refusal& r) {
        out.resize(before);
        throw Error(r.code, "clé d'index : " + r.message);
    }
}

std::vector<uint8_t> encodeKey(const std::vector<KeyColumn>& columns, const std::vector<Value>& values)
{
    if (columns.size() != values.size())
        throw Error(Code::InvalidValue, "clé d'index : " + std::to_string(values.size()) + " valeurs pour "
                                            + std::to_string(columns.size()) + " colonnes");
    std::vector<uint8_t> key;
    for (size_t i = 0; i < columns.size(); ++i)
        appendColumnKey(columns[i], values[i], key);
    return key;
}

std::vector<uint8_t> encodeTextKey(SortOrder order, std::u16string_view text, bool ascending)
{
    std::vector<uint8_t> key;
    appendTextKey(order, text, ascending, key);
    if (order == SortOrder::General2010 && key.size() > kGeneral2010MaxTextKey)
        throw Error(Code::Unsupported, "clé d'index : texte trop long pour l'ordre de tri « Général » (plus de "
                                           + std::to_string(kGeneral2010MaxTextKey) + " octets)");
    return key;
}

int compareKeys(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength)
{
    size_t n = aLength < bLength ? aLength : bLength;
    if (n > 0) {
        int c = std::memcmp(a, b, n);
        if (c != 0)
            return c;
    }
    return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

int compareKeys(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    return compareKeys(a.data(), a.size(), b.data(), b.size());
}

int compareEntries(const std::vector<uint8_t>& aKey, uint32_t aPage, uint8_t aRow,
                   const std::vector<uint8_t>& bKey, uint32_t bPage, uint8_t bRow)
{
    int c = compareKeys(aKey, bKey);
    if (c != 0)
        return c;
    if (aPage != bPage)
        return aPage < bPage ? -1 : 1;
    if (aRow != bRow)
        return aRow < bRow ? -1 : 1;
    return 0;
}

std::string keyToHex(const std::vector<uint8_t>& key)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(key.size() * 2);
    for (uint8_t b : key) {
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}

} // namespace jet::detail
