#include "writable_recordset.h"

#include "row_encoder.h"

namespace jet::detail {

namespace {

bool compatible(ColumnType type, Value::Kind kind)
{
    using K = Value::Kind;
    switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo: return kind == K::Text;
    case ColumnType::DateTime: return kind == K::DateTime;
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
    if (deleted_) {
        // The deleted row leaves the set; the position now names the row after it.
        rows_.erase(rows_.begin() + position_);
        positions_.clear();
        loaded_ = -1;
        deleted_ = false;
    }
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
    mode_ = EditMode::Adding;
}

void WritableRecordset::edit()
{
    if (mode_ != EditMode::None)
        throw Error(Code::InvalidState, "modification en cours : enregistrez ou annulez d'abord");
    if (deleted_ || !hasCurrent())
        throw Error(Code::NoCurrentRow, "aucun enregistrement en cours à modifier");
    pending_.assign(table_->columns.size(), std::nullopt);
    mode_ = EditMode::Editing;
}

void WritableRecordset::setValue(int column, const Value& v)
{
    checkColumn(column);
    if (mode_ == EditMode::None)
        throw Error(Code::InvalidState, "aucune modification en cours : appelez AddNew ou Edit d'abord");
    const ColumnInfo& c = table_->columns[size_t(column)].info;
    if (c.autonumber)
        throw Error(Code::InvalidValue, "la colonne « " + c.name + " » est numérotée automatiquement");
    if (!v.isNull()) {
        if (!compatible(c.type, v.kind()))
            throw Error(Code::InvalidValue, "valeur de type incompatible pour la colonne « " + c.name + " » (" +
                                                columnTypeName(c.type) + ")");
        if (c.type == ColumnType::Text && c.maxChars > 0) {
            size_t chars = 0;
            writer::encodeText(v.asText(), false, &chars);
            if (chars > size_t(c.maxChars))
                throw Error(Code::InvalidValue, "texte trop long pour la colonne « " + c.name + " » (" +
                                                    std::to_string(chars) + " caractères, " +
                                                    std::to_string(c.maxChars) + " au plus)");
        }
        if (c.type == ColumnType::Numeric) {
            // Refused here, as the writer would refuse it: malformed, too
            // precise for the scale, too large for the precision.
            writer::ColumnLayout layout;
            layout.name = c.name;
            layout.type = c.type;
            layout.precision = uint8_t(c.precision);
            layout.scale = uint8_t(c.scale);
            writer::encodeNumeric(layout, v);
        }
    }
    pending_[size_t(column)] = v;
}

void WritableRecordset::update()
{
    if (mode_ == EditMode::None)
        throw Error(Code::InvalidState, "aucune modification en cours : rien à enregistrer");
    if (mode_ == EditMode::Adding) {
        std::vector<Value> values(table_->columns.size());
        for (size_t i = 0; i < values.size(); ++i)
            if (pending_[i])
                values[i] = *pending_[i];
        writer::RowId id = writer_->insert(table_->name, values);
        storage_->refresh();
        Bookmark b{id.page, uint16_t(id.row)};
        const bool atEnd = position_ >= long(rows_.size());
        rows_.push_back(b);
        if (atEnd)
            position_ = long(rows_.size());
        positions_.clear();
        lastModified_ = b;
    } else {
        Bookmark b = rows_[size_t(position_)];
        writer_->update(table_->name, writer::RowId{b.page, b.row}, pending_);
        storage_->refresh();
        lastModified_ = b;
    }
    loaded_ = -1;
    mode_ = EditMode::None;
    pending_.clear();
}

void WritableRecordset::cancelUpdate()
{
    mode_ = EditMode::None;
    pending_.clear();
}

void WritableRecordset::deleteCurrent()
{
    if (mode_ != EditMode::None)
        throw Error(Code::InvalidState, "modification en cours : enregistrez ou annulez avant de supprimer");
    if (deleted_ || !hasCurrent())
        throw Error(Code::NoCurrentRow, "aucun enregistrement en cours à supprimer");
    Bookmark b = rows_[size_t(position_)];
    writer_->remove(table_->name, writer::RowId{b.page, b.row});
    storage_->refresh();
    loaded_ = -1;
    deleted_ = true;
}

} // namespace jet::detail
