#include "format/calculated_columns.h"

#include "format/long_value.h"
#include "format/row_codec.h"
#include "format/table_scan.h"
#include "format/text.h"

#include <cstring>

namespace jet::detail {

namespace {

constexpr size_t kWrapperHeader = 20; // 16 bytes, then the value's length

template <typename T>
T loadAs(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

struct Reader {
    const uint8_t* p;
    size_t size, at = 0;
    bool has(size_t n) const { return at <= size && size - at >= n; }
    uint16_t u16() { return uint16_t(p[at] | p[at + 1] << 8); }
    uint32_t u32() { return uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 | uint32_t(p[at + 3]) << 24; }
};

struct CalculatedProperties {
    std::string column, expression;
    int resultType = 0;
};

std::string utf16(const uint8_t* p, size_t n)
{
    std::string out;
    appendUcs2(out, p, n);
    return out;
}

// The per-column property maps of a LvProp blob: "MR2\0", then blocks of
// [length u32 (itself included)][type u16]: type 0x80 lists the property
// names ([length u16][UTF-16]), type 1 is a column's map: [length u32][name
// length u16][name], then properties [length u16][ddl u8][type u8][name
// index u16][size u16][value]. Stops at the first inconsistency.
std::vector<CalculatedProperties> columnProperties(const std::vector<uint8_t>& blob)
{
    std::vector<CalculatedProperties> out;
    if (blob.size() < 4 || std::memcmp(blob.data(), "MR2\0", 4) != 0)
        return out;
    std::vector<std::string> names;
    Reader r{blob.data(), blob.size(), 4};
    while (r.has(6)) {
        const size_t start = r.at, length = r.u32();
        if (length < 6 || !Reader{blob.data(), blob.size(), start}.has(length))
            break;
        const size_t end = start + length;
        r.at += 4;
        const uint16_t type = r.u16();
        r.at += 2;
        if (type == 0x80) {
            while (r.at + 2 <= end) {
                const uint16_t n = r.u16();
                if (r.at + 2 + n > end)
                    break;
                names.push_back(utf16(r.p + r.at + 2, n));
                r.at += 2 + size_t(n);
            }
        } else if (type == 0x01 && r.at + 6 <= end) {
            CalculatedProperties column;
            const size_t nameBlock = r.u32();
            const uint16_t nameLength = uint16_t(r.p[r.at + 4] | r.p[r.at + 5] << 8);
            if (nameBlock < 6 || r.at + nameBlock > end || 6 + size_t(nameLength) > nameBlock)
                break;
            column.column = utf16(r.p + r.at + 6, nameLength);
            r.at += nameBlock;
            while (r.at + 8 <= end) {
                const uint16_t valueLength = r.u16();
                const uint8_t valueType = r.p[r.at + 3];
                const uint16_t nameIndex = uint16_t(r.p[r.at + 4] | r.p[r.at + 5] << 8);
                const uint16_t size = uint16_t(r.p[r.at + 6] | r.p[r.at + 7] << 8);
                if (valueLength < 8 || r.at + valueLength > end || 8 + size_t(size) > valueLength)
                    break;
                const uint8_t* value = r.p + r.at + 8;
                const std::string name = nameIndex < names.size() ? names[nameIndex] : std::string();
                if (name == "Expression" && (valueType == 0x0A || valueType == 0x0C))
                    column.expression = utf16(value, size);
                else if (name == "ResultType" && size >= 1)
                    column.resultType = value[0];
                r.at += valueLength;
            }
            out.push_back(std::move(column));
        }
        r.at = end;
    }
    return out;
}

bool knownResultType(int t)
{
    return (t >= 0x01 && t <= 0x0C && t != 0x09 && t != 0x0B) || t == 0x0F || t == 0x10 || t == 0x13;
}

} // namespace

void describeCalculatedColumns(const PageFile& file, const FormatInfo& f, const TableDef& objects, TableDef& def)
{
    const int id = objects.columnIndex("Id"), name = objects.columnIndex("Name"), props = objects.columnIndex("LvProp");
    if (id < 0 || name < 0 || props < 0)
        return;
    std::vector<uint8_t> blob;
    RowReader reader(file, f, objects);
    scanTable(file, f, objects, [&](RowPointer where) {
        ByteRange row(file, where.page, nullptr, 0);
        if (!rowData(file, f, where, row))
            return;
        reader.load(row);
        const Value i = reader.value(objects.columns[size_t(id)]);
        if (i.kind() != Value::Kind::Int || (uint32_t(i.asInt()) & 0x00FFFFFF) != def.page)
            return;
        const Value n = reader.value(objects.columns[size_t(name)]);
        if (n.kind() != Value::Kind::Text || compareIgnoringCase(n.asText(), def.name) != 0)
            return;
        const Value p = reader.value(objects.columns[size_t(props)]);
        if (p.kind() == Value::Kind::Binary)
            blob = p.asBinary();
    });
    const std::vector<CalculatedProperties> properties = columnProperties(blob);
    for (ColumnDef& c : def.columns) {
        if (!c.calculated)
            continue;
        c.info.calculated = true;
        for (const CalculatedProperties& p : properties) {
            if (compareIgnoringCase(p.column, c.info.name) != 0)
                continue;
            c.info.expression = p.expression;
            if (knownResultType(p.resultType)) {
                c.info.type = ColumnType(p.resultType);
                c.info.maxChars = c.info.type == ColumnType::Text ? c.length / 2 : 0;
                c.info.precision = c.info.scale = 0;
            }
        }
    }
}

bool calculatedPayload(const uint8_t* data, size_t size, const uint8_t*& payload, size_t& payloadSize)
{
    if (size < kWrapperHeader)
        return false;
    const size_t length = uint32_t(data[16]) | uint32_t(data[17]) << 8 | uint32_t(data[18]) << 16 | uint32_t(data[19]) << 24;
    if (length > size - kWrapperHeader)
        return false;
    payload = data + kWrapperHeader;
    payloadSize = length;
    return true;
}

Value unwrapCalculatedValue(const ByteRange& row, const ColumnDef& column, const uint8_t* data, size_t size)
{
    const uint8_t* p = nullptr;
    size_t n = 0;
    if (!calculatedPayload(data, size, p, n))
        row.corrupt("colonne calculée " + column.info.name + " : enveloppe de " + std::to_string(size) + " octets illisible");
    if (n == 0)
        return Value(); // a Null result (of a Null operand)
    auto need = [&](size_t want) {
        if (n < want)
            row.corrupt("colonne calculée " + column.info.name + " : " + std::to_string(n) + " octets au lieu de " +
                        std::to_string(want));
        return p;
    };
    switch (column.info.type) {
    case ColumnType::Boolean: return Value::boolean(need(1)[0] != 0);
    case ColumnType::Byte: return Value::integer(need(1)[0]);
    case ColumnType::Integer: return Value::integer(int16_t(le16(need(2))));
    case ColumnType::Long: return Value::integer(int32_t(le32(need(4))));
    case ColumnType::BigInt: return Value::integer(loadAs<int64_t>(need(8)));
    case ColumnType::Currency: return Value::currency(loadAs<int64_t>(need(8)));
    case ColumnType::Single: return Value::single(loadAs<float>(need(4)));
    case ColumnType::Double: return Value::real(loadAs<double>(need(8)));
    case ColumnType::DateTime: return Value::dateTime(loadAs<double>(need(8)));
    case ColumnType::Guid: {
        std::array<uint8_t, 16> g{};
        std::memcpy(g.data(), need(16), 16);
        return Value::guid(g);
    }
    case ColumnType::Numeric: {
        // [2 bytes][scale][sign][high][low][middle] -> the stored form of a
        // Decimal column: [sign][0][high][middle][low].
        need(16);
        uint8_t stored[17] = {};
        stored[0] = p[3] ? 0x80 : 0;
        std::memcpy(stored + 5, p + 4, 4);
        std::memcpy(stored + 9, p + 12, 4);
        std::memcpy(stored + 13, p + 8, 4);
        return Value::decimal(decodeNumeric(stored, p[2]));
    }
    case ColumnType::Text:
    case ColumnType::Memo: return Value::text(decodeUnicodeText(p, n));
    default: return Value::unsupported("colonne calculée de type " + std::to_string(column.info.typeCode));
    }
}

Value RowReader::calculatedValue(const ColumnDef& column) const
{
    const uint8_t* p = nullptr;
    size_t n = 0;
    if (isNull(column) || !presentBytes(column, p, n))
        return Value();
    if (column.info.type != ColumnType::Memo)
        return unwrapCalculatedValue(row_, column, p, n);
    const std::string raw = readLongValue(*file_, *f_, row_.sub(size_t(p - row_.data()), n), longValues_);
    return unwrapCalculatedValue(row_, column, reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
}

void refuseWritesToCalculatedTable(const TableDef& def)
{
    std::string names;
    for (const ColumnDef& c : def.columns) {
        if (c.calculated)
            names += (names.empty() ? "« " : ", « ") + c.info.name + " »";
    }
    if (!names.empty())
        throw Error(Code::Unsupported, "table à colonnes calculées (" + names +
                                           ") : Velmor ne sait pas calculer leurs valeurs, il n'ajoute ni ne modifie "
                                           "de lignes dans cette table (la suppression reste possible)");
}

} // namespace jet::detail
