// The window of "Historique du client": its rows in a table view;
// double-click or Enter on a row asks to show it in its sheet.
#pragma once

#include "lists/client_history.h"

#include <QWidget>

class QTableView;

namespace velmor {

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // Takes the model over.
    explicit HistoryWindow(ClientHistoryModel* model, QWidget* parent = nullptr);

    ClientHistoryModel* model() const { return model_; }
    QTableView* table() const { return table_; }

signals:
    void openRowRequested(SheetHost::Sheet which, jet::Bookmark bookmark);

protected:

private:
    void openRow(int row);

    ClientHistoryModel* model_;
    QTableView* table_;
};

} // namespace velmor
