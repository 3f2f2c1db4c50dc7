#include "format/row_codec.h"

#include "format/jet3_row.h"
#include "format/extended_date.h"
#include "format/long_value.h"
#include "format/text.h"

#include <cstring>

namespace jet::detail {

int fixedSize(const ColumnDef& column)
{
    switch (column.info.type) {
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
    // A complex column holds a 4-byte key into its hidden table, whatever its
    // stored length; other types read as Complex take their stored length.
    case ColumnType::Complex:
        return column.rawType == uint8_t(ColumnType::Complex) || column.length == 0 ? 4 : column.length;
    case ColumnType::BigInt: return 8;
    case ColumnType::DateTimeExtended: return int(kExtendedDateSize);
    default: return column.length;
    }
}

namespace {

[[noreturn, gnu::cold, gnu::noinline]] void rowTooShort(const ByteRange& row, uint16_t columns)
{
    row.corrupt("ligne de " + std::to_string(row.size()) + " octets trop courte pour ses " + std::to_string(columns) +
                " colonnes");
}

} // namespace

void RowReader::load(const ByteRange& row)
{
    row_ = row;
    jet3Loaded_ = false;
    if (row.size() < size_t(f_->rowColumnCountSize)) [[unlikely]]
        row.corrupt("ligne vide");
    columnCount_ = f_->rowColumnCountSize == 1 ? row.data()[0] : le16(row.data());
    nullMaskSize_ = (size_t(columnCount_) + 7) / 8;
    if (nullMaskSize_ + size_t(f_->rowColumnCountSize) > row.size()) [[unlikely]]
        rowTooShort(row, columnCount_);
    nullMask_ = row.data() + row.size() - nullMaskSize_;
    varTableRead_ = false;
    if (f_->rowOffsetSize == 2 && table_->varColumnCount > 0 && row.size() >= nullMaskSize_ + 4) {
        // [data][eod][offsets of columns n-1 .. 0][count][null mask]
        varCountPos_ = row.size() - nullMaskSize_ - 2;
        varCount_ = le16(row.data() + varCountPos_);
        if (varCountPos_ < 2 * (size_t(varCount_) + 1)) [[unlikely]]
            row.corrupt("table des colonnes variables hors de la ligne");
        varDataLimit_ = varCountPos_ - 2 * (size_t(varCount_) + 1);
        varTableRead_ = true;
    }
}

void RowReader::noVariableTable() const
{
    row_.corrupt("ligne trop courte pour ses colonnes variables");
}

void RowReader::badRange(const ColumnDef& column, size_t start, size_t end) const
{
    row_.corrupt("colonne " + column.info.name + " : position " + std::to_string(start) + "-" + std::to_string(end) +
                 " hors de la ligne");
}

void RowReader::loadJet3Offsets() const
{
    jet3Loaded_ = true;
    if (!readJet3Offsets(row_.data(), row_.size(), nullMaskSize_, jet3Offsets_))
        row_.corrupt("table des colonnes variables hors de la ligne");
}

RowReader::Jet3Range RowReader::jet3VariableRange(const ColumnDef& column) const
{
    if (!jet3Loaded_)
        loadJet3Offsets();
    if (size_t(column.varIndex) + 1 >= jet3Offsets_.size())
        return {0, 0, false};
    const uint32_t start = jet3Offsets_[column.varIndex];
    const uint32_t end = jet3Offsets_[size_t(column.varIndex) + 1];
    if (start > end || end > row_.size() || start < 1)
        badRange(column, start, end);
    return {start, end, true};
}

bool RowReader::presentBytes(const ColumnDef& column, const uint8_t*& data, size_t& size) const
{
    if (column.info.fixed) {
        row_.need(column.rowOffset, column.fixedBytes);
        data = row_.data() + column.rowOffset;
        size = column.fixedBytes;
        return true;
    }
    size_t start = 0, end = 0;
    if (!variableRange(column, start, end))
        return false;
    data = row_.data() + start;
    size = end - start;
    return true;
}

bool RowReader::columnBytes(const ColumnDef& column, const uint8_t*& data, size_t& size) const
{
    if (isNull(column))
        return false;
    return presentBytes(column, data, size);
}

bool RowReader::text(const ColumnDef& column, std::string& out) const
{
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!columnBytes(column, data, size))
        return false;
    if (column.info.type == ColumnType::Memo) {
        std::string raw = readLongValue(*file_, *f_, row_.sub(size_t(data - row_.data()), size), longValues_);
        data = reinterpret_cast<const uint8_t*>(raw.data());
        out = f_->jet3 ? decodeCodePageText(data, raw.size(), column.codePage) : decodeUnicodeText(data, raw.size());
        return true;
    }
    out = f_->jet3 ? decodeCodePageText(data, size, column.codePage)
                   : decodeUnicodeText(data, size, row_.data(), row_.data() + row_.size());
    return true;
}

namespace {

template <typename T>
T loadAs(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

std::string decodeNumeric(const uint8_t* bytes, int scale)
{
    // A sign byte, then four little-endian 32-bit words, most significant first.
    unsigned __int128 magnitude = 0;
    for (int word = 0; word < 4; ++word)
        magnitude = magnitude << 32 | le32(bytes + 1 + 4 * word);
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    if (scale > 38)
        scale = 38;
    if (scale > 0) {
        while (digits.size() <= size_t(scale))
            digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - scale, '.');
    }
    if (bytes[0] & 0x80)
        digits.insert(digits.begin(), '-');
    return digits;
}

Value RowReader::value(const ColumnDef& column) const
{
    // The common cases first, inline: a fixed-size number or date in its
    // place, a Jet4/ACE text column.
    const ColumnType type = column.info.type;
    if (column.calculated) [[unlikely]]
        return calculatedValue(column);
    const bool null = isNull(column);
    if (type == ColumnType::Boolean)
        return Value::boolean(!null);
    if (null)
        return Value();
    if (column.info.fixed) {
        // The value's bytes, checked against the row's end.
        auto at = [&](size_t size) {
            row_.need(column.rowOffset, size);
            return row_.data() + column.rowOffset;
        };
        switch (type) {
        case ColumnType::Byte: return Value::integer(*at(1));
        case ColumnType::Integer: return Value::integer(int16_t(le16(at(2))));
        case ColumnType::Long: return Value::integer(int32_t(le32(at(4))));
        case ColumnType::BigInt: return Value::integer(loadAs<int64_t>(at(8)));
        case ColumnType::Currency: return Value::currency(loadAs<int64_t>(at(8)));
        case ColumnType::Single: return Value::single(loadAs<float>(at(4)));
        case ColumnType::Double: return Value::real(loadAs<double>(at(8)));
        case ColumnType::DateTime: return Value::dateTime(loadAs<double>(at(8)));
        default: break;
        }
    } else if (type == ColumnType::Text && !f_->jet3) {
        size_t start = 0, end = 0;
        if (!variableRange(column, start, end))
            return Value();
        const uint8_t* text = row_.data() + start;
        return Value(
            Value::Kind::Text,
            [&] { return decodeUnicodeText(text, end - start, row_.data(), row_.data() + row_.size()); }, 0);
    }
    return otherValue(column);
}

static Value unconvertedValue(const ColumnDef& column, const uint8_t* p, size_t n)
{
    if (column.rawType == uint8_t(ColumnType::Complex) && n == 4)
        return Value::unsupported(std::to_string(int32_t(le32(p))));
    static const char* hex = "0123456789ABCDEF";
    std::string text = "RawData[(" + std::to_string(n) + ")";
    for (size_t i = 0; i < n; ++i) {
        text += i % 4 == 0 && i > 0 ? "  " : " ";
        text += hex[p[i] >> 4];
        text += hex[p[i] & 15];
    }
    return Value::unsupported(text + "]");
}

Value RowReader::otherValue(const ColumnDef& column) const
{
    const ColumnType type = column.info.type;
    const uint8_t* p = nullptr;
    size_t n = 0;
    if (isNull(column) || !presentBytes(column, p, n))
        return Value();
    if (type == ColumnType::Complex)
        return unconvertedValue(column, p, n);
    auto needFixed = [&](size_t want) {
        if (n < want)
            row_.corrupt("colonne " + column.info.name + " : " + std::to_string(n) + " octets au lieu de " +
                         std::to_string(want));
    };
    switch (type) {
    case ColumnType::Byte: needFixed(1); return Value::integer(p[0]);
    case ColumnType::Integer: needFixed(2); return Value::integer(int16_t(le16(p)));
    case ColumnType::Long: needFixed(4); return Value::integer(int32_t(le32(p)));
    case ColumnType::BigInt: needFixed(8); return Value::integer(loadAs<int64_t>(p));
    case ColumnType::Currency: needFixed(8); return Value::currency(loadAs<int64_t>(p));
    case ColumnType::Single: needFixed(4); return Value::single(loadAs<float>(p));
    case ColumnType::Double: needFixed(8); return Value::real(loadAs<double>(p));
    case ColumnType::DateTime: needFixed(8); return Value::dateTime(loadAs<double>(p));
    case ColumnType::Guid: {
        needFixed(16);
        std::array<uint8_t, 16> g{};
        std::memcpy(g.data(), p, 16);
        return Value::guid(g);
    }
    case ColumnType::Numeric: needFixed(17); return Value::decimal(decodeNumeric(p, column.info.scale));
    case ColumnType::DateTimeExtended: {
        const std::optional<int64_t> ticks = decodeExtendedDate(p, n);
        if (!ticks)
            row_.corrupt("colonne " + column.info.name + " : date/heure étendue illisible");
        return Value::dateTimeExtended(*ticks);
    }
    case ColumnType::Text:
        return Value::text(f_->jet3 ? decodeCodePageText(p, n, column.codePage) : decodeUnicodeText(p, n));
    case ColumnType::Binary: return Value::binary(std::vector<uint8_t>(p, p + n));
    case ColumnType::Memo:
    case ColumnType::OLE: {
        std::string raw = readLongValue(*file_, *f_, row_.sub(size_t(p - row_.data()), n), longValues_);
        if (type == ColumnType::OLE)
            return Value::binary(std::vector<uint8_t>(raw.begin(), raw.end()));
        const uint8_t* d = reinterpret_cast<const uint8_t*>(raw.data());
        return Value::text(f_->jet3 ? decodeCodePageText(d, raw.size(), column.codePage)
                                    : decodeUnicodeText(d, raw.size()));
    }
    default: return Value::unsupported("type de colonne non pris en charge");
    }
}

} // namespace jet::detail
