#include "lists/client_history.h"

#include "lists/list_design.h"
#include "sheets/regional_date.h"

#include <algorithm>

namespace velmor {

namespace {

const QStringList& captions() {
    static const QStringList list{QStringLiteral("Fiche"),    QStringLiteral("Date d'accord"),
                                  QStringLiteral("Emetteur"), QStringLiteral("N° accord"),
                                  QStringLiteral("Client"),   QStringLiteral("Matériel"),
                                  QStringLiteral("Motif")};
    return list;
}

} // namespace

ClientHistoryModel::ClientHistoryModel(jet::Database& database, const QString& client,
                                       QObject* parent)
    : QAbstractTableModel(parent), client_(client) {
    readTable(database, returnListDesign());
    readTable(database, loanListDesign());
    std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        if (a.date.isValid() != b.date.isValid())
            return a.date.isValid();
        return a.date < b.date;
    });
}

void ClientHistoryModel::readTable(jet::Database& database, const ListDesign& design) {
    QString quoted = client_;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    const QString select = QStringLiteral("SELECT * FROM [%1] WHERE [%2] = '%3'")
                               .arg(QLatin1String(design.sheet.table),
                                    QLatin1String(design.sheet.clientColumn), quoted);
    std::unique_ptr<jet::Recordset> rows = database.openRecordset(select.toStdString());
    const int dateColumn = rows->columnIndex(design.historyDate);
    std::vector<int> textColumns;
    for (const char* name : design.searchColumns)
        textColumns.push_back(rows->columnIndex(name));
    for (; rows->hasCurrent(); rows->moveNext()) {
        Entry entry;
        entry.which = design.which;
        entry.bookmark = rows->bookmark();
        const jet::Value date = dateColumn >= 0 ? rows->value(dateColumn) : jet::Value();
        if (date.kind() == jet::Value::Kind::DateTime) {
            const jet::Value::Civil c = date.civil();
            entry.date = QDate(c.year, c.month, c.day);
        }
        for (int column : textColumns) {
            const jet::Value value = column >= 0 ? rows->value(column) : jet::Value();
            entry.texts << (value.kind() == jet::Value::Kind::Text
                                ? QString::fromStdString(value.asText())
                                : QString());
        }
        entries_.push_back(std::move(entry));
    }
}

int ClientHistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(entries_.size());
}

int ClientHistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(captions().size());
}

QVariant ClientHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < captions().size())
        return captions().at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QVariant ClientHistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= entries_.size())
        return QVariant();
    const Entry& entry = entries_[size_t(index.row())];
    if (role == Qt::UserRole && index.column() == 1)
        return entry.date;
    if (role != Qt::DisplayRole && role != Qt::UserRole)
        return QVariant();
    switch (index.column()) {
    case 0:
        return listDesign(entry.which).kind;
    case 1:
        return entry.date.isValid() ? regional::formatDate(entry.date) : QString();
    default:
        return entry.texts.value(index.column() - 2).simplified();
    }
}

} // namespace velmor
