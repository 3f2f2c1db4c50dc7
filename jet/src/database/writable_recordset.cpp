#include "database/writable_recordset.h"

#include "format/text.h"

#include "format/data_page.h"
#include "format/row_encoder.h"
#include "table/row_merge.h"

#include <algorithm>

namespace jet::detail {

namespace {

bool compatible(ColumnType type, Value::Kind kind)
{
    using K = Value::Kind;
    switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo: return kind == K::Text;
    case ColumnType::DateTime:
    case ColumnType::DateTimeExtended: return kind == K::DateTime;
    case ColumnType::Boolean: return kind == K::Bool || kind == K::Int;
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::BigInt:
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double: return kind == K::Int || kind == K::Double || kind == K::Currency || kind == K::Bool;
    case ColumnType::Binary:
    case ColumnType::OLE: return kind == K::Binary;
    case ColumnType::Guid: return kind == K::Guid;
    case ColumnType::Numeric:
        return kind == K::Decimal || kind == K::Int || kind == K::Double || kind == K::Currency;
    default: return false;
    }
}

} // namespace

WritableRecordset::WritableRecordset(std::shared_ptr<Storage> storage, std::shared_ptr<const TableDef> table,
                                     sql::Select* select, std::shared_ptr<writer::DatabaseWriter> writer)
    : RecordsetImpl(std::move(storage), std::move(table), select, false), writer_(std::move(writer))
{
}

void WritableRecordset::beforeMove()
{
    if (mode_ != EditMode::None)
        throw Error(Code::InvalidState, "modification en cours : enregistrez ou annulez avant de changer d'enregistrement");
    conflict_.reset();
    if (deleted_) {
        // The deleted row leaves the set; the position now names the row after it.
        rows_.erase(rows_.begin() + position_);
        positions_.clear();
        forgetCopies();
        deleted_ = false;
    }
}

void WritableRecordset::fetchAll()
{
    beforeMove();
    RecordsetImpl::fetchAll();
}

void WritableRecordset::moveFirst()
{
    beforeMove();
    RecordsetImpl::moveFirst();
}

void WritableRecordset::moveLast()
{
    beforeMove();
    RecordsetImpl::moveLast();
}

void WritableRecordset::moveNext()
{
    bool wasDeleted = deleted_;
    beforeMove();
    if (wasDeleted)
        return; // already on the row that followed the deleted one
    RecordsetImpl::moveNext();
}

void WritableRecordset::movePrevious()
{
    bool wasDeleted = deleted_;
    beforeMove();
    if (wasDeleted) {
        --position_;
        return;
    }
    RecordsetImpl::movePrevious();
}

void WritableRecordset::setBookmark(Bookmark b)
{
    beforeMove();
    RecordsetImpl::setBookmark(b);
}

void WritableRecordset::setAbsolutePosition(long position)
{
    beforeMove();
    RecordsetImpl::setAbsolutePosition(position);
}

void WritableRecordset::checkColumn(int column) const
{
    if (column < 0 || size_t(column) >= table_->columns.size())
        throw Error(Code::NotFound, "colonne " + std::to_string(column) + " inexistante dans " + table_->name);
}

Value WritableRecordset::value(int column) const
{
    checkColumn(column);
    if (mode_ != EditMode::None && pending_[size_t(column)])
        return *pending_[size_t(column)];
    if (mode_ == EditMode::Adding) {
        const ColumnInfo& c = table_->columns[size_t(column)].info;
        return c.type == ColumnType::Boolean ? Value::boolean(false) : Value();
    }
    if (deleted_)
        throw Error(Code::NoCurrentRow, "l'enregistrement a été supprimé");
    return RecordsetImpl::value(column);
}

void WritableRecordset::addNew()
{
    if (mode_ != EditMode::None)
        throw Error(Code::InvalidState, "modification en cours : enregistrez ou annulez d'abord");
    pending_.assign(table_->columns.size(), std::nullopt);
    conflict_.reset();
    mode_ = EditMode::Adding;
}

void WritableRecordset::edit()
{
    if (mode_ != EditMode::None)
        throw Error(Code::InvalidState, "modification en cours : enregistrez ou annulez d'abord");
    if (deleted_ || !hasCurrent())
        throw Error(Code::NoCurrentRow, "aucun enregistrement en cours à modifier");
    pending_.assign(table_->columns.size(), std::nullopt);
    read_ = readCurrentRow();
    conflict_.reset();
    mode_ = EditMode::Editing;
}

std::vector<std::optional<Value>> WritableRecordset::readCurrentRow() const
{
    std::vector<std::optional<Value>> row(table_->columns.size());
    for (size_t i = 0; i < row.size(); ++i) {
        try {
            row[i] = RecordsetImpl::value(int(i));
        } catch (const Error& e) {
            // A wait for the file given up, or the file unreadable: no write.
            if (e.code() == Code::Locked || e.code() == Code::IoError)
                throw;
            // Otherwise unknown: changed by another program, if this one changes it.
        }
    }
    return row;
}

std::optional<std::vector<Value>> WritableRecordset::storedRow(Bookmark b)
{
    Storage::ReadScope scope(*storage_);
    PageFile& file = storage_->file();
    file.refresh(); // another process may have made the file longer
    const FormatInfo& f = storage_->format();
    if (b.page >= file.pageCount())
        return std::nullopt;
    const uint8_t* page = file.page(b.page);
    // A page given back and used for something else, a slot beyond the
    // page's rows or marked deleted: the row is no longer there.
    if (page[0] != kDataPage || le32(page + f.dataOwner) != table_->page ||
        b.row >= dataPageRowCount(file, f, b.page, page))
        return std::nullopt;
    ByteRange bytes(file, b.page, nullptr, 0);
    if (!rowData(file, f, RowPointer{b.page, b.row}, bytes))
        return std::nullopt;
    RowReader reader(file, f, *table_);
    reader.load(bytes);
    std::vector<Value> values;
    values.reserve(table_->columns.size());
    for (const ColumnDef& c : table_->columns)
        values.push_back(reader.value(c));
    return values;
}

void WritableRecordset::setValue(int column, const Value& v)
{
    checkColumn(column);
    if (mode_ == EditMode::None)
        throw Error(Code::InvalidState, "aucune modification en cours : appelez AddNew ou Edit d'abord");
    const ColumnInfo& c = table_->columns[size_t(column)].info;
    if (c.autonumber)
        throw Error(Code::InvalidValue, writer::TableWriter::autonumberRefusal(c.name));
    if (!v.isNull()) {
        if (!compatible(c.type, v.kind()))
            throw Error(Code::InvalidValue, "valeur de type incompatible pour la colonne « " + c.name + " » (" +
                                                columnTypeName(c.type) + ")");
        if (c.type == ColumnType::Text && c.maxChars > 0) {
            size_t chars = 0;
            writer::encodeColumnText(table_->columns[size_t(column)], v.asText(), &chars);
            if (chars > size_t(c.maxChars))
                throw Error(Code::InvalidValue, "texte trop long pour la colonne « " + c.name + " » (" +
                                                    std::to_string(chars) + " caractères, " +
                                                    std::to_string(c.maxChars) + " au plus)");
        }
        if (c.type == ColumnType::Numeric) {
            // Refused here, as the writer would refuse it: malformed, too
            // precise for the scale, too large for the precision.
            writer::encodeNumeric(table_->columns[size_t(column)], v);
        }
    }
    pending_[size_t(column)] = v;
}

void WritableRecordset::update()
{
    if (mode_ == EditMode::None)
        throw Error(Code::InvalidState, "aucune modification en cours : rien à enregistrer");
    conflict_.reset();
    if (mode_ == EditMode::Editing) {
        updateEdited();
        return;
    }
    std::vector<Value> values(table_->columns.size());
    for (size_t i = 0; i < values.size(); ++i)
        if (pending_[i])
            values[i] = *pending_[i];
    writer::RowId id = writer_->insert(table_->name, values);
    Bookmark b{id.page, uint16_t(id.row)};
    const bool atEnd = position_ >= long(rows_.size());
    rows_.push_back(b);
    if (atEnd)
        position_ = long(rows_.size());
    positions_.clear();
    lastModified_ = b;
    forgetCopies();
    mode_ = EditMode::None;
    pending_.clear();
}

void WritableRecordset::updateEdited()
{
    // A value set to what was read is no change: it must not write over
    // what another program stored meanwhile.
    for (size_t i = 0; i < pending_.size() && i < read_.size(); ++i)
        if (pending_[i] && read_[i] && *pending_[i] == *read_[i])
            pending_[i].reset();
    const Bookmark b = rows_[size_t(position_)];
    writer_->transact([&](writer::Transaction& txn) {
        std::optional<std::vector<Value>> stored = storedRow(b);
        if (!stored) {
            conflict_ = RowConflict{RowConflict::Kind::Deleted, false, {}};
            throw Error(Code::RowDeleted, "enregistrement de " + table_->name +
                                              " supprimé par un autre programme depuis sa lecture : rien n'a été "
                                              "enregistré");
        }
        RowMerge merge = mergeRow(read_, pending_, *stored);
        if (merge.conflicting) {
            conflict_ = std::move(merge.found);
            throw Error(Code::Conflict, conflictMessage(table_->name, columns_, *conflict_));
        }
        if (std::none_of(merge.changes.begin(), merge.changes.end(), [](const auto& v) { return v.has_value(); }))
            return;
        writer::TableWriter t(txn, writer_->definitionPage(txn, table_->name));
        t.update(writer::RowId{b.page, b.row}, merge.changes);
        t.finish();
    });
    lastModified_ = b;
    forgetCopies();
    mode_ = EditMode::None;
    pending_.clear();
    read_.clear();
}

void WritableRecordset::cancelUpdate()
{
    mode_ = EditMode::None;
    pending_.clear();
    read_.clear();
    conflict_.reset();
}

void WritableRecordset::deleteCurrent()
{
    if (mode_ != EditMode::None)
        throw Error(Code::InvalidState, "modification en cours : enregistrez ou annulez avant de supprimer");
    if (deleted_ || !hasCurrent())
        throw Error(Code::NoCurrentRow, "aucun enregistrement en cours à supprimer");
    conflict_.reset();
    read_ = readCurrentRow();
    deleteRead();
}

void WritableRecordset::deleteRead()
{
    const Bookmark b = rows_[size_t(position_)];
    writer_->transact([&](writer::Transaction& txn) {
        std::optional<std::vector<Value>> stored = storedRow(b);
        if (!stored)
            return; // another program deleted it already
        RowMerge merge = mergeRow(read_, {}, *stored);
        if (!merge.found.columns.empty()) {
            conflict_ = std::move(merge.found);
            conflict_->duringDelete = true;
            throw Error(Code::Conflict, conflictMessage(table_->name, columns_, *conflict_));
        }
        writer::TableWriter t(txn, writer_->definitionPage(txn, table_->name));
        t.remove(writer::RowId{b.page, b.row});
        t.finish();
    });
    forgetCopies();
    read_.clear();
    deleted_ = true;
}

void WritableRecordset::storeAsNew()
{
    std::vector<Value> values(table_->columns.size());
    for (size_t i = 0; i < values.size(); ++i) {
        const std::optional<Value>& v = pending_[i] ? pending_[i] : read_[i];
        if (v && !table_->columns[i].info.autonumber && v->kind() != Value::Kind::Unsupported)
            values[i] = *v;
    }
    writer::RowId id = writer_->insert(table_->name, values);
    const Bookmark b{id.page, uint16_t(id.row)};
    rows_[size_t(position_)] = b; // the new row takes the deleted one's place
    positions_.clear();
    lastModified_ = b;
    forgetCopies();
    mode_ = EditMode::None;
    pending_.clear();
    read_.clear();
}

void WritableRecordset::resolveConflict(ConflictChoice choice)
{
    if (!conflict_)
        throw Error(Code::InvalidState, "aucun conflit d'écriture en attente");
    const RowConflict found = *conflict_;
    const bool gone = found.kind == RowConflict::Kind::Deleted;
    if ((choice == ConflictChoice::WriteOver && gone) || (choice == ConflictChoice::StoreAsNew && !gone))
        throw Error(Code::InvalidState, gone ? "l'enregistrement a été supprimé par un autre programme : il ne peut "
                                               "qu'être enregistré de nouveau ou abandonné"
                                             : "l'enregistrement existe toujours : il ne peut qu'être écrasé ou "
                                               "repris tel qu'il est enregistré");
    conflict_.reset();
    switch (choice) {
    case ConflictChoice::WriteOver:
        // What the other program stored becomes the row as read: the edits
        // (or the delete) go on top of it.
        for (const RowConflict::Column& c : found.columns)
            read_[size_t(c.column)] = c.stored;
        if (found.duringDelete)
            deleteRead();
        else
            updateEdited();
        return;
    case ConflictChoice::TakeTheirs:
        mode_ = EditMode::None;
        pending_.clear();
        read_.clear();
        forgetCopies();
        deleted_ = deleted_ || gone;
        return;
    case ConflictChoice::StoreAsNew:
        storeAsNew();
        return;
    }
}

} // namespace jet::detail
