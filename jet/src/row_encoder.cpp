#include "row_encoder.h"

#include "data_page_writer.h"
#include "decimal.h"
#include "jet/status.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace jet::writer {

namespace {

[[noreturn]] void corrupt(uint32_t page, const std::string& what)
{
    throw Error(Code::Corrupt, "page " + std::to_string(page) + " : " + what);
}

ColumnType typeOf(uint8_t raw)
{
    return static_cast<ColumnType>(raw);
}

int fixedBytes(ColumnType t, uint16_t length)
{
    switch (t) {
    case ColumnType::Boolean: return 0;
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 4;
    case ColumnType::Currency: return 8;
    case ColumnType::Single: return 4;
    case ColumnType::Double: return 8;
    case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Numeric: return 17;
    case ColumnType::BigInt: return 8;
    default: return length;
    }
}

// UTF-8 to UTF-16 code units (invalid bytes are taken as Latin-1).
std::u16string toUtf16(const std::string& s)
{
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        uint8_t c = uint8_t(s[i]);
        uint32_t cp = c;
        int extra = 0;
        if (c >= 0xF0 && c < 0xF8) { cp = c & 0x07; extra = 3; }
        else if (c >= 0xE0) { cp = c & 0x0F; extra = 2; }
        else if (c >= 0xC0) { cp = c & 0x1F; extra = 1; }
        bool ok = c < 0x80 || (extra > 0 && i + size_t(extra) < s.size() + 1);
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + size_t(k) >= s.size() || (uint8_t(s[i + k]) & 0xC0) != 0x80)
                ok = false;
            else
                cp = cp << 6 | (uint8_t(s[i + k]) & 0x3F);
        }
        if (!ok || (c >= 0x80 && c < 0xC0)) {
            out.push_back(char16_t(c));
            ++i;
            continue;
        }
        i += size_t(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

bool sameLetter(char a, char b)
{
    if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
    return a == b;
}

const char* typeLabel(ColumnType t)
{
    return columnTypeName(t);
}

[[noreturn]] void wrongType(const ColumnLayout& c, const Value& v)
{
    (void)v;
    throw Error(Code::InvalidValue, "valeur de type incompatible pour la colonne « " + c.name + " » (" +
                                        typeLabel(c.type) + ")");
}

void putLE(std::vector<uint8_t>& out, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// The exact decimal text of a value written to a Decimal column.
std::string decimalTextOf(const ColumnLayout& c, const Value& v)
{
    switch (v.kind()) {
    case Value::Kind::Decimal: return v.asText();
    case Value::Kind::Int: return std::to_string(v.asInt());
    case Value::Kind::Currency: {
        int64_t units = v.asCurrency();
        uint64_t magnitude = units < 0 ? uint64_t(0) - uint64_t(units) : uint64_t(units);
        std::string fraction = std::to_string(magnitude % 10000);
        fraction.insert(0, 4 - fraction.size(), '0');
        return (units < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction;
    }
    case Value::Kind::Double: {
        if (!std::isfinite(v.asDouble()))
            throw Error(Code::InvalidValue, "valeur non finie pour la colonne décimale « " + c.name + " »");
        // The shortest digits that read back as the same number ("0.1", not
        // 0.1000000000000000055...; a Single value with a float's digits),
        // possibly with an exponent ("1.5E-5").
        return v.toString();
    }
    default: wrongType(c, v);
    }
}

std::string decimalPlaces(int scale)
{
    return std::to_string(scale) + (scale > 1 ? " décimales" : " décimale");
}

} // namespace

std::vector<uint8_t> encodeNumeric(const ColumnLayout& c, const Value& v)
{
    const int precision = c.precision, scale = c.scale;
    if (precision < 1 || precision > kMaxNumericPrecision || scale > precision)
        throw Error(Code::Unsupported, "colonne décimale « " + c.name + " » : précision " +
                                           std::to_string(precision) + " et échelle " + std::to_string(scale) +
                                           " non prises en charge, écriture refusée");
    const std::string text = decimalTextOf(c, v);
    std::optional<detail::DecimalDigits> d = detail::parseDecimal(text);
    if (!d)
        throw Error(Code::InvalidValue, "valeur décimale invalide pour la colonne « " + c.name + " » : « " + text +
                                            " »");
    // Significant digits after the point beyond the scale (trailing zeros
    // were dropped): refused rather than rounded.
    const long fractionDigits = long(d->digits.size()) - d->point;
    if (fractionDigits > scale)
        throw Error(Code::InvalidValue, "valeur décimale trop précise pour la colonne « " + c.name + " » (" +
                                            decimalPlaces(scale) + ")");
    if (!d->digits.empty() && d->point > precision - scale)
        throw Error(Code::InvalidValue, "valeur hors limites pour la colonne « " + c.name + " » (" +
                                            std::to_string(precision - scale) +
                                            " chiffres avant la virgule au plus, " + decimalPlaces(scale) + ")");
    // The unscaled value: at most 28 digits, below 2^96.
    unsigned __int128 magnitude = 0;
    for (char digit : d->digits)
        magnitude = magnitude * 10 + unsigned(digit - '0');
    for (long k = fractionDigits; k < scale; ++k)
        magnitude *= 10;
    std::vector<uint8_t> out;
    out.reserve(17);
    out.push_back(d->negative && magnitude != 0 ? 0x80 : 0x00);
    for (int word = 3; word >= 0; --word)
        putLE(out, uint64_t(magnitude >> (32 * word)) & 0xFFFFFFFFu, 4);
    return out;
}

int TableLayout::columnIndex(const std::string& name) const
{
    for (size_t i = 0; i < columns.size(); ++i) {
        const std::string& n = columns[i].name;
        if (n.size() != name.size())
            continue;
        bool same = true;
        for (size_t k = 0; k < n.size() && same; ++k)
            same = sameLetter(n[k], name[k]);
        if (same)
            return int(i);
    }
    return -1;
}

std::vector<uint8_t> definitionBytes(Transaction& txn, uint32_t tdefPage)
{
    std::vector<uint8_t> d;
    uint32_t page = tdefPage;
    int guard = 0;
    while (page != 0) {
        if (++guard > 1000 || page >= txn.pageCount())
            corrupt(tdefPage, "chaîne de pages de définition de table invalide");
        const uint8_t* p = txn.page(page);
        if (p[0] != 0x02)
            corrupt(page, "page de définition de table attendue");
        if (d.empty())
            d.assign(p, p + txn.pageSize());
        else
            d.insert(d.end(), p + 8, p + txn.pageSize());
        page = rd32(p + 4);
    }
    return d;
}

TableLayout readLayout(Transaction& txn, uint32_t tdefPage)
{
    std::vector<uint8_t> d = definitionBytes(txn, tdefPage);
    auto need = [&](size_t off, size_t n) {
        if (off + n > d.size())
            corrupt(tdefPage, "définition de table tronquée");
    };
    TableLayout t;
    t.tdefPage = tdefPage;
    need(0, 63);
    t.rowCount = rd32(&d[16]);
    t.lastAutonumber = rd32(&d[20]);
    t.system = d[40] == 0x53;
    t.maxColumns = rd16(&d[41]);
    t.varColumns = rd16(&d[43]);
    uint16_t columnCount = rd16(&d[45]);
    t.logicalIndexCount = rd32(&d[47]);
    t.realIndexCount = rd32(&d[51]);
    t.ownedMap = rd32(&d[55]);
    t.freeMap = rd32(&d[59]);
    if (t.realIndexCount > 1000 || t.logicalIndexCount > 1000)
        corrupt(tdefPage, "nombre d'index invalide");
    size_t pos = 63 + 12 * size_t(t.realIndexCount);
    std::vector<ColumnLayout> cols(columnCount);
    for (auto& c : cols) {
        need(pos, 25);
        const uint8_t* b = &d[pos];
        c.rawType = b[0];
        c.type = typeOf(b[0]);
        c.number = rd16(b + 5);
        c.varIndex = rd16(b + 7);
        c.precision = b[11];
        c.scale = b[12];
        c.flags = b[15];
        c.extFlags = b[16];
        c.fixedOffset = rd16(b + 21);
        c.length = rd16(b + 23);
        pos += 25;
    }
    for (auto& c : cols) {
        need(pos, 2);
        uint16_t len = rd16(&d[pos]);
        pos += 2;
        need(pos, len);
        std::string name;
        const uint8_t* s = &d[pos];
        if (len >= 2 && s[0] == 0xFF && s[1] == 0xFE) {
            for (size_t k = 2; k < len; ++k) {
                uint8_t ch = s[k];
                if (ch < 0x80) name.push_back(char(ch));
                else { name.push_back(char(0xC0 | ch >> 6)); name.push_back(char(0x80 | (ch & 0x3F))); }
            }
        } else {
            for (size_t k = 0; k + 1 < len; k += 2) {
                uint32_t ch = rd16(s + k);
                if (ch < 0x80) name.push_back(char(ch));
                else if (ch < 0x800) { name.push_back(char(0xC0 | ch >> 6)); name.push_back(char(0x80 | (ch & 0x3F))); }
                else { name.push_back(char(0xE0 | ch >> 12)); name.push_back(char(0x80 | ((ch >> 6) & 0x3F))); name.push_back(char(0x80 | (ch & 0x3F))); }
            }
        }
        c.name = name;
        pos += len;
    }
    // Physical index descriptions, logical ones, then the logical names.
    for (uint32_t i = 0; i < t.realIndexCount; ++i) {
        need(pos, 52);
        const uint8_t* b = &d[pos];
        RealIndexLayout x;
        for (int k = 0; k < 10; ++k) {
            uint16_t number = rd16(b + 4 + 3 * k);
            if (number != 0xFFFF)
                x.columns.emplace_back(number, b[6 + 3 * k] != 0);
        }
        x.ownedMap = rd32(b + 34);
        x.rootPage = rd32(b + 38);
        x.flags = b[46];
        x.countOffset = 63 + 12 * size_t(i) + 4;
        t.realIndexes.push_back(x);
        pos += 52;
    }
    pos += 28 * size_t(t.logicalIndexCount);
    for (uint32_t i = 0; i < t.logicalIndexCount; ++i) {
        need(pos, 2);
        pos += 2 + rd16(&d[pos]);
    }
    // The usage maps of long-value columns, until 0xFFFF.
    while (pos + 2 <= d.size()) {
        uint16_t number = rd16(&d[pos]);
        if (number == 0xFFFF)
            break;
        need(pos, 10);
        for (auto& c : cols)
            if (c.number == number) {
                c.lvOwnedMap = rd32(&d[pos + 2]);
                c.lvFreeMap = rd32(&d[pos + 6]);
                if ((c.lvOwnedMap >> 8) == 0 || (c.lvFreeMap >> 8) == 0)
                    c.lvOwnedMap = c.lvFreeMap = 0; // no maps of its own
            }
        pos += 10;
    }
    std::sort(cols.begin(), cols.end(), [](const ColumnLayout& a, const ColumnLayout& b) { return a.number < b.number; });
    t.columns = std::move(cols);
    return t;
}

std::vector<Field> decodeFields(const TableLayout& table, const uint8_t* row, size_t size, uint32_t page)
{
    std::vector<Field> out(table.columns.size());
    if (size < 3)
        corrupt(page, "ligne trop courte");
    const uint16_t count = rd16(row);
    const size_t maskSize = (size_t(count) + 7) / 8;
    if (maskSize + 2 > size)
        corrupt(page, "ligne trop courte pour son masque de nullité");
    const uint8_t* mask = row + size - maskSize;
    auto present = [&](uint16_t n) { return n < count && ((mask[n >> 3] >> (n & 7)) & 1); };

    size_t varCount = 0, eod = 0;
    const uint8_t* varTable = nullptr;
    if (table.varColumns > 0 && size >= maskSize + 4) {
        varCount = rd16(row + size - maskSize - 2);
        if (size < maskSize + 4 + 2 * varCount)
            corrupt(page, "table des colonnes variables hors de la ligne");
        varTable = row + size - maskSize - 2; // entry i at varTable - 2 * (i + 1)
        eod = rd16(varTable - 2 * (varCount + 1));
    }
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnLayout& c = table.columns[i];
        Field& f = out[i];
        if (c.type == ColumnType::Boolean) {
            f.null = false;
            f.boolean = present(c.number);
            continue;
        }
        if (!present(c.number))
            continue;
        if (c.fixed()) {
            int n = fixedBytes(c.type, c.length);
            if (2 + size_t(c.fixedOffset) + size_t(n) > size)
                corrupt(page, "colonne fixe hors de la ligne");
            f.null = false;
            f.bytes.assign(row + 2 + c.fixedOffset, row + 2 + c.fixedOffset + n);
        } else {
            if (c.varIndex >= varCount)
                continue;
            size_t start = rd16(varTable - 2 * (c.varIndex + 1));
            size_t end = size_t(c.varIndex) + 1 < varCount ? rd16(varTable - 2 * (c.varIndex + 2)) : eod;
            if (start > end || end > size)
                corrupt(page, "colonne variable hors de la ligne");
            f.null = false;
            f.bytes.assign(row + start, row + end);
        }
    }
    return out;
}

std::vector<uint8_t> encodeRow(const TableLayout& table, const std::vector<Field>& fields)
{
    uint16_t columnCount = table.maxColumns;
    for (const auto& c : table.columns)
        columnCount = std::max<uint16_t>(columnCount, uint16_t(c.number + 1));
    std::vector<uint8_t> mask((columnCount + 7) / 8, 0);

    int fixedEnd = 0;
    for (const auto& c : table.columns)
        if (c.fixed())
            fixedEnd = std::max(fixedEnd, int(c.fixedOffset) + fixedBytes(c.type, c.length));
    std::vector<uint8_t> row(2 + size_t(fixedEnd), 0);
    wr16(row.data(), columnCount);
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnLayout& c = table.columns[i];
        const Field& f = fields[i];
        if (c.type == ColumnType::Boolean) {
            if (f.boolean)
                mask[c.number >> 3] |= uint8_t(1 << (c.number & 7));
            continue;
        }
        if (!c.fixed() || f.null)
            continue;
        mask[c.number >> 3] |= uint8_t(1 << (c.number & 7));
        std::memcpy(row.data() + 2 + c.fixedOffset, f.bytes.data(),
                    std::min<size_t>(f.bytes.size(), size_t(fixedBytes(c.type, c.length))));
    }
    if (table.varColumns > 0) {
        uint16_t varSlots = table.varColumns;
        for (const auto& c : table.columns)
            if (!c.fixed() && c.type != ColumnType::Boolean)
                varSlots = std::max<uint16_t>(varSlots, uint16_t(c.varIndex + 1));
        std::vector<const Field*> byIndex(varSlots, nullptr);
        std::vector<const ColumnLayout*> colByIndex(varSlots, nullptr);
        for (size_t i = 0; i < table.columns.size(); ++i) {
            const ColumnLayout& c = table.columns[i];
            if (c.fixed() || c.type == ColumnType::Boolean)
                continue;
            byIndex[c.varIndex] = &fields[i];
            colByIndex[c.varIndex] = &c;
        }
        std::vector<uint16_t> offsets(varSlots);
        for (uint16_t v = 0; v < varSlots; ++v) {
            offsets[v] = uint16_t(row.size());
            const Field* f = byIndex[v];
            if (f && !f->null) {
                const ColumnLayout& c = *colByIndex[v];
                mask[c.number >> 3] |= uint8_t(1 << (c.number & 7));
                row.insert(row.end(), f->bytes.begin(), f->bytes.end());
            }
            if (row.size() > size_t(kMaxRowSize))
                break;
        }
        uint16_t eod = uint16_t(row.size());
        putLE(row, eod, 2);
        for (int v = int(varSlots) - 1; v >= 0; --v)
            putLE(row, offsets[size_t(v)], 2);
        putLE(row, varSlots, 2);
    }
    row.insert(row.end(), mask.begin(), mask.end());
    if (row.size() > size_t(kMaxRowSize))
        throw Error(Code::InvalidValue, "ligne trop longue (" + std::to_string(row.size()) + " octets, " +
                                            std::to_string(kMaxRowSize) + " au plus)");
    return row;
}

std::vector<uint8_t> encodeText(const std::string& utf8, bool allowCompression, size_t* chars)
{
    std::u16string u = toUtf16(utf8);
    if (chars)
        *chars = u.size();
    std::vector<uint8_t> out;
    bool compress = allowCompression && u.size() > 2 && u.size() <= size_t(kMaxCompressedChars);
    if (compress)
        for (char16_t c : u)
            if (c < 1 || c > 0xFF) {
                compress = false;
                break;
            }
    if (compress) {
        out.reserve(u.size() + 2);
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (char16_t c : u)
            out.push_back(uint8_t(c));
    } else {
        out.reserve(u.size() * 2);
        for (char16_t c : u) {
            out.push_back(uint8_t(c));
            out.push_back(uint8_t(c >> 8));
        }
    }
    return out;
}

std::string decodeText(const uint8_t* data, size_t size)
{
    std::u16string u;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        bool compressed = true;
        for (size_t i = 2; i < size;) {
            if (data[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                u.push_back(char16_t(data[i++]));
            } else {
                if (i + 1 >= size)
                    break;
                u.push_back(char16_t(data[i] | data[i + 1] << 8));
                i += 2;
            }
        }
    } else {
        for (size_t i = 0; i + 1 < size; i += 2)
            u.push_back(char16_t(data[i] | data[i + 1] << 8));
    }
    std::string out;
    for (size_t i = 0; i < u.size(); ++i) {
        uint32_t cp = u[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (u[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | cp >> 6));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | cp >> 12));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | cp >> 18));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

Field encodeValue(const ColumnLayout& c, const Value& v)
{
    Field f;
    if (v.isNull()) {
        if (c.type == ColumnType::Boolean)
            f.null = false; // Boolean columns cannot be null: false
        return f;
    }
    f.null = false;
    auto asInteger = [&]() -> int64_t {
        switch (v.kind()) {
        case Value::Kind::Int: return v.asInt();
        case Value::Kind::Bool: return v.asBool() ? -1 : 0;
        case Value::Kind::Double: {
            double d = v.asDouble();
            if (!std::isfinite(d) || d != std::floor(d))
                wrongType(c, v);
            return int64_t(d);
        }
        default: wrongType(c, v);
        }
    };
    auto asReal = [&]() -> double {
        switch (v.kind()) {
        case Value::Kind::Int:
        case Value::Kind::Double:
        case Value::Kind::Currency:
        case Value::Kind::Bool: return v.asDouble();
        default: wrongType(c, v);
        }
    };
    auto range = [&](int64_t x, int64_t lo, int64_t hi) {
        if (x < lo || x > hi)
            throw Error(Code::InvalidValue, "valeur hors limites pour la colonne « " + c.name + " »");
        return x;
    };
    switch (c.type) {
    case ColumnType::Boolean:
        if (v.kind() == Value::Kind::Bool)
            f.boolean = v.asBool();
        else if (v.kind() == Value::Kind::Int)
            f.boolean = v.asInt() != 0;
        else
            wrongType(c, v);
        break;
    case ColumnType::Byte: putLE(f.bytes, uint64_t(range(asInteger(), 0, 255)), 1); break;
    case ColumnType::Integer: putLE(f.bytes, uint64_t(range(asInteger(), -32768, 32767)), 2); break;
    case ColumnType::Long: putLE(f.bytes, uint64_t(range(asInteger(), INT32_MIN, INT32_MAX)), 4); break;
    case ColumnType::BigInt: putLE(f.bytes, uint64_t(asInteger()), 8); break;
    case ColumnType::Currency: {
        int64_t units;
        if (v.kind() == Value::Kind::Currency)
            units = v.asCurrency();
        else if (v.kind() == Value::Kind::Int)
            units = v.asInt() * 10000;
        else
            units = int64_t(std::llround(asReal() * 10000.0));
        putLE(f.bytes, uint64_t(units), 8);
        break;
    }
    case ColumnType::Single: {
        float x = float(asReal());
        uint32_t bits;
        std::memcpy(&bits, &x, 4);
        putLE(f.bytes, bits, 4);
        break;
    }
    case ColumnType::Double: {
        double x = asReal();
        uint64_t bits;
        std::memcpy(&bits, &x, 8);
        putLE(f.bytes, bits, 8);
        break;
    }
    case ColumnType::DateTime: {
        if (v.kind() != Value::Kind::DateTime)
            wrongType(c, v);
        double x = v.asDateTime();
        uint64_t bits;
        std::memcpy(&bits, &x, 8);
        putLE(f.bytes, bits, 8);
        break;
    }
    case ColumnType::Guid: {
        if (v.kind() != Value::Kind::Guid)
            wrongType(c, v);
        auto g = v.asGuid();
        f.bytes.assign(g.begin(), g.end());
        break;
    }
    case ColumnType::Text: {
        if (v.kind() != Value::Kind::Text)
            wrongType(c, v);
        size_t chars = 0;
        f.bytes = encodeText(v.asText(), c.compressed(), &chars);
        size_t maxChars = c.length / 2;
        if (maxChars == 0)
            maxChars = 255;
        if (chars > maxChars)
            throw Error(Code::InvalidValue, "texte trop long pour la colonne « " + c.name + " » (" +
                                                std::to_string(chars) + " caractères, " +
                                                std::to_string(maxChars) + " au plus)");
        break;
    }
    case ColumnType::Binary: {
        if (v.kind() != Value::Kind::Binary)
            wrongType(c, v);
        f.bytes = v.asBinary();
        if (c.length && f.bytes.size() > c.length)
            throw Error(Code::InvalidValue, "valeur binaire trop longue pour la colonne « " + c.name + " »");
        break;
    }
    case ColumnType::Numeric: f.bytes = encodeNumeric(c, v); break;
    default:
        throw Error(Code::Unsupported, "écriture d'une colonne de type " + std::string(typeLabel(c.type)) +
                                           " non prise en charge (« " + c.name + " »)");
    }
    return f;
}

} // namespace jet::writer
