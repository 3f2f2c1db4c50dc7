#include "server/server_recordset.h"

#include "server/server_database.h"
#include "server/server_values.h"

#include "jet/status.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace velmor::server {

namespace {

[[noreturn]] void noRow()
{
    throw jet::Error(jet::Code::NoCurrentRow, "aucune fiche courante");
}

} // namespace

ServerRecordset::ServerRecordset(QSqlDatabase db, jet::TableInfo table, ServerRowSource source)
    : db_(std::move(db)), table_(std::move(table))
{
    QStringList names;
    for (const jet::ColumnInfo& c : table_.columns)
        names << quotedName(QString::fromStdString(c.name));
    select_ = names.join(QStringLiteral(", "));
    loadKeys(source);
}

void ServerRecordset::fail(const QSqlQuery& q, const QString& doing, jet::Code code)
{
    const QSqlError error = q.lastError();
    db_.rollback();
    throwServerError(db_, error, doing, code);
}

void ServerRecordset::loadKeys(const ServerRowSource& source)
{
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(quotedName(rowKeyColumn), quotedName(source.table));
    if (!source.where.isEmpty())
        sql += QStringLiteral(" WHERE ") + source.where;
    sql += QStringLiteral(" ORDER BY ");
    if (!source.orderBy.isEmpty())
        sql += source.orderBy + QStringLiteral(", ");
    sql += quotedName(rowKeyColumn);
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        fail(q, QStringLiteral("requête refusée par le serveur"), jet::Code::SqlError);
    for (const QVariant& p : source.parameters)
        q.addBindValue(p);
    if (!q.exec())
        fail(q, QStringLiteral("requête refusée par le serveur"), jet::Code::SqlError);
    while (q.next())
        keys_.push_back(q.value(0).toLongLong());
    go(keys_.empty() ? -1 : 0);
}

int ServerRecordset::columnIndex(const std::string& name) const
{
    const QString wanted = QString::fromStdString(name);
    for (size_t i = 0; i < table_.columns.size(); ++i)
        if (QString::fromStdString(table_.columns[i].name).compare(wanted, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

std::optional<ServerRecordset::Row> ServerRecordset::readRow(qint64 key, bool lock)
{
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?%4")
                  .arg(select_, quotedName(QString::fromStdString(table_.name)), quotedName(rowKeyColumn),
                       lock ? QStringLiteral(" FOR UPDATE") : QString()));
    q.addBindValue(key);
    if (!q.exec())
        fail(q, QStringLiteral("lecture de la fiche"), jet::Code::IoError);
    if (!q.next())
        return std::nullopt;
    Row row;
    for (size_t i = 0; i < table_.columns.size(); ++i)
        row.push_back(fromVariant(q.value(int(i)), table_.columns[i]));
    return row;
}

void ServerRecordset::load()
{
    std::optional<Row> row = reconnecting(db_, [&] { return readRow(keys_[size_t(pos_)], false); });
    deleted_ = !row;
    row_ = row ? std::move(*row) : Row(table_.columns.size());
}

void ServerRecordset::go(long position)
{
    const long from = pos_;
    pos_ = std::clamp(position, -1L, long(keys_.size()));
    deleted_ = false;
    if (!hasCurrent()) {
        row_.clear();
        return;
    }
    try {
        load();
    } catch (const jet::Error&) {
        pos_ = from; // a move that cannot read its row stays where it was
        throw;
    }
}

void ServerRecordset::leaveDeleted()
{
    conflict_.reset();
    if (hasCurrent() && deleted_) {
        keys_.erase(keys_.begin() + pos_);
        deleted_ = false;
        --pos_; // the next row is now one step ahead
    }
}

void ServerRecordset::requireIdle() const
{
    if (mode_ != EditMode::None)
        throw jet::Error(jet::Code::InvalidState, "une fiche est en cours de modification");
}

void ServerRecordset::moveFirst()
{
    requireIdle();
    leaveDeleted();
    if (keys_.empty())
        noRow();
    go(0);
}

void ServerRecordset::moveLast()
{
    requireIdle();
    leaveDeleted();
    if (keys_.empty())
        noRow();
    go(long(keys_.size()) - 1);
}

void ServerRecordset::moveNext()
{
    requireIdle();
    if (eof())
        noRow();
    leaveDeleted();
    go(pos_ + 1);
}

void ServerRecordset::movePrevious()
{
    requireIdle();
    if (bof())
        noRow();
    const bool wasDeleted = hasCurrent() && deleted_;
    leaveDeleted();
    go(wasDeleted ? pos_ : pos_ - 1);
}

jet::Value ServerRecordset::value(int column) const
{
    if (column < 0 || size_t(column) >= table_.columns.size())
        throw jet::Error(jet::Code::NotFound, "colonne inconnue");
    if (mode_ != EditMode::None && pending_[size_t(column)])
        return *pending_[size_t(column)];
    if (mode_ == EditMode::Adding)
        return jet::Value::null();
    if (!hasCurrent() || deleted_)
        noRow();
    return row_[size_t(column)];
}

jet::Bookmark ServerRecordset::bookmark() const
{
    if (!hasCurrent())
        noRow();
    return mark(keys_[size_t(pos_)]);
}

void ServerRecordset::setBookmark(jet::Bookmark b)
{
    requireIdle();
    leaveDeleted();
    for (size_t i = 0; i < keys_.size(); ++i)
        if (mark(keys_[i]) == b)
            return go(long(i));
    throw jet::Error(jet::Code::NotFound, "cette fiche ne fait pas partie du jeu d'enregistrements");
}

void ServerRecordset::setAbsolutePosition(long position)
{
    requireIdle();
    leaveDeleted();
    if (position < 0 || position >= long(keys_.size()))
        throw jet::Error(jet::Code::NotFound, "cette fiche ne fait pas partie du jeu d'enregistrements");
    go(position);
}

void ServerRecordset::addNew()
{
    requireIdle();
    conflict_.reset();
    mode_ = EditMode::Adding;
    pending_.assign(table_.columns.size(), std::nullopt);
}

void ServerRecordset::edit()
{
    requireIdle();
    if (!hasCurrent() || deleted_)
        noRow();
    conflict_.reset();
    mode_ = EditMode::Editing;
    read_ = row_;
    pending_.assign(table_.columns.size(), std::nullopt);
}

void ServerRecordset::setValue(int column, const jet::Value& v)
{
    if (mode_ == EditMode::None)
        throw jet::Error(jet::Code::InvalidState, "aucune fiche n'est en cours de modification");
    if (column < 0 || size_t(column) >= table_.columns.size())
        throw jet::Error(jet::Code::NotFound, "colonne inconnue");
    if (table_.columns[size_t(column)].autonumber)
        throw jet::Error(jet::Code::InvalidValue, "une colonne numérotée automatiquement ne se modifie pas");
    pending_[size_t(column)] = v;
}

void ServerRecordset::insertRow(const Row& values, std::optional<size_t> at)
{
    QStringList names, marks;
    QVariantList bound;
    for (size_t i = 0; i < table_.columns.size(); ++i) {
        if (table_.columns[i].autonumber)
            continue;
        names << quotedName(QString::fromStdString(table_.columns[i].name));
        marks << QStringLiteral("?");
        bound << toVariant(values[i], table_.columns[i]);
    }
    // Begun apart, so that a connection lost since the last action is made
    // again before the row is sent: the row is never sent twice.
    reconnecting(db_, [&] {
        if (!db_.transaction())
            throwServerError(db_, db_.lastError(), QStringLiteral("ajout"), jet::Code::IoError);
    });
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                  .arg(quotedName(QString::fromStdString(table_.name)), names.join(QStringLiteral(", ")),
                       marks.join(QStringLiteral(", ")), quotedName(rowKeyColumn)));
    for (const QVariant& v : bound)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        fail(q, QStringLiteral("ajout refusé par le serveur"), jet::Code::InvalidValue);
    const qint64 key = q.value(0).toLongLong();
    commitOrThrow(QStringLiteral("ajout"));
    if (at)
        keys_[*at] = key;
    else
        keys_.push_back(key);
    lastModified_ = mark(key);
}

void ServerRecordset::update()
{
    if (mode_ == EditMode::Adding) {
        Row values(table_.columns.size());
        for (size_t i = 0; i < values.size(); ++i)
            if (pending_[i])
                values[i] = *pending_[i];
        insertRow(values, std::nullopt);
        mode_ = EditMode::None;
        pending_.clear();
        return;
    }
    if (mode_ != EditMode::Editing)
        throw jet::Error(jet::Code::InvalidState, "aucune fiche n'est en cours de modification");
    reconnecting(db_, [&] { writeEdits(); });
}

void ServerRecordset::commitOrThrow(const QString& doing)
{
    if (!db_.commit()) {
        const QSqlError error = db_.lastError();
        db_.rollback();
        throwServerError(db_, error, doing, jet::Code::IoError);
    }
}

void ServerRecordset::writeEdits()
{
    const qint64 key = keys_[size_t(pos_)];
    if (!db_.transaction())
        throwServerError(db_, db_.lastError(), QStringLiteral("enregistrement"), jet::Code::IoError);
    std::optional<Row> stored = readRow(key, true);
    if (!stored) {
        db_.rollback();
        conflict_ = jet::RowConflict{jet::RowConflict::Kind::Deleted, false, {}};
        throw jet::Error(jet::Code::RowDeleted, "cette fiche a été effacée sur un autre poste");
    }
    std::vector<size_t> changed;
    bool clash = false;
    for (size_t i = 0; i < pending_.size(); ++i) {
        if (!pending_[i] || *pending_[i] == read_[i])
            continue;
        changed.push_back(i);
        if (!((*stored)[i] == read_[i]) && !((*stored)[i] == *pending_[i]))
            clash = true;
    }
    if (clash) {
        db_.rollback();
        jet::RowConflict found{jet::RowConflict::Kind::Changed, false, {}};
        for (size_t i = 0; i < read_.size(); ++i) {
            if ((*stored)[i] == read_[i])
                continue;
            const bool here = pending_[i] && !(*pending_[i] == read_[i]);
            found.columns.push_back({int(i), read_[i], (*stored)[i], here ? *pending_[i] : jet::Value(), here});
        }
        conflict_ = std::move(found);
        throw jet::Error(jet::Code::Conflict, "cette fiche a été modifiée sur un autre poste");
    }
    if (!changed.empty()) {
        QStringList sets;
        for (size_t i : changed)
            sets << quotedName(QString::fromStdString(table_.columns[i].name)) + QStringLiteral(" = ?");
        QSqlQuery q(db_);
        q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                      .arg(quotedName(QString::fromStdString(table_.name)), sets.join(QStringLiteral(", ")),
                           quotedName(rowKeyColumn)));
        for (size_t i : changed)
            q.addBindValue(toVariant(*pending_[i], table_.columns[i]));
        q.addBindValue(key);
        if (!q.exec())
            fail(q, QStringLiteral("enregistrement refusé par le serveur"), jet::Code::InvalidValue);
        commitOrThrow(QStringLiteral("enregistrement"));
        for (size_t i : changed)
            (*stored)[i] = *pending_[i];
    } else {
        db_.rollback();
    }
    row_ = std::move(*stored);
    mode_ = EditMode::None;
    pending_.clear();
    lastModified_ = mark(key);
}

void ServerRecordset::cancelUpdate()
{
    mode_ = EditMode::None;
    pending_.clear();
    conflict_.reset();
}

void ServerRecordset::deleteCurrent()
{
    requireIdle();
    if (!hasCurrent() || deleted_)
        noRow();
    conflict_.reset();
    reconnecting(db_, [&] { deleteRow(); });
}

void ServerRecordset::deleteRow()
{
    const qint64 key = keys_[size_t(pos_)];
    if (!db_.transaction())
        throwServerError(db_, db_.lastError(), QStringLiteral("effacement"), jet::Code::IoError);
    std::optional<Row> stored = readRow(key, true);
    if (stored && *stored != row_) {
        db_.rollback();
        jet::RowConflict found{jet::RowConflict::Kind::Changed, true, {}};
        for (size_t i = 0; i < row_.size(); ++i)
            if (!((*stored)[i] == row_[i]))
                found.columns.push_back({int(i), row_[i], (*stored)[i], jet::Value(), false});
        conflict_ = std::move(found);
        throw jet::Error(jet::Code::Conflict, "cette fiche a été modifiée sur un autre poste");
    }
    if (stored) {
        QSqlQuery q(db_);
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                      .arg(quotedName(QString::fromStdString(table_.name)), quotedName(rowKeyColumn)));
        q.addBindValue(key);
        if (!q.exec())
            fail(q, QStringLiteral("effacement refusé par le serveur"), jet::Code::IoError);
        commitOrThrow(QStringLiteral("effacement"));
    } else {
        db_.rollback();
    }
    deleted_ = true;
}

void ServerRecordset::resolveConflict(jet::ConflictChoice choice)
{
    if (!conflict_)
        throw jet::Error(jet::Code::InvalidState, "aucun conflit d'écriture en attente");
    const jet::RowConflict found = *conflict_;
    conflict_.reset();
    using Choice = jet::ConflictChoice;
    if (found.duringDelete) {
        if (choice == Choice::WriteOver) {
            for (const auto& c : found.columns)
                row_[size_t(c.column)] = c.stored; // as stored now: the delete goes through
            deleteCurrent();
        } else {
            load();
        }
        return;
    }
    if (choice == Choice::TakeTheirs) {
        cancelUpdate();
        if (found.kind == jet::RowConflict::Kind::Deleted)
            deleted_ = true;
        else
            load();
        return;
    }
    if (found.kind == jet::RowConflict::Kind::Deleted) {
        if (choice != Choice::StoreAsNew)
            throw jet::Error(jet::Code::InvalidState, "la fiche a été effacée : seule une nouvelle fiche est possible");
        Row values = read_;
        for (size_t i = 0; i < values.size(); ++i)
            if (pending_[i])
                values[i] = *pending_[i];
        insertRow(values, size_t(pos_));
        row_ = std::move(values);
        deleted_ = false;
        mode_ = EditMode::None;
        pending_.clear();
        return;
    }
    if (choice != Choice::WriteOver)
        throw jet::Error(jet::Code::InvalidState, "choix impossible pour une fiche modifiée");
    for (const auto& c : found.columns)
        read_[size_t(c.column)] = c.stored; // what the user saw and chose to write over
    reconnecting(db_, [&] { writeEdits(); });
}

} // namespace velmor::server
