#include "lists/history_window.h"
#include "lists/row_activation.h"

#include "sheets/position_text.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace velmor {

HistoryWindow::HistoryWindow(ClientHistoryModel* model, QWidget* parent)
    : QWidget(parent), model_(model), table_(new QTableView(this)) {
    model_->setParent(this);
    setObjectName(QStringLiteral("historiqueClient"));
    setWindowTitle(QStringLiteral("Historique du client « %1 »").arg(model_->client()));
    table_->setObjectName(QStringLiteral("tableHistorique"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setDefaultSectionSize(130);
    openRowsOnActivation(table_, [this](int row) { openRow(row); });
    auto* count = new QLabel(positiontext::rowCount(model_->rowCount()), this);
    count->setObjectName(QStringLiteral("nombreFichesHistorique"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(count);
    layout->addWidget(table_, 1);
    resize(800, 400);
}

void HistoryWindow::openRow(int row) {
    if (row < 0 || row >= model_->rowCount())
        return;
    const auto& entry = model_->entry(row);
    emit openRowRequested(entry.which, entry.bookmark);
}

} // namespace velmor
