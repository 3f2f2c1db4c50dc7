// "Historique du client": the rows of both tables for one client, loans and
// returns together in the order of their agreement dates (undated rows
// last), each saying which table it comes from.
#pragma once

#include "jet/database.h"
#include "jet/recordset.h"
#include "lists/list_design.h"

#include <QAbstractTableModel>
#include <QDate>
#include <memory>
#include <vector>

namespace velmor {

class ClientHistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Entry {
        SheetHost::Sheet which = SheetHost::Sheet::Return;
        jet::Bookmark bookmark;
        QDate date;
        QStringList texts; // emitter, agreement, client, equipment, reason
    };

    // Reads the rows now; the client is compared as "Rechercher" compares
    // it (whole value, case ignored). Throws jet::Error.
    ClientHistoryModel(jet::Database& database, const QString& client, QObject* parent = nullptr);

    const QString& client() const { return client_; }
    const Entry& entry(int row) const { return entries_.at(size_t(row)); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void readTable(jet::Database& database, const ListDesign& design);

    QString client_;
    std::vector<Entry> entries_;
};

} // namespace velmor
