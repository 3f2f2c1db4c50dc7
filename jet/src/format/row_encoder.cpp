#include "format/row_encoder.h"

#include "format/data_page_writer.h"
#include "format/decimal.h"
#include "format/jet3_row.h"
#include "format/extended_date.h"
#include "format/usage_map.h"
#include "format/text.h"
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

const char* typeLabel(ColumnType t)
{
    return columnTypeName(t);
}

[[noreturn]] void wrongType(const ColumnDef& c, const Value& v)
{
    (void)v;
    throw Error(Code::InvalidValue, "valeur de type incompatible pour la colonne « " + c.info.name + " » (" +
                                        typeLabel(c.info.type) + ")");
}

void putLE(std::vector<uint8_t>& out, uint64_t v, int n)
{
    const size_t at = out.size();
    out.resize(at + size_t(n)); // one allocation for a value's bytes, not one per doubling
    for (int i = 0; i < n; ++i)
        out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// The exact decimal text of a value written to a Decimal column.
std::string decimalTextOf(const ColumnDef& c, const Value& v)
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
            throw Error(Code::InvalidValue, "valeur non finie pour la colonne décimale « " + c.info.name + " »");
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

std::vector<uint8_t> encodeNumeric(const ColumnDef& c, const Value& v)
{
    const int precision = c.info.precision, scale = c.info.scale;
    if (precision < 1 || precision > kMaxNumericPrecision || scale > precision)
        throw Error(Code::Unsupported, "colonne décimale « " + c.info.name + " » : précision " +
                                           std::to_string(precision) + " et échelle " + std::to_string(scale) +
                                           " non prises en charge, écriture refusée");
    const std::string text = decimalTextOf(c, v);
    std::optional<detail::DecimalDigits> d = detail::parseDecimal(text);
    if (!d)
        throw Error(Code::InvalidValue, "valeur décimale invalide pour la colonne « " + c.info.name + " » : « " + text +
                                            " »");
    // Significant digits after the point beyond the scale (trailing zeros
    // were dropped): refused rather than rounded.
    const long fractionDigits = long(d->digits.size()) - d->point;
    if (fractionDigits > scale)
        throw Error(Code::InvalidValue, "valeur décimale trop précise pour la colonne « " + c.info.name + " » (" +
                                            decimalPlaces(scale) + ")");
    if (!d->digits.empty() && d->point > precision - scale)
        throw Error(Code::InvalidValue, "valeur hors limites pour la colonne « " + c.info.name + " » (" +
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

std::vector<uint8_t> encodeColumnText(const ColumnDef& c, const std::string& text, size_t* chars)
{
    if (!c.codePageText)
        return detail::encodeUnicodeText(text, c.info.compressedUnicode, chars);
    std::vector<uint8_t> bytes;
    std::string missing;
    if (!detail::encodeCodePageText(text, c.codePage, bytes, missing))
        throw Error(Code::InvalidValue,
                    "le caractère « " + missing + " » ne peut pas être enregistré dans la colonne « " + c.info.name +
                        " » : une base Access 97 range son texte dans la page de codes " +
                        std::to_string(c.codePage ? c.codePage : 1252) + ", qui ne le contient pas");
    if (chars)
        *chars = bytes.size(); // one byte a character in the single-byte pages; never more bytes than the column holds
    return bytes;
}

std::string decodeColumnText(const ColumnDef& c, const std::vector<uint8_t>& bytes)
{
    return c.codePageText ? detail::decodeCodePageText(bytes.data(), bytes.size(), c.codePage)
                          : detail::decodeUnicodeText(bytes.data(), bytes.size());
}

std::vector<Field> decodeFields(const TableDef& table, const uint8_t* row, size_t size, uint32_t page)
{
    const detail::FormatInfo& f = *table.format;
    const bool jet3 = f.rowOffsetSize == 1;
    std::vector<Field> out(table.columns.size());
    if (size < size_t(f.rowColumnCountSize) + 1)
        corrupt(page, "ligne trop courte");
    const uint16_t count = jet3 ? row[0] : rd16(row);
    const size_t maskSize = (size_t(count) + 7) / 8;
    if (maskSize + size_t(f.rowColumnCountSize) > size)
        corrupt(page, "ligne trop courte pour son masque de nullité");
    const uint8_t* mask = row + size - maskSize;
    auto present = [&](uint16_t n) { return n < count && ((mask[n >> 3] >> (n & 7)) & 1); };

    // Offsets of the variable columns, the end of the last one after them.
    std::vector<uint16_t> offsets;
    if (table.varColumnCount > 0 && jet3) {
        if (!detail::readJet3Offsets(row, size, maskSize, offsets))
            corrupt(page, "table des colonnes variables hors de la ligne");
    } else if (table.varColumnCount > 0 && size >= maskSize + 4) {
        const size_t varCount = rd16(row + size - maskSize - 2);
        if (size < maskSize + 4 + 2 * varCount)
            corrupt(page, "table des colonnes variables hors de la ligne");
        const uint8_t* varTable = row + size - maskSize - 2; // entry i at varTable - 2 * (i + 1)
        for (size_t i = 0; i <= varCount; ++i)
            offsets.push_back(rd16(varTable - 2 * (i + 1)));
    }
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef& c = table.columns[i];
        Field& fd = out[i];
        if (c.info.type == ColumnType::Boolean) {
            fd.null = false;
            fd.boolean = present(c.number);
            continue;
        }
        if (!present(c.number))
            continue;
        if (c.info.fixed) {
            int n = c.fixedBytes;
            if (size_t(c.rowOffset) + size_t(n) > size)
                corrupt(page, "colonne fixe hors de la ligne");
            fd.null = false;
            fd.bytes.assign(row + c.rowOffset, row + c.rowOffset + n);
        } else {
            if (size_t(c.varIndex) + 1 >= offsets.size())
                continue;
            size_t start = offsets[c.varIndex];
            size_t end = offsets[size_t(c.varIndex) + 1];
            if (start > end || end > size)
                corrupt(page, "colonne variable hors de la ligne");
            fd.null = false;
            fd.bytes.assign(row + start, row + end);
        }
    }
    return out;
}

std::vector<uint8_t> encodeRow(const TableDef& table, const std::vector<Field>& fields)
{
    const detail::FormatInfo& format = *table.format;
    const bool jet3 = format.rowOffsetSize == 1;
    uint16_t columnCount = table.maxColumns;
    for (const auto& c : table.columns)
        columnCount = std::max<uint16_t>(columnCount, uint16_t(c.number + 1));
    std::vector<uint8_t> mask((columnCount + 7) / 8, 0);

    int fixedEnd = 0;
    for (const auto& c : table.columns)
        if (c.info.fixed)
            fixedEnd = std::max(fixedEnd, int(c.fixedOffset) + c.fixedBytes);
    if (jet3 && columnCount > 255)
        throw Error(Code::Unsupported, "table de plus de 255 colonnes : écriture non prise en charge");
    std::vector<uint8_t> row(size_t(format.fixedDataRowOffset) + size_t(fixedEnd), 0);
    size_t expected = row.size() + mask.size() + 2 * (size_t(table.varColumnCount) + 2); // room for it all at once
    for (size_t i = 0; i < table.columns.size(); ++i)
        if (!table.columns[i].info.fixed && !fields[i].null)
            expected += fields[i].bytes.size();
    row.reserve(expected);
    if (jet3)
        row[0] = uint8_t(columnCount);
    else
        wr16(row.data(), columnCount);
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef& c = table.columns[i];
        const Field& f = fields[i];
        if (c.info.type == ColumnType::Boolean) {
            if (f.boolean)
                mask[c.number >> 3] |= uint8_t(1 << (c.number & 7));
            continue;
        }
        if (!c.info.fixed || f.null)
            continue;
        mask[c.number >> 3] |= uint8_t(1 << (c.number & 7));
        std::memcpy(row.data() + c.rowOffset, f.bytes.data(),
                    std::min<size_t>(f.bytes.size(), size_t(c.fixedBytes)));
    }
    if (table.varColumnCount > 0) {
        uint16_t varSlots = table.varColumnCount;
        for (const auto& c : table.columns)
            if (!c.info.fixed && c.info.type != ColumnType::Boolean)
                varSlots = std::max<uint16_t>(varSlots, uint16_t(c.varIndex + 1));
        std::vector<const Field*> byIndex(varSlots, nullptr);
        std::vector<const ColumnDef*> colByIndex(varSlots, nullptr);
        for (size_t i = 0; i < table.columns.size(); ++i) {
            const ColumnDef& c = table.columns[i];
            if (c.info.fixed || c.info.type == ColumnType::Boolean)
                continue;
            byIndex[c.varIndex] = &fields[i];
            colByIndex[c.varIndex] = &c;
        }
        std::vector<uint16_t> offsets(varSlots);
        for (uint16_t v = 0; v < varSlots; ++v) {
            offsets[v] = uint16_t(row.size());
            const Field* f = byIndex[v];
            if (f && !f->null) {
                const ColumnDef& c = *colByIndex[v];
                mask[c.number >> 3] |= uint8_t(1 << (c.number & 7));
                row.insert(row.end(), f->bytes.begin(), f->bytes.end());
            }
            if (row.size() > size_t(table.format->maxRowSize))
                break;
        }
        uint16_t eod = uint16_t(row.size());
        if (jet3) {
            offsets.push_back(eod);
            if (row.size() <= size_t(format.maxRowSize) && !detail::appendJet3Tail(row, offsets, mask))
                throw Error(Code::InvalidValue, "ligne trop longue pour sa table des colonnes variables");
            mask.clear(); // appended with the tail
        } else {
            putLE(row, eod, 2);
            for (int v = int(varSlots) - 1; v >= 0; --v)
                putLE(row, offsets[size_t(v)], 2);
            putLE(row, varSlots, 2);
        }
    }
    row.insert(row.end(), mask.begin(), mask.end());
    if (row.size() > size_t(table.format->maxRowSize))
        throw Error(Code::InvalidValue, "ligne trop longue (" + std::to_string(row.size()) + " octets, " +
                                            std::to_string(table.format->maxRowSize) + " au plus)");
    return row;
}

Field encodeValue(const ColumnDef& c, const Value& v)
{
    Field f;
    if (v.isNull()) {
        if (c.info.type == ColumnType::Boolean)
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
            throw Error(Code::InvalidValue, "valeur hors limites pour la colonne « " + c.info.name + " »");
        return x;
    };
    switch (c.info.type) {
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
    case ColumnType::DateTimeExtended: {
        if (v.kind() != Value::Kind::DateTime)
            wrongType(c, v);
        const auto bytes = detail::encodeExtendedDate(v.dateTimeTicks());
        f.bytes.assign(bytes.begin(), bytes.end());
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
        f.bytes = encodeColumnText(c, v.asText(), &chars);
        size_t maxChars = c.codePageText ? c.length : c.length / 2;
        if (maxChars == 0)
            maxChars = 255;
        if (chars > maxChars)
            throw Error(Code::InvalidValue, "texte trop long pour la colonne « " + c.info.name + " » (" +
                                                std::to_string(chars) + " caractères, " +
                                                std::to_string(maxChars) + " au plus)");
        break;
    }
    case ColumnType::Binary: {
        if (v.kind() != Value::Kind::Binary)
            wrongType(c, v);
        f.bytes = v.asBinary();
        if (c.length && f.bytes.size() > c.length)
            throw Error(Code::InvalidValue, "valeur binaire trop longue pour la colonne « " + c.info.name + " »");
        break;
    }
    case ColumnType::Numeric: f.bytes = encodeNumeric(c, v); break;
    default:
        throw Error(Code::Unsupported, "écriture d'une colonne de type " + std::string(typeLabel(c.info.type)) +
                                           " non prise en charge (« " + c.info.name + " »)");
    }
    return f;
}

std::vector<detail::RowPointer> rowUsageMaps(const TableDef& table)
{
    std::vector<detail::RowPointer> maps = {table.ownedPages, table.freeSpacePages};
    for (const ColumnDef& c : table.columns)
        if (c.isLongValue() && c.hasLongValueMaps()) {
            maps.push_back(c.longValueOwned);
            maps.push_back(c.longValueFree);
        }
    return maps;
}

std::vector<LiveRow> readLiveRows(Transaction& txn, const TableDef& table)
{
    std::vector<LiveRow> out;
    UsageMap owned(txn, table.ownedPages);
    for (uint32_t page : owned.pages()) {
        if (page >= txn.pageCount())
            continue;
        DataPage dp{const_cast<uint8_t*>(txn.page(page)), txn.pageSize()};
        if (dp.p[0] != 0x01 || dp.owner() != table.page)
            continue;
        for (int r = 0; r < dp.rowCount(); ++r) {
            uint16_t s = dp.slot(r);
            if (s & kRowDeleted)
                continue;
            const uint8_t* row = dp.p + dp.rowStart(r);
            size_t size = size_t(dp.rowSize(r));
            uint32_t where = page;
            if (s & kRowOverflow) {
                uint32_t p2 = rd24(row + 1);
                int r2 = row[0];
                if (p2 >= txn.pageCount())
                    throw Error(Code::Corrupt, "page " + std::to_string(page) + " : renvoi de ligne invalide");
                DataPage dp2{const_cast<uint8_t*>(txn.page(p2)), txn.pageSize()};
                row = dp2.p + dp2.rowStart(r2);
                size = size_t(dp2.rowSize(r2));
                where = p2;
            }
            out.push_back(LiveRow{page, uint16_t(r), decodeFields(table, row, size, where)});
        }
    }
    return out;
}

} // namespace jet::writer
