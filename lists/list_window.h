// A list window: the rows of one table in a table view, with a search box,
// "En cours seulement", the count of rows shown, and the commands
// "Exporter…", "Imprimer la liste…" and "Historique du client".
// Double-click or Enter on a row asks to show it in its sheet.
#pragma once

#include "lists/row_list_model.h"

#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace velmor {

class ListWindow : public QWidget {
    Q_OBJECT
public:
    // Throws jet::Error when the table cannot be read.
    ListWindow(std::shared_ptr<jet::Database> database, const ListDesign& design,
               QWidget* parent = nullptr);

    RowListModel* model() const { return model_; }
    QTableView* table() const { return table_; }
    QLineEdit* searchBox() const { return search_; }
    QCheckBox* outstandingToggle() const { return outstanding_; }
    QLabel* countLabel() const { return count_; }

    // The file "Exporter…" writes to (the save dialog; nothing on Cancel).
    // Tests replace it.
    using SaveChooser =
        std::function<std::optional<QString>(QWidget* parent, const QString& suggested)>;
    static void setSaveChooser(SaveChooser chooser);

    // "Exporter…": the rows shown, in their order, as CSV. Returns false
    // (after saying why) when the file cannot be written.
    bool exportTo(const QString& path);
    void exportRows();
    void printRows(); // "Imprimer la liste…", through the printer dialog
    // What the printed list says about the filter ("" when none).
    QString filterDescription() const;
    // The client of the selected row (empty when none).
    QString selectedClient() const;

signals:
    void openRowRequested(SheetHost::Sheet which, jet::Bookmark bookmark);
    void historyRequested(const QString& client);

protected:

private:
    void openRow(int row);
    void showCount();

    RowListModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QLineEdit* search_ = nullptr;
    QCheckBox* outstanding_ = nullptr;
    QLabel* count_ = nullptr;
};

} // namespace velmor
