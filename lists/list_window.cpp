#include "lists/list_window.h"
#include "lists/row_activation.h"

#include "lists/csv_writer.h"
#include "lists/list_printing.h"
#include "sheets/outstanding_threshold.h"
#include "shell/dialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace velmor {

namespace {

ListWindow::SaveChooser& saveChooser() {
    static ListWindow::SaveChooser chooser =
        [](QWidget* parent, const QString& suggested) -> std::optional<QString> {
        const QString path =
            QFileDialog::getSaveFileName(parent, QStringLiteral("Exporter la liste"), suggested,
                                         QStringLiteral("Fichier CSV (*.csv)"));
        if (path.isEmpty())
            return std::nullopt;
        return path;
    };
    return chooser;
}

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

void ListWindow::setSaveChooser(SaveChooser chooser) {
    saveChooser() = std::move(chooser);
}

ListWindow::ListWindow(std::shared_ptr<jet::Database> database, const ListDesign& design,
                       QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("liste") + QString::fromLatin1(design.sheet.objectName));
    setWindowTitle(QStringLiteral("Liste — %1").arg(design.sheet.windowTitle));
    model_ = new RowListModel(std::move(database), design, this);
    model_->setThreshold(outstanding::threshold());

    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("rechercheListe"));
    search_->setPlaceholderText(
        QStringLiteral("Rechercher (émetteur, n° accord, client, matériel, motif)"));
    search_->setClearButtonEnabled(true);
    search_->setAccessibleName(QStringLiteral("Rechercher dans la liste"));
    outstanding_ = new QCheckBox(QStringLiteral("En cours seulement"), this);
    outstanding_->setObjectName(QStringLiteral("enCoursSeulement"));
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("nombreFiches"));

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tableListe"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSortIndicatorShown(true);
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->horizontalHeader()->setDefaultSectionSize(130);
    openRowsOnActivation(table_, [this](int row) { openRow(row); });
    connect(table_->horizontalHeader(), &QHeaderView::sortIndicatorChanged, model_,
            [this](int column, Qt::SortOrder order) { model_->sort(column, order); });

    auto* exportButton = makeButton("exporterListe", QStringLiteral("Exporter…"), this);
    auto* printButton = makeButton("imprimerListe", QStringLiteral("Imprimer la liste…"), this);
    auto* historyButton =
        makeButton("historiqueListe", QStringLiteral("Historique du client"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(search_, 1);
    top->addWidget(outstanding_);
    top->addWidget(count_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(historyButton);
    bottom->addStretch(1);
    bottom->addWidget(exportButton);
    bottom->addWidget(printButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addLayout(bottom);

    connect(search_, &QLineEdit::textChanged, model_, &RowListModel::setFilter);
    connect(outstanding_, &QCheckBox::toggled, model_, &RowListModel::setOutstandingOnly);
    connect(model_, &RowListModel::countChanged, this, &ListWindow::showCount);
    connect(exportButton, &QPushButton::clicked, this, &ListWindow::exportRows);
    connect(printButton, &QPushButton::clicked, this, &ListWindow::printRows);
    connect(historyButton, &QPushButton::clicked, this, [this] {
        const QString client = selectedClient();
        if (!client.isEmpty())
            emit historyRequested(client);
    });
    showCount();
    resize(900, 500);

    // The search keys are read while the user looks at the list, a few
    // thousand rows at a time, so that the first keystroke finds them ready.
    auto* idle = new QTimer(this);
    idle->setInterval(0);
    connect(idle, &QTimer::timeout, this, [this, idle] {
        if (model_->prepareSearch(2000))
            idle->stop();
    });
    connect(model_, &QAbstractItemModel::modelReset, idle, [idle] { idle->start(); });
    QTimer::singleShot(300, idle, [idle] { idle->start(); });
}

void ListWindow::showCount() {
    count_->setText(model_->countText());
}

void ListWindow::openRow(int row) {
    const jet::Bookmark bookmark = model_->bookmarkAt(row);
    if (bookmark.valid())
        emit openRowRequested(model_->design().which, bookmark);
}

QString ListWindow::selectedClient() const {
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid())
        return QString();
    const auto& fields = model_->design().sheet.fields;
    for (size_t c = 0; c < fields.size(); ++c)
        if (QLatin1String(fields[c].column) == QLatin1String(model_->design().sheet.clientColumn))
            return model_->data(model_->index(current.row(), int(c)), RowListModel::ValueRole)
                .toString();
    return QString();
}

QString ListWindow::filterDescription() const {
    QStringList parts;
    if (!model_->filter().trimmed().isEmpty())
        parts << QStringLiteral("Filtre : « %1 »").arg(model_->filter().trimmed());
    if (model_->outstandingOnly())
        parts << QStringLiteral("en cours seulement");
    parts << model_->countText();
    return parts.join(QStringLiteral(" — "));
}

bool ListWindow::exportTo(const QString& path) {
    model_->fetchAllRows();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv::writeModel(*model_, RowListModel::ValueRole)) < 0 || !file.commit()) {
        dialogs().message(this,
                          QStringLiteral("La liste n'a pas pu être exportée dans « %1 » :\n%2")
                              .arg(QDir::toNativeSeparators(path), file.errorString()),
                          applicationTitle());
        return false;
    }
    return true;
}

void ListWindow::exportRows() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested =
        folder + QStringLiteral("/%1.csv").arg(QString::fromLatin1(model_->design().sheet.table));
    if (const std::optional<QString> path = saveChooser()(this, suggested))
        exportTo(*path);
}

void ListWindow::printRows() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!dialogs().print(this, printer))
        return;
    model_->fetchAllRows();
    const ListPrintHeading heading{windowTitle(), filterDescription(), QDate::currentDate()};
    if (printList(*model_, heading, printer) == 0)
        dialogs().message(this, QStringLiteral("L'impression de la liste n'a pas pu commencer."),
                          applicationTitle());
}

} // namespace velmor
