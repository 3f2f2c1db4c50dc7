#include "lists/row_list_model.h"

#include "jet/status.h"
#include "jet/text_match.h"
#include "sheets/position_text.h"
#include "sheets/value_text.h"

#include <QBrush>
#include <QColor>
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
    keys_.clear();
}

bool RowListModel::prepareSearch(long rows) {
    const long count = rows_->recordCount();
    if (long(keys_.size()) >= count)
        return true;
    keys_.reserve(size_t(count));
    rows_->setAbsolutePosition(long(keys_.size()));
    for (long done = 0; done < rows && rows_->hasCurrent(); ++done, rows_->moveNext()) {
        std::string key;
        for (int column : searchColumns_) {
            const jet::Value value = rows_->value(column);
            if (value.kind() == jet::Value::Kind::Text)
                key += jet::textMatchKey(std::string_view(value.asText()));
            key.push_back('\0'); // a word never spans two columns
        }
        keys_.push_back(std::move(key));
    }
    // Unfiltered reading goes on from the last row read.
    if (!filtering_ && !fetched_.empty())
        rows_->setAbsolutePosition(long(fetched_.size()) - 1);
    return long(keys_.size()) >= count || !rows_->hasCurrent();
}

void RowListModel::rebuild() {
    beginResetModel();
    fetched_.clear();
    matches_.clear();
    rowsRead_ = 0;
    filtering_ = !words_.empty();
    if (filtering_) {
        prepareSearch(std::numeric_limits<long>::max());
        for (size_t i = 0; i < keys_.size(); ++i) {
            bool all = true;
            for (const std::string& word : words_)
                all = all && jet::keyContains(keys_[i], word);
            if (all)
                matches_.push_back(long(i));
        }
        matchCount_ = long(matches_.size());
    } else {
        matchCount_ = rows_->recordCount();
        if (matchCount_ > 0)
            rows_->moveFirst();
    }
    endResetModel();
    fetchMore(); // the first rows at once: what the view shows first
    emit countChanged();
}

RowListModel::Row RowListModel::readCurrent() {
    Row row;
    row.bookmark = rows_->bookmark();
    row.values.reserve(fieldColumns_.size());
    for (int column : fieldColumns_)
        row.values.push_back(rows_->value(column));
    if (outstandingOnly_) {
        const QDate since = dateOf(rows_->value(ageFromColumn_));
        if (since.isValid())
            row.age = int(since.daysTo(today_));
    }
    ++rowsRead_;
    return row;
}

bool RowListModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && long(fetched_.size()) < matchCount_;
}

void RowListModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    const long first = long(fetched_.size());
    const long last = std::min(matchCount_, first + batchSize) - 1;
    beginInsertRows(QModelIndex(), int(first), int(last));
    for (long i = first; i <= last; ++i) {
        // Unfiltered, the dynaset stays on the last row read.
        if (filtering_)
            rows_->setAbsolutePosition(matches_[size_t(i)]);
        else if (i > 0)
            rows_->moveNext();
        if (!rows_->hasCurrent())
            break;
        fetched_.push_back(readCurrent());
    }
    endInsertRows();
}

void RowListModel::fetchAllRows() {
    while (canFetchMore())
        fetchMore();
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
    if (row < 0 || size_t(row) >= fetched_.size())
        return {};
    return fetched_[size_t(row)].bookmark;
}

void RowListModel::setToday(const QDate& today) {
    today_ = today;
    if (outstandingOnly_)
        setOutstandingOnly(true);
}

void RowListModel::setThreshold(int days) {
    threshold_ = days;
    if (!fetched_.empty())
        emit dataChanged(index(0, 0), index(int(fetched_.size()) - 1, columnCount() - 1));
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
    return parent.isValid() ? 0 : int(fetched_.size());
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
    if (!index.isValid() || size_t(index.row()) >= fetched_.size())
        return QVariant();
    const Row& row = fetched_[size_t(index.row())];
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
