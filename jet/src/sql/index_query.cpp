#include "sql/index_query.h"

#include "index/index_reader.h"

#include <algorithm>
#include <cmath>

namespace jet::detail {

namespace {

using sql::CompareOp;
using sql::Condition;
using sql::Operand;

// Types whose key order is the order in which SQL compares their values.
bool orderedType(ColumnType type)
{
    switch (type) {
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency:
    case ColumnType::DateTime: return true;
    default: return false;
    }
}

// The literal as a value of the column's type, when it is exactly one.
std::optional<Value> keyLiteral(ColumnType type, const Operand& literal)
{
    if (literal.kind == Operand::Kind::Text) {
        if (type == ColumnType::Text || type == ColumnType::Memo)
            return Value::text(literal.literal.asText());
        return std::nullopt;
    }
    if (literal.kind != Operand::Kind::Number && literal.kind != Operand::Kind::Date &&
        literal.kind != Operand::Kind::Boolean)
        return std::nullopt;
    double d = literal.literal.asDouble();
    if (!std::isfinite(d))
        return std::nullopt;
    switch (type) {
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
        if (d != std::floor(d) || d < -2147483648.0 || d > 2147483647.0)
            return std::nullopt;
        return Value::integer(int64_t(d));
    case ColumnType::Currency: {
        if (std::fabs(d) > 9e14)
            return std::nullopt;
        int64_t units = std::llround(d * 10000.0);
        if (double(units) / 10000.0 != d)
            return std::nullopt;
        return Value::currency(units);
    }
    case ColumnType::DateTime: return Value::dateTime(d);
    default: return std::nullopt;
    }
}

// The key of the literal in an index column, when the literal is exactly a
// value of the column's type and has a key.
std::optional<std::vector<uint8_t>> literalKey(const KeyColumn& keyColumn, ColumnType type, const Operand& literal)
{
    std::optional<Value> value = keyLiteral(type, literal);
    if (!value)
        return std::nullopt;
    std::vector<uint8_t> key;
    try {
        appendColumnKey(keyColumn, *value, key);
    } catch (const Error&) {
        return std::nullopt;
    }
    return key;
}

void flatten(const Condition& c, std::vector<const Condition*>& out)
{
    if (c.kind == Condition::Kind::And) {
        flatten(*c.a, out);
        flatten(*c.b, out);
        return;
    }
    out.push_back(&c);
}

// A comparison as (column, operator, literal), the column on the left.
bool columnComparison(const Condition& c, int& column, CompareOp& op, const Operand*& literal)
{
    if (c.kind != Condition::Kind::Compare)
        return false;
    const bool leftColumn = c.left.kind == Operand::Kind::Column;
    const bool rightColumn = c.right.kind == Operand::Kind::Column;
    if (leftColumn == rightColumn)
        return false;
    op = c.op;
    if (leftColumn) {
        column = c.left.column;
        literal = &c.right;
    } else {
        column = c.right.column;
        literal = &c.left;
        switch (op) {
        case CompareOp::Less: op = CompareOp::Greater; break;
        case CompareOp::Greater: op = CompareOp::Less; break;
        case CompareOp::LessEqual: op = CompareOp::GreaterEqual; break;
        case CompareOp::GreaterEqual: op = CompareOp::LessEqual; break;
        default: break;
        }
    }
    return column >= 0 && op != CompareOp::NotEqual;
}

// The index that starts with the column, a single-column one if possible.
const IndexKeyLayout* indexFor(const std::vector<IndexKeyLayout>& layouts, int column, bool singleOnly)
{
    const IndexKeyLayout* best = nullptr;
    for (const IndexKeyLayout& l : layouts) {
        if (!l.problem.empty() || l.columns.empty() || l.columns[0] != column || l.root == 0)
            continue;
        if (singleOnly && l.columns.size() != 1)
            continue;
        if (!best || (l.columns.size() == 1 && best->columns.size() != 1))
            best = &l;
    }
    return best;
}

bool startsWith(const std::vector<uint8_t>& key, const std::vector<uint8_t>& prefix)
{
    return key.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), key.begin());
}

bool usable(const PageFile& file, const TableDef& table)
{
    return !table.physicalIndexes.empty() && indexPagesSupported(file.pageSize());
}

} // namespace

std::optional<std::vector<RowPointer>> indexCandidates(const PageFile& file, const FormatInfo& f,
                                                       const TableDef& table, const Condition& where)
{
    if (!usable(file, table))
        return std::nullopt;
    std::vector<const Condition*> conjuncts;
    flatten(where, conjuncts);
    const std::vector<IndexKeyLayout> layouts = indexLayouts(table, storedDatabaseSortOrder(file, f), f.jet3);
    FileIndexPages pages(file);

    // Equality first: the fewest rows.
    for (const Condition* c : conjuncts) {
        int column;
        CompareOp op;
        const Operand* literal;
        if (!columnComparison(*c, column, op, literal) || op != CompareOp::Equal)
            continue;
        const IndexKeyLayout* index = indexFor(layouts, column, false);
        if (!index)
            continue;
        std::optional<std::vector<uint8_t>> key =
            literalKey(index->keyColumns[0], table.columns[size_t(column)].info.type, *literal);
        if (!key)
            continue;
        IndexTree tree(pages, index->root, table.page);
        std::vector<RowPointer> rows;
        for (IndexCursor cursor = tree.lowerBound(*key); !cursor.atEnd() && startsWith(cursor.entry().key, *key);
             cursor.next())
            rows.push_back(RowPointer{cursor.entry().dataPage, cursor.entry().dataRow});
        return rows;
    }

    // Then ranges on columns whose key order is their value order.
    for (const Condition* c : conjuncts) {
        int column;
        CompareOp op;
        const Operand* literal;
        if (!columnComparison(*c, column, op, literal) || op == CompareOp::Equal)
            continue;
        const ColumnType type = table.columns[size_t(column)].info.type;
        if (!orderedType(type))
            continue;
        const IndexKeyLayout* index = indexFor(layouts, column, false);
        if (!index || !index->keyColumns[0].ascending)
            continue;
        std::optional<std::vector<uint8_t>> lower, upper;
        for (const Condition* d : conjuncts) {
            int otherColumn;
            CompareOp otherOp;
            const Operand* otherLiteral;
            if (!columnComparison(*d, otherColumn, otherOp, otherLiteral) || otherColumn != column)
                continue;
            std::optional<std::vector<uint8_t>> key = literalKey(index->keyColumns[0], type, *otherLiteral);
            if (!key)
                continue;
            if ((otherOp == CompareOp::Greater || otherOp == CompareOp::GreaterEqual) &&
                (!lower || compareKeys(*key, *lower) > 0))
                lower = key;
            if ((otherOp == CompareOp::Less || otherOp == CompareOp::LessEqual) &&
                (!upper || compareKeys(*key, *upper) < 0))
                upper = key;
        }
        if (!lower && !upper)
            continue;
        IndexTree tree(pages, index->root, table.page);
        std::vector<RowPointer> rows;
        // Non-null values only: their keys start with 0x7F, nulls with 0x00.
        IndexCursor cursor = tree.lowerBound(lower ? *lower : std::vector<uint8_t>{0x7F});
        for (; !cursor.atEnd(); cursor.next()) {
            const IndexEntry& e = cursor.entry();
            if (upper && compareKeys(e.key, *upper) > 0 && !startsWith(e.key, *upper))
                break;
            rows.push_back(RowPointer{e.dataPage, e.dataRow});
        }
        return rows;
    }
    return std::nullopt;
}

std::optional<std::vector<RowPointer>> indexOrder(const PageFile& file, const FormatInfo& f, const TableDef& table,
                                                  const std::vector<sql::OrderKey>& orderBy)
{
    if (orderBy.size() != 1 || orderBy[0].column < 0 || !usable(file, table))
        return std::nullopt;
    const int column = orderBy[0].column;
    // Text keys are the collation keys by which a sort orders text too
    // (row_order.h).
    if (!orderedType(table.columns[size_t(column)].info.type) && !table.columns[size_t(column)].isText())
        return std::nullopt;
    const std::vector<IndexKeyLayout> layouts = indexLayouts(table, storedDatabaseSortOrder(file, f), f.jet3);
    const IndexKeyLayout* index = indexFor(layouts, column, true);
    if (!index || index->ignoreNulls)
        return std::nullopt;

    FileIndexPages pages(file);
    IndexTree tree(pages, index->root, table.page);
    // Groups of equal keys, each in row-pointer (physical) order.
    std::vector<std::pair<size_t, size_t>> groups;
    std::vector<RowPointer> rows;
    std::vector<uint8_t> previous;
    rows.reserve(table.rowCount);
    for (IndexCursor cursor = tree.begin(); !cursor.atEnd(); cursor.next()) {
        const IndexEntry& e = cursor.entry();
        if (rows.empty() || e.key != previous) {
            groups.emplace_back(rows.size(), 0);
            previous = e.key;
        }
        rows.push_back(RowPointer{e.dataPage, e.dataRow});
        ++groups.back().second;
    }
    if (index->keyColumns[0].ascending == orderBy[0].ascending)
        return rows;
    std::vector<RowPointer> reversed;
    reversed.reserve(rows.size());
    for (auto g = groups.rbegin(); g != groups.rend(); ++g)
        reversed.insert(reversed.end(), rows.begin() + long(g->first), rows.begin() + long(g->first + g->second));
    return reversed;
}

} // namespace jet::detail
