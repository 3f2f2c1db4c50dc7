// The SQL subset that row sources use:
//
//   SELECT * FROM table [WHERE condition] [ORDER BY col [ASC|DESC], ...]
//
// A tokenizer, a recursive-descent parser, binding of names to the table's
// columns, and the evaluator (Jet's three-valued logic: a comparison with
// NULL is unknown, never true; text compares whole values ignoring case).
#pragma once

#include "row_codec.h"
#include "jet/value.h"

#include <memory>
#include <string>
#include <vector>

namespace jet::detail::sql {

enum class CompareOp { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };

struct Operand {
    enum class Kind { Column, Text, Number, Date, Null };
    Kind kind = Kind::Null;
    std::string name;     // column name as written
    int column = -1;      // bound column index
    Value literal;
    std::string number;   // a number's text as written ("-0.1"), for exact decimal comparisons
};

struct Condition {
    enum class Kind { And, Or, Not, Compare, IsNull, IsNotNull };
    Kind kind = Kind::Compare;
    CompareOp op = CompareOp::Equal;
    Operand left, right;
    std::unique_ptr<Condition> a, b;
};

struct OrderKey {
    std::string name;
    int column = -1;
    bool ascending = true;
};

struct Select {
    std::string table;
    std::unique_ptr<Condition> where;
    std::vector<OrderKey> orderBy;
};

// True when the text starts with the SELECT keyword.
bool isSelect(const std::string& text);

// Throws Error(SqlError) with a message saying what is wrong and where.
Select parse(const std::string& text);

// Resolves column names against the table and checks the types of each
// comparison. Throws Error(NotFound) for an unknown column, SqlError for a
// type mismatch.
void bind(Select& select, const TableDef& table);

enum class Truth { False, True, Unknown };

Truth evaluate(const Condition& condition, const TableDef& table, const RowReader& row);

// Order of two values of one column: NULL first, text ignoring case.
int compareValues(const Value& a, const Value& b);

// Parses the inside of a #date# literal (m/d/yyyy or yyyy-mm-dd, optional
// time); false if it is not a date.
bool parseDateLiteral(const std::string& text, double& accessDays);

} // namespace jet::detail::sql
