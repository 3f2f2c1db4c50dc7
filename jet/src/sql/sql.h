// The SQL subset of row sources and Database::execute:
//
//   SELECT * FROM table [WHERE condition] [ORDER BY col [ASC|DESC], ...]
//   INSERT INTO table [(col, ...)] VALUES (value, ...)
//   UPDATE table SET col = value [, ...] [WHERE condition]
//   DELETE [*] FROM table [WHERE condition]
//
// Values are 'text' ('' inside, or "text"), numbers, #dates#, NULL, TRUE
// and FALSE; names are words or [bracketed], a column optionally
// qualified by its table. One tokenizer and one recursive-descent parser
// (sql_parser.cpp) make a Statement; binding resolves names against the
// table's columns; the evaluator applies Jet's three-valued logic (a
// comparison with NULL is unknown, never true; text compares whole values
// ignoring case). Syntax errors are Error(SqlError) with a French message
// giving the position.
#pragma once

#include "format/row_codec.h"
#include "jet/value.h"

#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace jet::detail::sql {

enum class CompareOp { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };

struct Operand {
    // A Boolean is TRUE (-1) or FALSE (0); it compares as a number.
    enum class Kind { Column, Text, Number, Date, Boolean, Null };
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

// A value given to a column: `value` is never a Column operand.
struct Assignment {
    std::string name; // column name as written
    Operand value;
};

struct Insert {
    std::string table;
    std::vector<std::string> columns; // as written; empty: every non-autonumber column, in order
    std::vector<Operand> values;      // as many as `columns` when they are given
};

struct Update {
    std::string table;
    std::vector<Assignment> assignments;
    std::unique_ptr<Condition> where;
};

struct Delete {
    std::string table;
    std::unique_ptr<Condition> where;
};

using Statement = std::variant<Select, Insert, Update, Delete>;

// True when the text starts with the SELECT keyword.
bool isSelect(const std::string& text);

// Parses one statement, optionally ended by ";". Throws Error(SqlError)
// with a message saying what is wrong and where. A column qualified by
// another table than the statement's, or assigned twice, is an error too.
Statement parseStatement(const std::string& text);

// parseStatement, for a SELECT only.
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
