#include "shell/main_window.h"

#include "shell/look.h"
#include "shell/settings.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace velmor {

namespace {

// The colour of the empty document area: the system colour of the active
// window border.
QColor activeBorderColour() {
#ifdef Q_OS_WIN
    const DWORD c = GetSysColor(COLOR_ACTIVEBORDER);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
#else
    return QColor(180, 180, 180);
#endif
}

struct ButtonSpec {
    QPushButton* MainWindow::*member;
    const char* name;
    int widthTwips;
    QString caption;
    QString toolTip;
};

// Toolbar geometry, in pixels.
constexpr int toolbarHeight = twips(630);
constexpr int buttonTop = twips(120);
constexpr int buttonHeight = twips(495);
constexpr int firstButtonLeft = 4;
constexpr int buttonGap = 2;
constexpr int wideGap = 24; // between "Retour" and "Voir"

} // namespace

// --- Status bar ---------------------------------------------------------------

StatusBar1::StatusBar1(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setFixedHeight(twips(375));
    setSizeGripEnabled(false);
    // The panels draw their own sunken frames.
    setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    setFont(windowFont(QStringLiteral("MS Sans Serif"), 8.25, true));

    auto makePanel = [this](const char* name) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QString::fromLatin1(name));
        panel->setFont(font());
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setContentsMargins(3, 0, 3, 0);
        return panel;
    };
    textPanel = makePanel("Panel1");
    textPanel->setText(QStringLiteral("Velmor v2.00"));
    datePanel = makePanel("Panel2");
    datePanel->setFixedWidth(twips(1440));
    datePanel->setAlignment(Qt::AlignCenter);
    timePanel = makePanel("Panel3");
    timePanel->setFixedWidth(twips(1440));
    timePanel->setAlignment(Qt::AlignCenter);

    notePanel = makePanel("Panel4");
    notePanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    notePanel->hide();

    addWidget(textPanel, 1);
    addWidget(notePanel, 4);
    addPermanentWidget(datePanel);
    addPermanentWidget(timePanel);

    refresh();
    clock_ = new QTimer(this);
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, &StatusBar1::refresh);
    clock_->start();
}

void StatusBar1::setNote(const QString& text) {
    note_ = text;
    showNote();
}

void StatusBar1::setBusy(const QString& text) {
    busy_ = text;
    showNote();
}

void StatusBar1::showNote() {
    const QString text = busy_.isEmpty() ? note_ : busy_;
    notePanel->setText(text);
    notePanel->setToolTip(text);
    notePanel->setVisible(!text.isEmpty());
}

QString StatusBar1::timeFormat(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[:.,]?\\s*s+"));
    format.remove(seconds);
    return format.trimmed();
}

void StatusBar1::refresh() {
    const QDateTime now = QDateTime::currentDateTime();
    // The regional settings of the whole application, as in the sheets.
    const QLocale locale;
    const QString date = locale.toString(now.date(), QLocale::ShortFormat);
    const QString time = locale.toString(now.time(), timeFormat(locale));
    if (datePanel->text() != date)
        datePanel->setText(date);
    if (timePanel->text() != time)
        timePanel->setText(time);
}

// --- Main window -------------------------------------------------------------

QString databaseFileFilter() {
    return QStringLiteral("Tous les fichiers (*.*)|*.*|fichiers Access") +
           QStringLiteral("(*.mdb)|*.mdb|Base Velmor v2.00") +
           QStringLiteral("(velmor2001.mdb)|velmor2001.mdb");
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("parent"));
    setWindowTitle(QStringLiteral("Velmor V2.0"));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    buildToolbar();
    layout->addWidget(Toolbar1);

    mdiArea = new QMdiArea(central);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(activeBorderColour());
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(mdiArea, 1);
    setCentralWidget(central);

    buildMenus();

    statusBar1 = new StatusBar1(this);
    setStatusBar(statusBar1);

    connect(quitter, &QPushButton::clicked, this, &MainWindow::quitProgram);
    connect(quittersur, &QAction::triggered, this, &MainWindow::quitProgram);
    connect(ouvrir, &QAction::triggered, this, &MainWindow::openDatabase);

    setWindowState(windowState() | Qt::WindowMaximized);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildToolbar() {
    auto* bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("Toolbar1"));
    bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bar->setFixedHeight(toolbarHeight);
    Toolbar1 = bar;

    const ButtonSpec specs[] = {
        {&MainWindow::quitter, "quitter", 615, QStringLiteral("Quitter"),
         QStringLiteral("Quitter le programme")},
        {&MainWindow::Command2, "Command2", 735, QStringLiteral("Prêt"),
         QStringLiteral("accès à la feuille de prêt")},
        {&MainWindow::Command3, "Command3", 735, QStringLiteral("Retour"),
         QStringLiteral("accès à la feuille de retour")},
        {&MainWindow::Command4, "Command4", 855, QStringLiteral("Voir"),
         QStringLiteral("Accéder à toute la base")},
        {&MainWindow::Command1, "Command1", 1095, QStringLiteral("Nouveau"),
         QStringLiteral("Nouvelle entrée")},
        {&MainWindow::Command5, "Command5", 1095, QStringLiteral("Effacer"),
         QStringLiteral("Supprimer l'enregistrement en cours")},
        {&MainWindow::Command6, "Command6", 1095, QStringLiteral("Enregistrer"),
         QStringLiteral("Enregistrer la saisie")},
        {&MainWindow::Command7, "Command7", 1095, QStringLiteral("Rechercher"),
         QStringLiteral("Recherche d'un client par son nom")},
        {&MainWindow::Command8, "Command8", 1095, QStringLiteral("En Cours"),
         QStringLiteral("Recherche des matériels non retournés")},
    };

    int left = firstButtonLeft;
    QPushButton* previous = nullptr;
    for (const ButtonSpec& entry : specs) {
        auto* button = new QPushButton(entry.caption, bar);
        button->setObjectName(QString::fromLatin1(entry.name));
        button->setToolTip(entry.toolTip);
        button->setAutoDefault(false);
        button->setGeometry(left, buttonTop, twips(entry.widthTwips), buttonHeight);
        this->*(entry.member) = button;
        left +=
            twips(entry.widthTwips) + (entry.member == &MainWindow::Command3 ? wideGap : buttonGap);
        if (previous)
            setTabOrder(previous, button);
        previous = button;
    }
}

void MainWindow::buildMenus() {
    auto makeAction = [this](QMenu* menu, const char* name, const QString& text) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        menu->addAction(action);
        return action;
    };

    Fichier = menuBar()->addMenu(QStringLiteral("Fichier"));
    Fichier->setObjectName(QStringLiteral("Fichier"));
    ouvrir = makeAction(Fichier, "ouvrir", QStringLiteral("Ouvrir une Base"));
    serveur = makeAction(Fichier, "serveur", QStringLiteral("Se connecter à un serveur…"));
    compacter = makeAction(Fichier, "compacter", QStringLiteral("Compacter la base"));
    Imprimer = makeAction(Fichier, "Imprimer", QStringLiteral("Imprimer"));
    quittersur = makeAction(Fichier, "quittersur", QStringLiteral("Quitter"));

    option2 = menuBar()->addMenu(QStringLiteral("option"));
    option2->setObjectName(QStringLiteral("option2"));
    option = makeAction(option2, "option", QStringLiteral("option"));

    apropos = menuBar()->addMenu(QStringLiteral("?"));
    apropos->setObjectName(QStringLiteral("apropos"));
    commentaire = makeAction(apropos, "commentaire", QStringLiteral("à propos de"));
}

QList<QPushButton*> MainWindow::toolbarButtons() const {
    return {quitter,  Command2, Command3, Command4, Command1,
            Command5, Command6, Command7, Command8};
}

void MainWindow::quitProgram() {
    endProgram(QuitReason::Command);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    endProgram(QuitReason::CloseBox);
}

void MainWindow::endProgram(QuitReason reason) {
    if (ending_)
        return;
    ending_ = true;
    if (beforeQuit_)
        beforeQuit_(reason);
    // exit() rather than quit(): no other window gets a closing step, and a
    // window left open or hidden cannot keep the program running.
    QCoreApplication::exit(0);
}

QString databaseDialogStart() {
    // The database in use, in its folder, when that folder is there;
    // otherwise the user's home folder.
    const QString current = settings::read(QStringLiteral("option"), QStringLiteral("option"),
                                           QStringLiteral("cheminbase"));
    if (!current.isEmpty() && QFileInfo(current).absoluteDir().exists())
        return current;
    return QDir::homePath() + QLatin1Char('/');
}

void MainWindow::openDatabase() {
    // Cancel must end the command with nothing saved.
    CommonDialog1.setCancelError(true);
    CommonDialog1.setFilter(databaseFileFilter());
    CommonDialog1.setFilterIndex(3);
    if (CommonDialog1.fileName().isEmpty())
        CommonDialog1.setFileName(databaseDialogStart());
    const std::optional<QString> picked = CommonDialog1.showOpen(this);
    if (!picked)
        return;
    settings::save(QStringLiteral("option"), QStringLiteral("option"), QStringLiteral("cheminbase"),
                   *picked);
    settings::save(QStringLiteral("option"), QStringLiteral("option"), QStringLiteral("serveur"), QString());
}

} // namespace velmor
