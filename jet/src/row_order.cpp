#include "row_order.h"

#include <algorithm>
#include <numeric>

namespace jet::detail {

void textSortKey(SortOrder order, const Value& value, std::string& out, std::u16string& units,
                 std::vector<uint8_t>& scratch)
{
    out.clear();
    if (value.isNull()) {
        out.push_back('\x00');
        return;
    }
    const std::string& text = value.asText();
    units.clear();
    bool ascii = true;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        units.assign(text.begin(), text.end());
    } else {
        try {
            units = utf16UnitsOfUtf8(text);
        } catch (const Error&) {
            units.clear(); // not text the file could hold: sorts as empty
        }
    }
    scratch.clear();
    try {
        appendTextKey(order, units, true, scratch);
    } catch (const Error&) {
        // Units outside the tables: the key of the others.
        std::u16string known;
        CharCode code;
        for (char16_t u : units)
            if (lookupChar(order, u, code))
                known.push_back(u);
        scratch.clear();
        try {
            appendTextKey(order, known, true, scratch);
        } catch (const Error&) {
            scratch.assign(1, 0x7F);
        }
    }
    out.assign(scratch.begin(), scratch.end());
}

RowOrder::RowOrder(const TableDef& table, const std::vector<sql::OrderKey>& orderBy, uint32_t databaseSortOrder,
                   bool jet3)
{
    const SortOrder databaseOrder = sortOrderFromStored(databaseSortOrder, jet3);
    for (const sql::OrderKey& k : orderBy) {
        Column c;
        c.def = &table.columns.at(size_t(k.column));
        c.ascending = k.ascending;
        if (c.def->isText()) {
            c.order = columnSortOrder(c.def->sortOrder, databaseOrder, jet3);
            c.collated = c.order != SortOrder::Unsupported;
        }
        columns_.push_back(c);
    }
}

void RowOrder::add(const RowReader& row)
{
    for (const Column& c : columns_) {
        if (c.collated) {
            keys_.emplace_back();
            textSortKey(c.order, row.value(*c.def), keys_.back(), units_, scratch_);
            values_.emplace_back();
        } else {
            values_.push_back(row.value(*c.def));
            keys_.emplace_back();
        }
    }
}

int RowOrder::compare(size_t a, size_t b, size_t k) const
{
    const size_t n = columns_.size();
    if (columns_[k].collated) {
        int c = keys_[a * n + k].compare(keys_[b * n + k]);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    return sql::compareValues(values_[a * n + k], values_[b * n + k]);
}

std::vector<size_t> RowOrder::order() const
{
    const size_t n = columns_.size();
    std::vector<size_t> order(n ? values_.size() / n : 0);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        for (size_t k = 0; k < n; ++k) {
            int c = compare(a, b, k);
            if (c != 0)
                return columns_[k].ascending ? c < 0 : c > 0;
        }
        return false;
    });
    return order;
}

} // namespace jet::detail
