#include "sql/row_order.h"

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
        for (char16_t u : units)
            if (canEncodeText(order, std::u16string_view(&u, 1)))
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

uint32_t RowOrder::keyId(Column& c, const Value& v)
{
    if (v.isNull()) {
        if (c.nullId == UINT32_MAX) {
            c.nullId = uint32_t(c.keys.size());
            c.keys.emplace_back(1, '\0');
        }
        return c.nullId;
    }
    auto [it, added] = c.ids.try_emplace(v.asText(), uint32_t(c.keys.size()));
    if (added) {
        c.keys.emplace_back();
        textSortKey(c.order, v, c.keys.back(), units_, scratch_);
    }
    return it->second;
}

void RowOrder::add(const RowReader& row)
{
    for (Column& c : columns_) {
        if (c.collated) {
            ids_.push_back(keyId(c, row.value(*c.def)));
            values_.emplace_back();
        } else {
            values_.push_back(row.value(*c.def));
            ids_.push_back(0);
        }
    }
}

std::vector<size_t> RowOrder::order() const
{
    const size_t n = columns_.size();
    const size_t rows = n ? values_.size() / n : 0;
    // Each collated column's keys ranked once (equal keys, equal rank); rows
    // then compare by rank.
    std::vector<std::vector<uint32_t>> ranks(n);
    for (size_t k = 0; k < n; ++k) {
        const Column& c = columns_[k];
        if (!c.collated)
            continue;
        std::vector<uint32_t> byKey(c.keys.size());
        std::iota(byKey.begin(), byKey.end(), 0u);
        std::sort(byKey.begin(), byKey.end(), [&](uint32_t a, uint32_t b) { return c.keys[a] < c.keys[b]; });
        ranks[k].resize(c.keys.size());
        uint32_t rank = 0;
        for (size_t i = 0; i < byKey.size(); ++i) {
            if (i > 0 && c.keys[byKey[i]] != c.keys[byKey[i - 1]])
                ++rank;
            ranks[k][byKey[i]] = rank;
        }
    }
    std::vector<size_t> order(rows);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        for (size_t k = 0; k < n; ++k) {
            int c;
            if (columns_[k].collated) {
                uint32_t x = ranks[k][ids_[a * n + k]], y = ranks[k][ids_[b * n + k]];
                c = x < y ? -1 : x > y ? 1 : 0;
            } else {
                c = sql::compareValues(values_[a * n + k], values_[b * n + k]);
            }
            if (c != 0)
                return columns_[k].ascending ? c < 0 : c > 0;
        }
        return false;
    });
    return order;
}

} // namespace jet::detail
