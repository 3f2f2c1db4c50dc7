#include "lists/row_list_model.h"

#include "jet/status.h"
#include "jet/text_match.h"
#include "sheets/position_text.h"
#include "sheets/value_text.h"

#include <QBrush>
#include <QColor>
#include <cstring>
#include <limits>

namespace velmor {

namespace {

std::string keyOf(const QString& text) {
    return jet::textMatchKey(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
}

QDate dateOf(const jet::Value& value) {
    if (value.kind() != jet::Value::Kind::DateTime)
        return QDate();
    const jet::Value::Civil c = value.civil();
    return QDate(c.year, c.month, c.day);
}

// The engine's name of a column, bracketed for SELECT.
QString bracketed(const char* name) {
    return QStringLiteral("[%1]").arg(QLatin1String(name));
}

} // namespace

RowListModel::RowListModel(std::shared_ptr<jet::Database> database, const ListDesign& design,
                           QObject* parent)
    : QAbstractTableModel(parent), database_(std::move(database)), design_(design),
      today_(QDate::currentDate()) {
    reopen();
    rebuild();
}

RowListModel::~RowListModel() = default;

int RowListModel::fieldCount() const {
    return int(design_.sheet.fields.size());
}

QString RowListModel::selectText() const {
    QString text = QStringLiteral("SELECT * FROM %1").arg(bracketed(design_.sheet.table));
    if (outstandingOnly_)
        text += QStringLiteral(" WHERE %1 IS NULL").arg(bracketed(design_.sheet.outstandingColumn));
    const char* orderColumn = nullptr;
    bool ascending = sortOrder_ == Qt::AscendingOrder;
    if (sortColumn_ >= 0 && sortColumn_ < fieldCount()) {
        orderColumn = design_.sheet.fields[size_t(sortColumn_)].column;
    } else if (sortColumn_ == fieldCount()) {
        orderColumn = design_.ageFrom; // older first is the greater age
        ascending = !ascending;
    }
    if (orderColumn)
        text += QStringLiteral(" ORDER BY %1 %2")
                    .arg(bracketed(orderColumn),
                         ascending ? QStringLiteral("ASC") : QStringLiteral("DESC"));
    return text;
}

void RowListModel::reopen() {
    rows_ = database_->openRecordset(selectText().toStdString());
    auto columnOf = [this](const char* name) {
        const int index = rows_->columnIndex(name);
        if (index < 0)
            throw jet::Error(jet::Code::NotFound, std::string("colonne absente : ") + name);
        return index;
    };
    fieldColumns_.clear();
    for (const FieldDesign& field : design_.sheet.fields)
        fieldColumns_.push_back(columnOf(field.column));
    searchColumns_.clear();
    for (const char* name : design_.searchColumns)
        searchColumns_.push_back(columnOf(name));
    ageFromColumn_ = columnOf(design_.ageFrom);
    keyText_.clear();
    keyEnds_.clear();
}

bool RowListModel::prepareSearch(long rows) {
    const long count = rows_->recordCount();
    if (long(keyEnds_.size()) >= count)
        return true;
    keyEnds_.reserve(size_t(count));
    rows_->setAbsolutePosition(long(keyEnds_.size()));
    std::string key;
    for (long done = 0; done < rows && rows_->hasCurrent(); ++done, rows_->moveNext()) {
        key.clear();
        for (int column : searchColumns_) {
            const jet::Value value = rows_->value(column);
            if (value.kind() == jet::Value::Kind::Text)
                jet::appendTextMatchKey(key, value.asText());
            key.push_back('\0'); // a word never spans two columns
        }
        const size_t at = keyText_.size();
        keyText_.resize(at + key.size());
        std::memcpy(keyText_.data() + at, key.data(), key.size());
        keyEnds_.push_back(uint32_t(keyText_.size()));
        if (keyEnds_.size() == 1000) { // room for every key, if they run as long as these
            const size_t expected = keyText_.size() / 1000 * size_t(count) * 9 / 8;
            keyText_.reserve(std::max(expected, keyText_.capacity()));
        }
    }
    return long(keyEnds_.size()) >= count || !rows_->hasCurrent();
}

void RowListModel::rebuild() {
    beginResetModel();
    shown_ = 0;
    blocks_.clear();
    blocksHeld_ = 0;
    matches_.clear();
    rowsRead_ = 0;
    filtering_ = !words_.empty();
    if (filtering_) {
        prepareSearch(std::numeric_limits<long>::max());
        matches_.reserve(keyEnds_.size());
        const std::string_view keys(keyText_.data(), keyText_.size());
        size_t start = 0;
        for (size_t i = 0; i < keyEnds_.size(); ++i) {
            const std::string_view key = keys.substr(start, keyEnds_[i] - start);
            start = keyEnds_[i];
            bool all = true;
            for (const std::string& word : words_)
                all = all && jet::keyContains(key, word);
            if (all)
                matches_.push_back(long(i));
        }
        matchCount_ = long(matches_.size());
    } else {
        matchCount_ = rows_->recordCount();
    }
    endResetModel();
    fetchMore(); // the first rows at once: what the view shows first
    emit countChanged();
}

RowListModel::Row RowListModel::readRow(long row) const {
    Row read;
    rows_->setAbsolutePosition(filtering_ ? matches_[size_t(row)] : row);
    read.bookmark = rows_->bookmark();
    read.values.reserve(fieldColumns_.size());
    for (int column : fieldColumns_)
        read.values.push_back(rows_->value(column));
    if (outstandingOnly_) {
        const QDate since = dateOf(rows_->value(ageFromColumn_));
        if (since.isValid())
            read.age = int(since.daysTo(today_));
    }
    ++rowsRead_;
    return read;
}

void RowListModel::readBlock(size_t block) const {
    if (blocksHeld_ >= blocksKept_) { // drop the block used least recently
        auto oldest = blocks_.end();
        for (auto it = blocks_.begin(); it != blocks_.end(); ++it)
            if (*it && (oldest == blocks_.end() || (*it)->lastUse < (*oldest)->lastUse))
                oldest = it;
        oldest->reset();
        --blocksHeld_;
    }
    auto held = std::make_unique<Block>();
    const long first = long(block) * batchSize;
    const long end = std::min(first + batchSize, shown_);
    held->rows.reserve(size_t(end - first));
    for (long row = first; row < end; ++row) {
        try {
            held->rows.push_back(readRow(row));
        } catch (const jet::Error&) {
            // A row another program deleted, or that cannot be read: blank.
            held->rows.push_back(Row{{}, std::vector<jet::Value>(fieldColumns_.size())});
        }
    }
    blocks_[block] = std::move(held);
    ++blocksHeld_;
}

const RowListModel::Row& RowListModel::rowAt(long row) const {
    const size_t block = size_t(row / batchSize);
    if (block >= blocks_.size())
        blocks_.resize(block + 1);
    if (!blocks_[block]) // the view is given whole blocks: a block held is complete
        readBlock(block);
    blocks_[block]->lastUse = ++useClock_;
    return blocks_[block]->rows[size_t(row % batchSize)];
}

void RowListModel::setBlocksKept(int blocks) {
    blocksKept_ = std::max(1, blocks);
}

bool RowListModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && shown_ < matchCount_;
}

void RowListModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    const long first = shown_;
    const long last = std::min(matchCount_, first + batchSize) - 1;
    beginInsertRows(QModelIndex(), int(first), int(last));
    shown_ = last + 1;
    endInsertRows();
    rowAt(first); // the rows the view shows next, read at once
}

void RowListModel::fetchAllRows() {
    if (!canFetchMore())
        return;
    beginInsertRows(QModelIndex(), int(shown_), int(matchCount_ - 1));
    shown_ = matchCount_;
    endInsertRows();
}

long RowListModel::matchCount() const {
    return matchCount_;
}

long RowListModel::tableCount() const {
    if (tableCount_ < 0) {
        if (!outstandingOnly_) // sorted or filtered, the dynaset holds every row
            tableCount_ = rows_->recordCount();
        else
            tableCount_ = database_->openRecordset(design_.sheet.table)->recordCount();
    }
    return tableCount_;
}

QString RowListModel::countText() const {
    if (!filtering_ && !outstandingOnly_)
        return positiontext::rowCount(matchCount_);
    return QStringLiteral("%1 sur %2").arg(positiontext::rowCount(matchCount_)).arg(tableCount());
}

jet::Bookmark RowListModel::bookmarkAt(int row) const {
    if (row < 0 || row >= shown_)
        return {};
    return rowAt(row).bookmark;
}

void RowListModel::setToday(const QDate& today) {
    today_ = today;
    if (outstandingOnly_)
        setOutstandingOnly(true);
}

void RowListModel::setThreshold(int days) {
    threshold_ = days;
    if (shown_ > 0)
        emit dataChanged(index(0, 0), index(int(shown_) - 1, columnCount() - 1));
}

void RowListModel::setFilter(const QString& typed) {
    filter_ = typed;
    words_.clear();
    for (const QString& word : typed.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        std::string key = keyOf(word);
        if (!key.empty())
            words_.push_back(std::move(key));
    }
    rebuild();
}

void RowListModel::setOutstandingOnly(bool only) {
    const bool changed = only != outstandingOnly_;
    if (changed)
        beginResetModel();
    outstandingOnly_ = only;
    if (!only && sortColumn_ >= fieldCount())
        sortColumn_ = -1;
    reopen();
    if (changed)
        endResetModel();
    rebuild();
}

void RowListModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
    reopen();
    rebuild();
}

int RowListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_);
}

int RowListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : fieldCount() + (outstandingOnly_ ? 1 : 0);
}

QVariant RowListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section >= 0 && section < fieldCount())
        return design_.sheet.fields[size_t(section)].caption;
    if (section == fieldCount())
        return QStringLiteral("En cours depuis");
    return QVariant();
}

QVariant RowListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_)
        return QVariant();
    const Row& row = rowAt(index.row());
    const bool overdue = outstandingOnly_ && row.age > threshold_;
    if (role == OverdueRole)
        return overdue;
    if (role == Qt::BackgroundRole)
        return overdue ? QVariant(QBrush(QColor(255, 205, 205))) : QVariant();
    if (index.column() == fieldCount()) {
        if (role == Qt::DisplayRole)
            return row.age < 0 ? QString() : QStringLiteral("%1 j").arg(row.age);
        if (role == ValueRole)
            return row.age < 0 ? QVariant() : QVariant(row.age);
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    }
    const jet::Value& value = row.values[size_t(index.column())];
    const jet::ColumnInfo& column =
        rows_->columns().at(size_t(fieldColumns_[size_t(index.column())]));
    switch (role) {
    case Qt::DisplayRole: {
        QString text = valuetext::toText(value, column);
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return text;
    }
    case Qt::ToolTipRole:
        if (column.type == jet::ColumnType::Memo && !value.isNull())
            return valuetext::toText(value, column);
        return QVariant();
    case ValueRole:
        if (value.kind() == jet::Value::Kind::DateTime)
            return dateOf(value);
        return valuetext::toText(value, column);
    default:
        return QVariant();
    }
}

} // namespace velmor
