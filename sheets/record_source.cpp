#include "sheets/record_source.h"

#include "sheets/file_reason.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"
#include "sheets/engine_path.h"
#include "sheets/value_text.h"
#include "sheets/write_conflict.h"
#include "server/server_database.h"
#include "sheets/server_choice.h"
#include "shell/dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QWidget>

#include <algorithm>

namespace velmor {

using Code = RecordSourceError::Code;

namespace {

BaseR::DatabaseOpener& installedOpener()
{
    static BaseR::DatabaseOpener opener;
    return opener;
}

QString quoted(const QString& text)
{
    return QStringLiteral("« %1 »").arg(text);
}

QString engineText(const jet::Error& e)
{
    return QString::fromUtf8(e.what());
}

// The engine's failure as the record source reports it. `doing` says what
// was being done ("Impossible d'enregistrer la fiche").
RecordSourceError fromEngine(const jet::Error& e, const QString& doing)
{
    Code code = Code::Engine;
    switch (e.code()) {
    case jet::Code::IoError:
    case jet::Code::NotADatabase:
    case jet::Code::Corrupt:
    case jet::Code::PasswordRequired:
    case jet::Code::WrongPassword: code = Code::NoDatabase; break;
    case jet::Code::NotFound:
    case jet::Code::SqlError: code = Code::BadSource; break;
    case jet::Code::ReadOnly:
    case jet::Code::OrphanedJournal: code = Code::ReadOnly; break;
    case jet::Code::Locked: code = Code::Busy; break;
    case jet::Code::NoCurrentRow: code = Code::NoCurrentRow; break;
    case jet::Code::InvalidValue: code = Code::BadValue; break;
    case jet::Code::Conflict:
    case jet::Code::RowDeleted: code = Code::Conflict; break;
    case jet::Code::Unsupported:
    case jet::Code::Constraint:
    case jet::Code::InvalidState: code = Code::Engine; break;
    }
    if (dynamic_cast<const server::ConnectionLost*>(&e))
        return RecordSourceError(Code::Disconnected,
                                 QStringLiteral("%1 : %2.\nLa prochaine action (Enregistrer, changer de fiche) "
                                                "rétablit la connexion.")
                                     .arg(doing, engineText(e)));
    return RecordSourceError(code, QStringLiteral("%1 : %2").arg(doing, engineText(e)));
}

// Runs a public operation so that nothing but RecordSourceError leaves it:
// an unexpected failure of the engine becomes an Engine error.
template <typename F>
auto guarded(F&& operation) -> decltype(operation())
{
    try {
        return operation();
    } catch (const RecordSourceError&) {
        throw;
    } catch (const jet::Error& e) {
        throw fromEngine(e, QStringLiteral("Erreur de la base de données"));
    } catch (const std::bad_alloc&) {
        throw RecordSourceError(Code::Engine, QStringLiteral("Mémoire insuffisante."));
    } catch (const std::exception& e) {
        throw RecordSourceError(Code::Engine,
                                QStringLiteral("Erreur inattendue de la base de données : %1").arg(QString::fromUtf8(e.what())));
    }
}

// Passwords typed in this session, by file: the file is asked for once, not
// at each opening of each sheet.
QHash<QString, QString>& typedPasswords()
{
    static QHash<QString, QString> passwords;
    return passwords;
}

// Opens the file; a file with a database password asks for it until it is
// the right one or the box is cancelled.
std::unique_ptr<jet::Database> openAskingPassword(const QString& path)
{
    const QString name = quoted(QFileInfo(path).fileName());
    QString password = typedPasswords().value(path);
    for (;;) {
        try {
            auto db = jet::Database::open(toEnginePath(path), jet::OpenMode::ReadWriteIfPossible,
                                          password.toStdString());
            if (!password.isEmpty())
                typedPasswords().insert(path, password);
            return db;
        } catch (const jet::Error& e) {
            if (e.code() != jet::Code::PasswordRequired && e.code() != jet::Code::WrongPassword)
                throw;
            typedPasswords().remove(path);
            const QString prompt =
                e.code() == jet::Code::WrongPassword
                    ? QStringLiteral("Mot de passe incorrect pour la base %1.\nMot de passe :").arg(name)
                    : QStringLiteral("La base %1 est protégée par un mot de passe.\nMot de passe :").arg(name);
            const std::optional<QString> typed = dialogs().password(nullptr, prompt, QStringLiteral("Mot de passe"));
            if (!typed)
                throw RecordSourceError(Code::NoDatabase,
                                        QStringLiteral("cette base est protégée par un mot de passe, qui n'a pas été donné"));
            password = *typed;
        }
    }
}

// The engine that `path` names (a file, or a server by its address), after
// the checks that give the clearest messages.
std::unique_ptr<jet::Database> openWithEngine(const QString& path)
{
    if (server::isServerAddress(path))
        return openServerDatabase(path);
    const QFileInfo info(path);
    // The reasons do not name the file: the message that shows them does.
    if (!info.exists())
        throw RecordSourceError(Code::NoDatabase,
                                QStringLiteral("ce fichier est introuvable (déplacé, renommé ou supprimé)"));
    if (info.isDir())
        throw RecordSourceError(Code::NoDatabase, QStringLiteral("c'est un dossier, pas une base de données"));
    return openAskingPassword(path);
}

} // namespace

std::unique_ptr<jet::Database> openServerDatabase(const QString& address)
{
    std::optional<server::ServerAddress> parsed = server::parseServerAddress(address);
    if (!parsed)
        throw RecordSourceError(Code::NoDatabase,
                                QStringLiteral("cette adresse de serveur est incomplète (attendu : "
                                               "postgresql://UTILISATEUR@SERVEUR:PORT/BASE)"));
    if (parsed->password.isEmpty())
        parsed->password = typedPasswords().contains(address) ? typedPasswords().value(address)
                                                              : rememberedPassword(address).value_or(QString());
    for (;;) {
        try {
            auto db = server::ServerDatabase::connect(*parsed);
            if (!parsed->password.isEmpty())
                typedPasswords().insert(address, parsed->password);
            return db;
        } catch (const jet::Error& e) {
            if (e.code() != jet::Code::PasswordRequired && e.code() != jet::Code::WrongPassword)
                throw RecordSourceError(Code::NoDatabase, QString::fromUtf8(e.what()));
            typedPasswords().remove(address);
            QString reason = QString::fromUtf8(e.what());
            reason[0] = reason[0].toUpper();
            const std::optional<QString> typed = dialogs().password(
                nullptr, QStringLiteral("%1.\nMot de passe :").arg(reason), QStringLiteral("Mot de passe"));
            if (!typed)
                throw RecordSourceError(Code::NoDatabase,
                                        QStringLiteral("le serveur demande un mot de passe, qui n'a pas été donné"));
            parsed->password = *typed;
        }
    }
}

void usePasswordThisRun(const QString& database, const QString& password)
{
    if (password.isEmpty())
        typedPasswords().remove(database);
    else
        typedPasswords().insert(database, password);
}

struct BaseR::Impl {
    struct Binding {
        QString column;
        BoundField* field = nullptr;
        int index = -1; // in the open row set
    };

    BaseR* q = nullptr;
    std::unique_ptr<jet::Database> db;
    QString dbName; // what db was opened from
    std::unique_ptr<jet::Recordset> rs;
    std::vector<Binding> bindings;
    jet::Bookmark lastModified;

    bool open() const { return rs != nullptr; }
    bool adding() const { return rs && rs->editMode() == jet::Recordset::EditMode::Adding; }
    bool onRow() const { return rs && !adding() && rs->hasCurrent() && !rs->isDeleted(); }

    void requireOpen() const
    {
        if (!open())
            throw RecordSourceError(Code::NotOpen,
                                    QStringLiteral("La source d'enregistrements n'est pas ouverte : aucune base de "
                                                   "données n'a été lue."));
    }

    bool anyModified() const
    {
        return std::any_of(bindings.begin(), bindings.end(),
                           [](const Binding& b) { return b.field && b.field->isModified(); });
    }

    // Every bound column must exist in `set`; returns the indexes in order.
    static std::vector<int> resolve(const std::vector<Binding>& bindings, const jet::Recordset& set,
                                    const QString& source)
    {
        std::vector<int> indexes;
        for (const Binding& b : bindings) {
            const int index = set.columnIndex(b.column.toStdString());
            if (index < 0)
                throw RecordSourceError(Code::BadSource, QStringLiteral("La colonne %1 n'existe pas dans %2.")
                                                             .arg(quoted(b.column), quoted(source.trimmed())));
            indexes.push_back(index);
        }
        return indexes;
    }

    // Fills every bound field from the current row, or clears them.
    void show()
    {
        const bool row = onRow();
        for (Binding& b : bindings) {
            if (!b.field)
                continue;
            QString text;
            if (row && b.index >= 0) {
                try {
                    text = valuetext::toText(rs->value(b.index), rs->columns().at(b.index));
                } catch (const std::exception&) {
                    text.clear(); // an unreadable cell shows as empty and is not written back
                }
            }
            b.field->setText(text);
        }
    }

    // The values of the modified fields, converted; throws BadValue naming the
    // first field that does not convert (its text stays as typed).
    std::vector<std::pair<int, jet::Value>> editedValues() const
    {
        std::vector<std::pair<int, jet::Value>> values;
        for (const Binding& b : bindings) {
            if (!b.field || b.index < 0 || !b.field->isModified())
                continue;
            const jet::ColumnInfo& column = rs->columns().at(b.index);
            valuetext::Conversion converted =
                valuetext::fromText(b.field->text(), column, QLocale(), b.field->caption());
            if (!converted.ok())
                throw RecordSourceError(Code::BadValue, converted.error);
            values.emplace_back(b.index, *converted.value);
        }
        return values;
    }

    // `message` with each bound column the user knows by a caption named by
    // that caption instead: « dateaccord » becomes « Date accord ».
    QString withCaptions(QString message) const
    {
        for (const Binding& b : bindings) {
            if (!b.field)
                continue;
            const QString caption = b.field->caption();
            if (!caption.isEmpty())
                message.replace(quoted(b.column), quoted(caption));
        }
        return message;
    }

    // The columns of a conflict as the user knows them: a field's caption,
    // the other desk's value, and this desk's one (typed, or as read).
    std::vector<ConflictField> conflictFields(const jet::RowConflict& found) const
    {
        std::vector<ConflictField> fields;
        for (const jet::RowConflict::Column& c : found.columns) {
            const jet::ColumnInfo& column = rs->columns().at(size_t(c.column));
            ConflictField f;
            f.name = QString::fromStdString(column.name);
            for (const Binding& b : bindings)
                if (b.field && b.index == c.column && !b.field->caption().isEmpty())
                    f.name = b.field->caption();
            f.theirs = valuetext::toText(c.stored, column);
            f.yours = valuetext::toText(c.changedHere ? c.pending : c.read, column);
            f.changedHere = c.changedHere;
            fields.push_back(f);
        }
        return fields;
    }

    QWidget* dialogParent() const { return qobject_cast<QWidget*>(q->parent()); }

    // The row being written was changed or deleted by another desk: the
    // user chooses, and is asked again when writing over meets a newer
    // change. Choosing neither leaves the edits pending in the fields.
    void settleConflict()
    {
        for (;;) {
            const jet::RowConflict found = *rs->conflict();
            const ConflictAnswer answer = found.kind == jet::RowConflict::Kind::Deleted
                                              ? askAboutDeletedRow(dialogParent())
                                              : askAboutChangedRow(dialogParent(), conflictFields(found));
            if (answer == ConflictAnswer::Cancel) {
                rs->cancelUpdate();
                throw RecordSourceError(Code::Conflict,
                                        found.kind == jet::RowConflict::Kind::Deleted
                                            ? QStringLiteral("Cette fiche a été effacée sur un autre poste ; rien "
                                                             "n'a été enregistré.")
                                            : QStringLiteral("Cette fiche a été modifiée sur un autre poste ; rien "
                                                             "n'a été enregistré."));
            }
            try {
                rs->resolveConflict(answer == ConflictAnswer::WriteOver    ? jet::ConflictChoice::WriteOver
                                    : answer == ConflictAnswer::StoreAsNew ? jet::ConflictChoice::StoreAsNew
                                                                           : jet::ConflictChoice::TakeTheirs);
            } catch (const jet::Error& e) {
                if (e.code() == jet::Code::Conflict && rs->conflict())
                    continue; // changed again meanwhile: ask about the newer values
                throw;
            }
            // "Enregistrer" then shows the row settled: the one written, or
            // the other desk's one (none when it was deleted).
            if (answer != ConflictAnswer::TakeTheirs)
                lastModified = rs->lastModified();
            else
                lastModified = found.kind == jet::RowConflict::Kind::Deleted ? jet::Bookmark{} : rs->bookmark();
            return;
        }
    }

    // Writes the modified fields into the current row (edit) or the new row;
    // `always` stores the row even when no field changed.
    void write(bool always)
    {
        const bool isNew = adding();
        std::vector<std::pair<int, jet::Value>> values = editedValues();
        if (!isNew) {
            // A field typed back to what the row holds is no change.
            values.erase(std::remove_if(values.begin(), values.end(),
                                        [&](const auto& v) {
                                            try {
                                                return rs->value(v.first) == v.second;
                                            } catch (const std::exception&) {
                                                return false;
                                            }
                                        }),
                         values.end());
            if (values.empty() && !always)
                return;
            if (values.empty()) {
                try {
                    lastModified = rs->bookmark();
                } catch (const jet::Error& e) {
                    throw fromEngine(e, QStringLiteral("Impossible d'enregistrer la fiche"));
                }
                return;
            }
        }
        const QString doing = isNew ? QStringLiteral("Impossible d'ajouter la fiche")
                                    : QStringLiteral("Impossible d'enregistrer la fiche");
        try {
            if (!isNew)
                rs->edit();
            for (const auto& [index, value] : values)
                rs->setValue(index, value);
            rs->update();
        } catch (const jet::Error& e) {
            if (!isNew && rs->conflict()) {
                try {
                    settleConflict();
                    return;
                } catch (const jet::Error& failure) {
                    rs->cancelUpdate();
                    const RecordSourceError error = fromEngine(failure, doing);
                    throw RecordSourceError(error.code(), withCaptions(error.message()));
                }
            }
            // An existing row goes back to what it was; a new row keeps what
            // was set so far and stays pending, as the fields do.
            if (!isNew) {
                try {
                    if (rs->editMode() != jet::Recordset::EditMode::None)
                        rs->cancelUpdate();
                } catch (const jet::Error&) {
                }
            }
            const RecordSourceError failure = fromEngine(e, doing);
            throw RecordSourceError(failure.code(), withCaptions(failure.message()));
        }
        lastModified = rs->lastModified();
    }

    // A move: leaves the row, moves, shows where it went.
    template <typename Move>
    void moveOn(Move move, const QString& doing)
    {
        requireOpen();
        leave();
        try {
            move(*rs);
        } catch (const jet::Error& e) {
            show();
            emit q->currentChanged();
            if (e.code() == jet::Code::NoCurrentRow)
                throw RecordSourceError(Code::NoCurrentRow,
                                        rs->recordCount() == 0
                                            ? QStringLiteral("Aucune fiche : %1 est impossible.").arg(doing)
                                            : QStringLiteral("Plus de fiche de ce côté : %1 est impossible.").arg(doing));
            throw fromEngine(e, QStringLiteral("Déplacement impossible"));
        }
        show();
        emit q->currentChanged();
    }

    // Leaving the row: saves its edits, drops an untouched new row. Returns
    // whether anything was written or dropped.
    bool leave()
    {
        if (!open())
            return false;
        if (adding()) {
            if (anyModified()) {
                write(true);
            } else {
                try {
                    rs->cancelUpdate();
                } catch (const jet::Error& e) {
                    throw fromEngine(e, QStringLiteral("Impossible d'abandonner la nouvelle fiche"));
                }
            }
            return true;
        }
        if (onRow() && anyModified()) {
            write(false);
            return true;
        }
        return false;
    }
};

BaseR::BaseR(const RecordSourceDesign& design, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>()), design_(design), recordSource_(design.recordSource)
{
    d->q = this;
    setObjectName(QStringLiteral("BaseR"));
}

BaseR::~BaseR()
{
    if (d->adding()) {
        try {
            d->rs->cancelUpdate();
        } catch (...) {
        }
    }
}

void BaseR::setDatabaseOpener(DatabaseOpener opener)
{
    installedOpener() = std::move(opener);
}

void BaseR::bind(const QString& column, BoundField* field)
{
    guarded([&] {
        if (!field)
            return;
        Impl::Binding binding{column, field, -1};
        if (d->open()) {
            binding.index = d->rs->columnIndex(column.toStdString());
            if (binding.index < 0)
                throw RecordSourceError(Code::BadSource, QStringLiteral("La colonne %1 n'existe pas dans %2.")
                                                             .arg(quoted(column), quoted(recordSource_.trimmed())));
        }
        unbind(field);
        d->bindings.push_back(binding);
        if (d->open()) {
            QString text;
            if (d->onRow()) {
                try {
                    text = valuetext::toText(d->rs->value(binding.index), d->rs->columns().at(binding.index));
                } catch (const std::exception&) {
                }
            }
            field->setText(text);
        }
    });
}

void BaseR::unbind(BoundField* field)
{
    auto& b = d->bindings;
    b.erase(std::remove_if(b.begin(), b.end(), [field](const Impl::Binding& x) { return x.field == field; }),
            b.end());
}

std::optional<RecordSourceError> BaseR::openOnLoad()
{
    if (d->open())
        return std::nullopt;
    try {
        Refresh();
    } catch (const RecordSourceError& e) {
        return e;
    }
    return std::nullopt;
}

void BaseR::Refresh()
{
    guarded([&] {
        // The row being left is saved first; if it cannot be, nothing changes.
        if (d->open() && d->leave()) {
            d->show();
            emit currentChanged();
        }

        if (databaseName_.trimmed().isEmpty())
            throw RecordSourceError(Code::NoDatabase, QStringLiteral("Aucune base de données n'est choisie."));
        if (recordSource_.trimmed().isEmpty())
            throw RecordSourceError(Code::BadSource, QStringLiteral("Aucune table ni requête n'est indiquée."));

        // A server keeps its connection from one refresh to the next (a new
        // one costs a round of authentication); a file is opened again, as
        // it may have been replaced meanwhile (compaction, a restored copy).
        std::unique_ptr<jet::Database> fresh;
        jet::Database* db = nullptr;
        std::unique_ptr<jet::Recordset> rs;
        if (d->db && d->dbName == databaseName_ && !installedOpener() && server::isServerAddress(databaseName_)) {
            try {
                rs = d->db->openRecordset(recordSource_.toStdString());
                db = d->db.get();
            } catch (const server::ConnectionLost&) {
                // A new connection below, or the reason there is none.
            } catch (const jet::Error&) {
                db = d->db.get(); // said again below, as any refusal of the row source
            }
        }
        if (!db) {
            try {
                fresh = installedOpener() ? installedOpener()(databaseName_) : openWithEngine(databaseName_);
                if (!fresh)
                    throw RecordSourceError(Code::NoDatabase, QStringLiteral("le fichier ne peut pas être ouvert"));
            } catch (const jet::Error& e) {
                const QString message = openingReason(e, databaseName_);
                throw RecordSourceError(e.code() == jet::Code::Locked ? Code::Busy : Code::NoDatabase, message);
            } catch (const std::bad_alloc&) {
                throw RecordSourceError(Code::Engine,
                                        QStringLiteral("Mémoire insuffisante pour ouvrir la base de données."));
            }
            db = fresh.get();
        }

        std::vector<int> indexes;
        try {
            if (!rs)
                rs = db->openRecordset(recordSource_.toStdString());
            if (!rs)
                throw jet::Error(jet::Code::NotFound, "aucun résultat");
            indexes = Impl::resolve(d->bindings, *rs, recordSource_);
        } catch (const jet::Error& e) {
            const QString what = e.code() == jet::Code::SqlError
                                     ? QStringLiteral("La requête %1 est refusée par la base de données : %2")
                                     : QStringLiteral("Impossible de lire %1 : %2");
            throw RecordSourceError(e.code() == jet::Code::SqlError || e.code() == jet::Code::NotFound
                                        ? Code::BadSource
                                        : Code::Engine,
                                    what.arg(quoted(recordSource_.trimmed()), engineText(e)));
        }

        // The new row set replaces the old one only now that it is open.
        d->rs = std::move(rs);
        if (fresh) {
            d->db = std::move(fresh);
            d->dbName = databaseName_;
        }
        d->lastModified = {};
        for (size_t i = 0; i < d->bindings.size(); ++i)
            d->bindings[i].index = indexes[i];
        d->show();
        emit currentChanged();
        emit opened();
    });
}

void BaseR::UpdateRecord()
{
    guarded([&] {
        d->requireOpen();
        if (!d->adding() && !d->onRow())
            throw RecordSourceError(Code::NoCurrentRow,
                                    QStringLiteral("Aucune fiche n'est affichée : il n'y a rien à enregistrer."));
        d->write(true);
        d->show();
        emit currentChanged();
    });
}

BaseR::State BaseR::state() const
{
    if (!d->open())
        return State::Closed;
    if (d->adding())
        return State::Adding;
    return d->onRow() ? State::CurrentRow : State::NoCurrentRow;
}

std::optional<jet::ColumnInfo> BaseR::columnInfo(const QString& column) const
{
    if (!d->rs)
        return std::nullopt;
    const int index = d->rs->columnIndex(column.toStdString());
    if (index < 0)
        return std::nullopt;
    return d->rs->columns().at(size_t(index));
}

QString BaseR::readOnlyReason() const
{
    if (!d->db || !d->db->readOnly())
        return QString();
    const QString reason = QString::fromUtf8(d->db->readOnlyReason().c_str()).trimmed();
    return reason.isEmpty() ? QStringLiteral("la base est ouverte en lecture seule") : reason;
}

bool BaseR::BOF() const
{
    return !d->open() || d->rs->bof();
}

bool BaseR::EOF_() const
{
    return !d->open() || d->rs->eof();
}

long BaseR::RecordCount() const
{
    return d->open() ? d->rs->recordCount() : 0;
}

long BaseR::AbsolutePosition() const
{
    return d->onRow() ? d->rs->absolutePosition() : -1;
}

void BaseR::AddNew()
{
    guarded([&] {
        d->requireOpen();
        d->leave();
        try {
            d->rs->addNew();
        } catch (const jet::Error& e) {
            d->show();
            emit currentChanged();
            throw fromEngine(e, QStringLiteral("Impossible d'ajouter une fiche"));
        }
        d->show(); // the new row: every field empty
        emit currentChanged();
    });
}

void BaseR::Delete()
{
    guarded([&] {
        d->requireOpen();
        if (d->adding()) {
            // The pending new row is not in the table: it is dropped.
            try {
                d->rs->cancelUpdate();
            } catch (const jet::Error& e) {
                throw fromEngine(e, QStringLiteral("Impossible d'abandonner la nouvelle fiche"));
            }
            d->show();
            emit currentChanged();
            return;
        }
        if (!d->onRow())
            throw RecordSourceError(Code::NoCurrentRow, QStringLiteral("Aucune fiche n'est affichée : rien à effacer."));
        try {
            d->rs->deleteCurrent();
        } catch (const jet::Error& e) {
            if (!d->rs->conflict())
                throw fromEngine(e, QStringLiteral("Impossible d'effacer la fiche"));
            // Another desk changed the row since it was shown.
            const auto fields = d->conflictFields(*d->rs->conflict());
            const bool anyway = askAboutDeletingChangedRow(d->dialogParent(), fields) == ConflictAnswer::WriteOver;
            try {
                d->rs->resolveConflict(anyway ? jet::ConflictChoice::WriteOver : jet::ConflictChoice::TakeTheirs);
            } catch (const jet::Error& again) {
                d->show();
                emit currentChanged();
                throw fromEngine(again, QStringLiteral("Impossible d'effacer la fiche"));
            }
            if (!anyway) {
                d->show(); // the row as the other desk left it
                emit currentChanged();
                throw RecordSourceError(Code::Conflict, QStringLiteral("La fiche modifiée sur l'autre poste a été "
                                                                       "gardée telle qu'il l'a enregistrée."));
            }
        }
        d->show(); // no row is current until the next move
        emit currentChanged();
    });
}

void BaseR::MoveFirst()
{
    guarded([&] {
        d->moveOn([](jet::Recordset& rs) { rs.moveFirst(); }, QStringLiteral("aller à la première fiche"));
    });
}

void BaseR::MovePrevious()
{
    guarded([&] {
        d->moveOn([](jet::Recordset& rs) { rs.movePrevious(); }, QStringLiteral("revenir à la fiche précédente"));
    });
}

void BaseR::MoveNext()
{
    guarded([&] {
        d->moveOn([](jet::Recordset& rs) { rs.moveNext(); }, QStringLiteral("passer à la fiche suivante"));
    });
}

void BaseR::MoveLast()
{
    guarded([&] {
        d->moveOn([](jet::Recordset& rs) { rs.moveLast(); }, QStringLiteral("aller à la dernière fiche"));
    });
}

jet::Bookmark BaseR::LastModified() const
{
    return guarded([&] {
        d->requireOpen();
        if (!d->lastModified.valid())
            throw RecordSourceError(Code::NoCurrentRow,
                                    QStringLiteral("Aucune fiche n'a encore été enregistrée depuis l'ouverture."));
        return d->lastModified;
    });
}

jet::Bookmark BaseR::Bookmark() const
{
    return guarded([&] {
        d->requireOpen();
        if (!d->onRow())
            throw RecordSourceError(Code::NoCurrentRow, QStringLiteral("Aucune fiche n'est affichée."));
        try {
            return d->rs->bookmark();
        } catch (const jet::Error& e) {
            throw fromEngine(e, QStringLiteral("Signet indisponible"));
        }
    });
}

void BaseR::setBookmark(jet::Bookmark bookmark)
{
    guarded([&] {
        d->requireOpen();
        d->leave();
        try {
            d->rs->setBookmark(bookmark);
        } catch (const jet::Error& e) {
            d->show();
            emit currentChanged();
            if (e.code() == jet::Code::NotFound || e.code() == jet::Code::NoCurrentRow)
                throw RecordSourceError(Code::NoCurrentRow,
                                        QStringLiteral("Cette fiche ne fait pas partie des fiches affichées."));
            throw fromEngine(e, QStringLiteral("Impossible d'afficher la fiche"));
        }
        d->show();
        emit currentChanged();
    });
}

void BaseR::savePending()
{
    guarded([&] {
        if (d->leave()) {
            d->show();
            emit currentChanged();
        }
    });
}

bool BaseR::hasPendingEdits() const
{
    return d->adding() || (d->onRow() && d->anyModified());
}

void BaseR::undoEdits()
{
    guarded([&] {
        if (!d->open())
            return;
        if (d->adding()) {
            try {
                d->rs->cancelUpdate();
            } catch (const jet::Error& e) {
                throw fromEngine(e, QStringLiteral("Impossible d'abandonner la nouvelle fiche"));
            }
        }
        d->show();
        emit currentChanged();
    });
}

} // namespace velmor
