// Binding of a statement's names to a table's columns, the evaluator of
// conditions and the reading of #date# literals.
#include "sql/sql.h"

#include "format/decimal.h"
#include "format/text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace jet::detail::sql {

namespace {

enum class Family { Text, Number, Other };

Family columnFamily(const ColumnDef& c)
{
    switch (c.info.type) {
    case ColumnType::Text:
    case ColumnType::Memo: return Family::Text;
    case ColumnType::Boolean:
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime:
    case ColumnType::DateTimeExtended:
    case ColumnType::Numeric:
    case ColumnType::BigInt: return Family::Number;
    default: return Family::Other;
    }
}

void bindOperand(Operand& o, const TableDef& table)
{
    if (o.kind != Operand::Kind::Column)
        return;
    o.column = table.columnIndex(o.name);
    if (o.column < 0)
        throw Error(Code::NotFound, "colonne inconnue dans la requête : " + o.name + " (table " + table.name + ")");
}

Family operandFamily(const Operand& o, const TableDef& table)
{
    switch (o.kind) {
    case Operand::Kind::Column: return columnFamily(table.columns[size_t(o.column)]);
    case Operand::Kind::Text: return Family::Text;
    case Operand::Kind::Number:
    case Operand::Kind::Date:
    case Operand::Kind::Boolean: return Family::Number;
    case Operand::Kind::Null: return Family::Other;
    }
    return Family::Other;
}

void bindCondition(Condition& c, const TableDef& table)
{
    switch (c.kind) {
    case Condition::Kind::And:
    case Condition::Kind::Or:
        bindCondition(*c.a, table);
        bindCondition(*c.b, table);
        return;
    case Condition::Kind::Not: bindCondition(*c.a, table); return;
    case Condition::Kind::IsNull:
    case Condition::Kind::IsNotNull: bindOperand(c.left, table); return;
    case Condition::Kind::Compare: {
        bindOperand(c.left, table);
        bindOperand(c.right, table);
        if (c.left.kind == Operand::Kind::Null || c.right.kind == Operand::Kind::Null)
            return; // never true, whatever the type
        Family l = operandFamily(c.left, table), r = operandFamily(c.right, table);
        auto name = [&](const Operand& o) {
            return o.kind == Operand::Kind::Column ? o.name : o.literal.toString();
        };
        if (l == Family::Other || r == Family::Other)
            throw Error(Code::SqlError, "la colonne " + (l == Family::Other ? name(c.left) : name(c.right)) +
                                            " ne peut pas être comparée");
        if (l != r)
            throw Error(Code::SqlError, "type de données incompatible dans l'expression du critère (" +
                                            name(c.left) + " et " + name(c.right) + ")");
        return;
    }
    }
}

Value operandValue(const Operand& o, const TableDef& table, const RowReader& row)
{
    if (o.kind == Operand::Kind::Column)
        return row.value(table.columns[size_t(o.column)]);
    return o.literal;
}

double numberOf(const Value& v)
{
    if (v.kind() == Value::Kind::Decimal)
        return std::strtod(v.asText().c_str(), nullptr);
    return v.asDouble();
}

} // namespace

void bind(Select& select, const TableDef& table)
{
    if (select.where)
        bindCondition(*select.where, table);
    for (OrderKey& key : select.orderBy) {
        key.column = table.columnIndex(key.name);
        if (key.column < 0)
            throw Error(Code::NotFound, "colonne inconnue dans ORDER BY : " + key.name + " (table " + table.name + ")");
    }
}

int compareValues(const Value& a, const Value& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    bool aText = a.kind() == Value::Kind::Text, bText = b.kind() == Value::Kind::Text;
    if (aText && bText)
        return compareIgnoringCase(a.asText(), b.asText());
    if (aText != bText)
        return aText ? 1 : -1;
    if (a.kind() == Value::Kind::Currency && b.kind() == Value::Kind::Currency)
        return a.asCurrency() < b.asCurrency() ? -1 : a.asCurrency() > b.asCurrency() ? 1 : 0;
    if (a.kind() == Value::Kind::Decimal && b.kind() == Value::Kind::Decimal) {
        std::optional<DecimalDigits> x = parseDecimal(a.asText()), y = parseDecimal(b.asText());
        if (x && y)
            return compareDecimals(*x, *y);
    }
    try {
        double x = numberOf(a), y = numberOf(b);
        return x < y ? -1 : x > y ? 1 : 0;
    } catch (const Error&) {
        std::string x = a.toString(), y = b.toString();
        return x < y ? -1 : x > y ? 1 : 0;
    }
}

namespace {

Truth compared(CompareOp op, int order)
{
    bool result = false;
    switch (op) {
    case CompareOp::Equal: result = order == 0; break;
    case CompareOp::NotEqual: result = order != 0; break;
    case CompareOp::Less: result = order < 0; break;
    case CompareOp::Greater: result = order > 0; break;
    case CompareOp::LessEqual: result = order <= 0; break;
    case CompareOp::GreaterEqual: result = order >= 0; break;
    }
    return result ? Truth::True : Truth::False;
}

// The exact decimal value of an operand's value, when it has one.
std::optional<DecimalDigits> exactDecimal(const Value& v, const Operand& o)
{
    switch (v.kind()) {
    case Value::Kind::Decimal:
    case Value::Kind::Int:
    case Value::Kind::Currency: return parseDecimal(v.toString());
    case Value::Kind::Double:
        if (o.kind == Operand::Kind::Number && !o.number.empty())
            return parseDecimal(o.number);
        return std::nullopt;
    default: return std::nullopt;
    }
}

} // namespace

Truth evaluate(const Condition& c, const TableDef& table, const RowReader& row)
{
    switch (c.kind) {
    case Condition::Kind::And: {
        Truth x = evaluate(*c.a, table, row);
        if (x == Truth::False)
            return Truth::False;
        Truth y = evaluate(*c.b, table, row);
        if (y == Truth::False)
            return Truth::False;
        return (x == Truth::True && y == Truth::True) ? Truth::True : Truth::Unknown;
    }
    case Condition::Kind::Or: {
        Truth x = evaluate(*c.a, table, row);
        if (x == Truth::True)
            return Truth::True;
        Truth y = evaluate(*c.b, table, row);
        if (y == Truth::True)
            return Truth::True;
        return (x == Truth::False && y == Truth::False) ? Truth::False : Truth::Unknown;
    }
    case Condition::Kind::Not: {
        Truth x = evaluate(*c.a, table, row);
        return x == Truth::Unknown ? x : (x == Truth::True ? Truth::False : Truth::True);
    }
    case Condition::Kind::IsNull:
    case Condition::Kind::IsNotNull: {
        bool null = c.left.kind == Operand::Kind::Column ? row.isNull(table.columns[size_t(c.left.column)])
                                                         : c.left.kind == Operand::Kind::Null;
        if (c.left.kind == Operand::Kind::Column && table.columns[size_t(c.left.column)].info.type == ColumnType::Boolean)
            null = false;
        return (null == (c.kind == Condition::Kind::IsNull)) ? Truth::True : Truth::False;
    }
    case Condition::Kind::Compare: {
        if (c.left.kind == Operand::Kind::Null || c.right.kind == Operand::Kind::Null)
            return Truth::Unknown;
        Value a = operandValue(c.left, table, row);
        if (a.isNull())
            return Truth::Unknown;
        Value b = operandValue(c.right, table, row);
        if (b.isNull())
            return Truth::Unknown;
        // A Decimal column compares exactly with a number as written, an
        // integer, a currency amount or another Decimal value (0.1 is 0.1,
        // not the double nearest to it).
        if (a.kind() == Value::Kind::Decimal || b.kind() == Value::Kind::Decimal) {
            std::optional<DecimalDigits> x = exactDecimal(a, c.left), y = exactDecimal(b, c.right);
            if (x && y)
                return compared(c.op, compareDecimals(*x, *y));
        }
        // A Single column compares at single precision, so that
        // Discount = 0.15 finds the rows that store 0.15.
        auto isSingle = [&](const Operand& o) {
            return o.kind == Operand::Kind::Column &&
                   table.columns[size_t(o.column)].info.type == ColumnType::Single;
        };
        if ((isSingle(c.left) || isSingle(c.right)) && a.kind() != Value::Kind::Text &&
            b.kind() != Value::Kind::Text) {
            a = Value::real(double(float(numberOf(a))));
            b = Value::real(double(float(numberOf(b))));
        }
        return compared(c.op, compareValues(a, b));
    }
    }
    return Truth::Unknown;
}

bool parseDateLiteral(const std::string& text, double& accessDays)
{
    // Split into numbers and separators.
    std::vector<long> n;
    std::vector<char> sep;
    bool pm = false, am = false;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isdigit(c)) {
            long v = 0;
            size_t start = i;
            while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - start < 9)
                v = v * 10 + (text[i++] - '0');
            n.push_back(v);
        } else if (c == '/' || c == '-' || c == ':') {
            sep.push_back(char(c));
            ++i;
        } else if (c == ' ' || c == '\t') {
            sep.push_back(' ');
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
                ++i;
        } else {
            std::string rest = text.substr(i);
            if (compareIgnoringCase(rest, "AM") == 0)
                am = true;
            else if (compareIgnoringCase(rest, "PM") == 0)
                pm = true;
            else
                return false;
            break;
        }
    }
    long year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
    size_t k = 0;
    bool hasDate = false;
    if (n.size() >= 3 && !sep.empty() && (sep[0] == '/' || sep[0] == '-')) {
        if (sep[0] == '-' || n[0] > 31) { // yyyy-mm-dd
            year = n[0];
            month = n[1];
            day = n[2];
        } else { // m/d/yyyy
            month = n[0];
            day = n[1];
            year = n[2];
            if (year < 100)
                year += year < 30 ? 2000 : 1900;
        }
        k = 3;
        hasDate = true;
    }
    if (k < n.size()) {
        hour = n[k++];
        if (k < n.size())
            minute = n[k++];
        if (k < n.size())
            second = n[k++];
        if (k < n.size())
            return false;
        if (pm && hour < 12)
            hour += 12;
        if (am && hour == 12)
            hour = 0;
    } else if (!hasDate) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 100 || year > 9999 || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap))
        return false;
    accessDays = Value::dateTime(int(year), int(month), int(day), int(hour), int(minute), int(second)).asDateTime();
    return true;
}

} // namespace jet::detail::sql
