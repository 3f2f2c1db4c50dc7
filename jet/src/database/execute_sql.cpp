#include "database/execute_sql.h"

#include "database/database_impl.h"
#include "database/database_writer.h"
#include "database/recordset_impl.h"
#include "sql/sql.h"
#include "jet/status.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <optional>
#include <variant>

namespace jet::detail {

namespace {

using writer::DatabaseWriter;
using writer::RowId;
using writer::TableWriter;
using writer::Transaction;

// An integer literal is an integer unless it is too large for one.
std::optional<long long> wholeNumber(const std::string& number)
{
    if (number.find_first_of(".eE") != std::string::npos)
        return std::nullopt;
    errno = 0;
    long long x = std::strtoll(number.c_str(), nullptr, 10);
    if (errno == ERANGE)
        return std::nullopt;
    return x;
}

// The value a literal gives a column, where SQL's literals are looser than
// the column's type (a number for a date, an integer for a boolean...). A
// number for a Decimal column is its text, not a double: 0.1 stays 0.1.
Value valueFor(const ColumnInfo& c, const sql::Operand& o)
{
    Value v = o.literal;
    switch (o.kind) {
    case sql::Operand::Kind::Null:
    case sql::Operand::Kind::Column: return Value();
    case sql::Operand::Kind::Boolean: v = Value::boolean(o.literal.asDouble() != 0); break;
    case sql::Operand::Kind::Number:
        if (c.type == ColumnType::Numeric)
            return Value::decimal(o.number);
        if (std::optional<long long> whole = wholeNumber(o.number))
            v = Value::integer(*whole);
        break;
    case sql::Operand::Kind::Text:
    case sql::Operand::Kind::Date: break;
    }
    if ((c.type == ColumnType::DateTime || c.type == ColumnType::DateTimeExtended) && (v.kind() == Value::Kind::Int || v.kind() == Value::Kind::Double))
        return Value::dateTime(v.asDouble());
    if ((c.type == ColumnType::Text || c.type == ColumnType::Memo) && v.kind() != Value::Kind::Text)
        return Value::text(v.toString());
    return v;
}

std::shared_ptr<const TableDef> definition(Storage& storage, const std::string& table)
{
    Storage::ReadScope scope(storage);
    return storage.tableDef(storage.findTable(table));
}

size_t columnOf(const TableDef& table, const std::string& name)
{
    int column = table.columnIndex(name);
    if (column < 0)
        throw Error(Code::NotFound, "colonne inconnue dans la requête : " + name + " (table " + table.name + ")");
    return size_t(column);
}

const ColumnInfo& assignable(const TableDef& table, size_t column)
{
    const ColumnInfo& c = table.columns[column].info;
    if (c.autonumber)
        throw Error(Code::InvalidValue, TableWriter::autonumberRefusal(c.name));
    return c;
}

long insert(Storage& storage, DatabaseWriter& writer, const sql::Insert& statement)
{
    auto def = definition(storage, statement.table);
    std::vector<size_t> targets;
    for (const std::string& name : statement.columns)
        targets.push_back(columnOf(*def, name));
    if (statement.columns.empty()) {
        for (size_t i = 0; i < def->columns.size(); ++i)
            if (!def->columns[i].info.autonumber)
                targets.push_back(i);
        if (statement.values.size() != targets.size())
            throw Error(Code::SqlError, std::string(statement.values.size() > targets.size() ? "plus" : "moins") +
                                            " de valeurs que de colonnes dans la table " + def->name);
    }
    std::vector<Value> values(def->columns.size());
    for (size_t i = 0; i < targets.size(); ++i) {
        const ColumnInfo& c = def->columns[targets[i]].info;
        if (c.autonumber && statement.values[i].kind != sql::Operand::Kind::Null)
            throw Error(Code::InvalidValue, TableWriter::autonumberRefusal(c.name));
        values[targets[i]] = valueFor(c, statement.values[i]);
    }
    writer.insert(def->name, values);
    return 1;
}

// The rows a condition selects, read under the write lock the caller
// holds, so that no other process changes them between choice and write.
std::vector<RowId> chosenRows(const std::shared_ptr<Storage>& storage, const std::string& table,
                              std::unique_ptr<sql::Condition> where)
{
    Storage::ReadScope scope(*storage);
    storage->refresh();
    sql::Select select;
    select.table = table;
    select.where = std::move(where);
    auto def = storage->tableDef(storage->findTable(table));
    sql::bind(select, *def);
    RecordsetImpl rs(storage, def, &select, false);
    std::vector<RowId> rows;
    if (rs.recordCount() == 0)
        return rows;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        Bookmark b = rs.bookmark();
        rows.push_back(RowId{b.page, b.row});
    }
    return rows;
}

struct LockHolder {
    explicit LockHolder(DatabaseWriter& w) : writer(w) { writer.store().lock().lockExclusive(); }
    ~LockHolder() { writer.store().lock().unlock(); }
    DatabaseWriter& writer;
};

// Runs `change` on each chosen row of the table in one transaction.
long changeRows(const std::shared_ptr<Storage>& storage, DatabaseWriter& writer, const std::string& table,
                std::unique_ptr<sql::Condition> where, const std::function<void(TableWriter&, RowId)>& change)
{
    LockHolder hold(writer);
    std::vector<RowId> rows = chosenRows(storage, table, std::move(where));
    writer.transact([&](Transaction& txn) {
        TableWriter t(txn, writer.definitionPage(txn, table));
        for (RowId id : rows)
            change(t, id);
        t.finish();
    });
    return long(rows.size());
}

} // namespace

long executeSql(const std::shared_ptr<Storage>& storage, DatabaseWriter& writer, const std::string& text)
{
    sql::Statement statement = sql::parseStatement(text);
    if (auto* s = std::get_if<sql::Insert>(&statement))
        return insert(*storage, writer, *s);
    if (auto* s = std::get_if<sql::Update>(&statement)) {
        auto def = definition(*storage, s->table);
        std::vector<std::optional<Value>> changes(def->columns.size());
        for (const sql::Assignment& a : s->assignments) {
            size_t column = columnOf(*def, a.name);
            changes[column] = valueFor(assignable(*def, column), a.value);
        }
        return changeRows(storage, writer, def->name, std::move(s->where),
                          [&](TableWriter& t, RowId id) { t.update(id, changes); });
    }
    if (auto* s = std::get_if<sql::Delete>(&statement)) {
        auto def = definition(*storage, s->table);
        return changeRows(storage, writer, def->name, std::move(s->where),
                          [](TableWriter& t, RowId id) { t.remove(id); });
    }
    throw Error(Code::SqlError, "erreur de syntaxe dans la requête : INSERT, UPDATE ou DELETE attendu ; "
                                "une requête SELECT se lit comme source de lignes");
}

} // namespace jet::detail
