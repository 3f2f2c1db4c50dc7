#include "lists/list_host.h"

#include "jet/status.h"
#include "lists/history_window.h"
#include "lists/list_window.h"
#include "server/server_address.h"
#include "sheets/outstanding_threshold.h"
#include "sheets/record_sheet.h"
#include "sheets/record_source.h"
#include "shell/dialogs.h"
#include "shell/main_window.h"
#include "shell/paths.h"
#include "shell/settings.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

namespace velmor {

namespace {

SheetHost::Sheet markedSheet() {
    const QString marker = settings::read(QStringLiteral("pageencours"), QStringLiteral("pgcours"),
                                          QStringLiteral("page"));
    return settings::toNumber(marker).value_or(0.0f) == 1.0f ? SheetHost::Sheet::Loan
                                                             : SheetHost::Sheet::Return;
}

QString reasonOf(const std::exception& error) {
    if (const auto* failure = dynamic_cast<const RecordSourceError*>(&error))
        return failure->message();
    return QString::fromUtf8(error.what());
}

} // namespace

ListHost::ListHost(MainWindow& window, SheetHost& sheets)
    : QObject(&window), window_(window), sheets_(sheets) {
    // "Liste" right of "En Cours", spaced as the buttons before it.
    QPushButton* last = window.Command8;
    const int gap = last->x() - window.Command7->geometry().right() - 1;
    listButton_ = new QPushButton(QStringLiteral("Liste"), window.Toolbar1);
    listButton_->setObjectName(QStringLiteral("CommandListe"));
    listButton_->setToolTip(QStringLiteral("Liste des fiches de la feuille en cours"));
    listButton_->setAutoDefault(false);
    listButton_->setGeometry(last->geometry().right() + 1 + gap, last->y(), last->width(),
                             last->height());
    QWidget::setTabOrder(last, listButton_);

    auto* menu = new QMenu(QStringLiteral("Listes"), &window);
    menu->setObjectName(QStringLiteral("Listes"));
    window.menuBar()->insertMenu(window.option2->menuAction(), menu);
    listAction_ = menu->addAction(QStringLiteral("Liste des fiches"));
    listAction_->setObjectName(QStringLiteral("listeFiches"));
    historyAction_ = menu->addAction(QStringLiteral("Historique du client"));
    historyAction_->setObjectName(QStringLiteral("historiqueDuClient"));

    reminder_ = new QPushButton(window.statusBar1);
    reminder_->setObjectName(QStringLiteral("rappelEnCours"));
    reminder_->setFlat(true);
    reminder_->setToolTip(QStringLiteral("Afficher la liste de ces fiches"));
    reminder_->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    reminder_->hide();
    window.statusBar1->addWidget(reminder_);
    connect(reminder_, &QPushButton::clicked, this, [this] {
        if (ListWindow* list = openList(reminded_)) {
            list->outstandingToggle()->setChecked(true);
            list->table()->sortByColumn(list->model()->columnCount() - 1, Qt::DescendingOrder);
        }
    });
    // After the window shows, so that the start-up waits for nothing.
    QTimer::singleShot(0, this, &ListHost::remindOverdue);

    connect(listButton_, &QPushButton::clicked, this, [this] { openList(); });
    connect(listAction_, &QAction::triggered, this, [this] { openList(); });
    connect(historyAction_, &QAction::triggered, this, [this] { openHistoryOfSheet(); });
}

void ListHost::report(const QString& text) {
    dialogs().message(&window_, text, applicationTitle());
}

std::shared_ptr<jet::Database> ListHost::openDatabase() {
    const QString path = paths::databaseInUse();
    if (server::isServerAddress(path))
        return std::shared_ptr<jet::Database>(openServerDatabase(path));
    return std::shared_ptr<jet::Database>(
        jet::Database::open(path.toStdString(), jet::OpenMode::ReadOnly));
}

void ListHost::show(QWidget* child) {
    QMdiSubWindow* frame = window_.mdiArea->addSubWindow(child);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setObjectName(child->objectName() + QStringLiteral("Fenetre"));
    frame->resize(child->size());
    frame->show();
    window_.mdiArea->setActiveSubWindow(frame);
}

QString ListHost::reminderText(long loans, long returns, int days) {
    QStringList parts;
    if (loans > 0)
        parts << (loans == 1 ? QStringLiteral("1 prêt") : QStringLiteral("%1 prêts").arg(loans));
    if (returns > 0)
        parts << (returns == 1 ? QStringLiteral("1 retour")
                               : QStringLiteral("%1 retours").arg(returns));
    if (parts.isEmpty())
        return QString();
    return QStringLiteral("%1 en cours depuis plus de %2 jours")
        .arg(parts.join(QStringLiteral(" et ")), QString::number(days));
}

void ListHost::remindOverdue() {
    const int days = outstanding::threshold();
    const QDate limit = QDate::currentDate().addDays(-days);
    long counts[2] = {0, 0};
    try {
        std::shared_ptr<jet::Database> database = openDatabase();
        for (const ListDesign* design : {&loanListDesign(), &returnListDesign()}) {
            const QString select =
                QStringLiteral("SELECT * FROM [%1] WHERE [%2] IS NULL AND [%3] < #%4#")
                    .arg(QLatin1String(design->sheet.table),
                         QLatin1String(design->sheet.outstandingColumn),
                         QLatin1String(design->ageFrom), limit.toString(Qt::ISODate));
            counts[design->which == SheetHost::Sheet::Loan ? 0 : 1] =
                database->openRecordset(select.toStdString())->recordCount();
        }
    } catch (const std::exception&) {
        reminder_->hide(); // no database yet, or not readable: the sheets will say so
        return;
    }
    reminded_ = counts[0] > 0 ? SheetHost::Sheet::Loan : SheetHost::Sheet::Return;
    const QString text = reminderText(counts[0], counts[1], days);
    reminder_->setText(text);
    reminder_->setVisible(!text.isEmpty());
}

ListWindow* ListHost::openList() {
    return openList(markedSheet());
}

ListWindow* ListHost::openList(SheetHost::Sheet which) {
    ListWindow* list = nullptr;
    try {
        list = new ListWindow(openDatabase(), listDesign(which));
    } catch (const std::exception& error) {
        report(QStringLiteral("La liste n'a pas pu être ouverte.\n\n%1").arg(reasonOf(error)));
        return nullptr;
    }
    connect(list, &ListWindow::openRowRequested, this, &ListHost::openRow);
    connect(list, &ListWindow::historyRequested, this, &ListHost::openHistory);
    show(list);
    return list;
}

HistoryWindow* ListHost::openHistory(const QString& client) {
    HistoryWindow* history = nullptr;
    try {
        std::shared_ptr<jet::Database> database = openDatabase();
        history = new HistoryWindow(new ClientHistoryModel(*database, client));
    } catch (const std::exception& error) {
        report(QStringLiteral("L'historique du client n'a pas pu être ouvert.\n\n%1")
                   .arg(reasonOf(error)));
        return nullptr;
    }
    connect(history, &HistoryWindow::openRowRequested, this, &ListHost::openRow);
    show(history);
    return history;
}

HistoryWindow* ListHost::openHistoryOfSheet() {
    const SheetHost::Sheet which = markedSheet();
    RecordSheet* sheet = sheets_.sheet(which, false);
    const SheetDesign& design = listDesign(which).sheet;
    QString client;
    for (const FieldDesign& field : design.fields)
        if (QLatin1String(field.column) == QLatin1String(design.clientColumn) && sheet)
            if (auto* box = sheet->findChild<QLineEdit*>(QString::fromLatin1(field.box)))
                client = box->text().trimmed();
    if (client.isEmpty()) {
        report(QStringLiteral(
                   "Aucun client n'est affiché dans la feuille « %1 » : ouvrez une fiche d'abord.")
                   .arg(design.windowTitle));
        return nullptr;
    }
    return openHistory(client);
}

bool ListHost::openRow(SheetHost::Sheet which, jet::Bookmark bookmark) {
    sheets_.open(which); // the sheet in front, created and loaded if need be
    RecordSheet* sheet = sheets_.sheet(which, false);
    if (!sheet || !sheet->writePendingEdit())
        return false;
    BaseR& source = sheet->recordSource();
    try {
        if (!source.isOpen() || source.RecordSource() != sheet->design().allRows()) {
            source.setRecordSource(sheet->design().allRows());
            source.Refresh();
        }
        source.setBookmark(bookmark);
    } catch (const std::exception& error) {
        report(QStringLiteral("La fiche n'a pas pu être affichée dans la feuille « %1 ».\n\n%2")
                   .arg(sheet->windowTitle(), reasonOf(error)));
        return false;
    }
    return true;
}

} // namespace velmor
