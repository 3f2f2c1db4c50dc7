// Rows of a table: the column count, fixed columns, variable columns (with
// Jet3's jump table), and the null mask that also holds Boolean values.
//
// A RowReader is set on one row's bytes and decodes only the columns asked
// for. The layout facts live here so that the encoder of the write side can
// mirror them.
#pragma once

#include "format/long_value.h"
#include "format/table_def.h"
#include "jet/value.h"

#include <vector>

namespace jet::detail {

// Bytes a fixed column of this type takes in the row (0 for Boolean).
int fixedSize(const ColumnDef& column);

class RowReader {
public:
    RowReader(const PageFile& file, const FormatInfo& format, const TableDef& table)
        : file_(&file), f_(&format), table_(&table), row_(file, 0, nullptr, 0) {}

    // Sets the reader on a row: its column count, null mask and (Jet4 and
    // later) variable-offset table are checked against the row's size here,
    // once; each value's own position is checked when it is read.
    void load(const ByteRange& row);
    // Long values to take from these copies rather than from the file
    // (null: from the file). They must outlive their use.
    void useLongValues(const LongValueCopies* copies) { longValues_ = copies; }

    bool isNull(const ColumnDef& column) const
    {
        const unsigned n = column.number;
        return n >= columnCount_ || ((nullMask_[n >> 3] >> (n & 7)) & 1) == 0;
    }
    // The stored bytes of a non-null column (not for Boolean); false if null.
    bool columnBytes(const ColumnDef& column, const uint8_t*& data, size_t& size) const;
    Value value(const ColumnDef& column) const;
    // Text of a Text or Memo column (false if null).
    bool text(const ColumnDef& column, std::string& out) const;

private:
    void loadJet3Offsets() const;
    // A calculated column's value, unwrapped (calculated_columns.cpp).
    Value calculatedValue(const ColumnDef& column) const;
    // Where a variable column's bytes lie in the row; false when the row
    // predates the column.
    bool variableRange(const ColumnDef& column, size_t& start, size_t& end) const
    {
        if (f_->rowOffsetSize != 2) {
            const Jet3Range r = jet3VariableRange(column);
            start = r.start;
            end = r.end;
            return r.present;
        }
        if (!varTableRead_) [[unlikely]]
            noVariableTable();
        if (column.varIndex >= varCount_)
            return false; // the row predates the column
        const uint8_t* entry = row_.data() + varCountPos_ - 2 - 2 * size_t(column.varIndex);
        start = le16(entry);
        end = le16(entry - 2);
        if (start > end || end > varDataLimit_ || start < 2) [[unlikely]]
            badRange(column, start, end);
        return true;
    }
    struct Jet3Range {
        uint32_t start, end;
        bool present;
    };
    Jet3Range jet3VariableRange(const ColumnDef& column) const;
    bool presentBytes(const ColumnDef& column, const uint8_t*& data, size_t& size) const;
    Value otherValue(const ColumnDef& column) const;
    [[noreturn]] void noVariableTable() const;
    [[noreturn]] void badRange(const ColumnDef& column, size_t start, size_t end) const;

    const PageFile* file_;
    const FormatInfo* f_;
    const TableDef* table_;
    const LongValueCopies* longValues_ = nullptr;
    ByteRange row_;
    uint16_t columnCount_ = 0;
    size_t nullMaskSize_ = 0;
    const uint8_t* nullMask_ = nullptr;
    // Jet4 and later: the variable-offset table, read once per row.
    size_t varCountPos_ = 0;
    uint16_t varCount_ = 0;
    size_t varDataLimit_ = 0;
    bool varTableRead_ = false;
    mutable bool jet3Loaded_ = false;
    mutable std::vector<uint16_t> jet3Offsets_;
};

// Decimal text of a Numeric column's 17 stored bytes.
std::string decodeNumeric(const uint8_t* bytes, int scale);

} // namespace jet::detail
