#include "lists/row_activation.h"

#include <QKeyEvent>
#include <QTableView>

namespace velmor {
namespace {

class EnterOpensRow : public QObject {
public:
    EnterOpensRow(QTableView* table, std::function<void(int)> open)
        : QObject(table), table_(table), open_(std::move(open)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == table_ && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && table_->currentIndex().isValid()) {
                open_(table_->currentIndex().row());
                return true;
            }
        }
        return false;
    }

private:
    QTableView* table_;
    std::function<void(int)> open_;
};

} // namespace

void openRowsOnActivation(QTableView* table, std::function<void(int row)> open) {
    table->installEventFilter(new EnterOpensRow(table, open));
    QObject::connect(table, &QTableView::doubleClicked, table,
                     [open](const QModelIndex& index) { open(index.row()); });
}

} // namespace velmor
