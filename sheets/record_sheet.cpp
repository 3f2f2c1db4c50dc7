#include "sheets/record_sheet.h"

#include "sheets/bound_field.h"
#include "sheets/box_aid.h"
#include "sheets/default_picture.h"
#include "sheets/lock_wait_ui.h"
#include "sheets/record_source.h"
#include "shell/dialogs.h"
#include "shell/look.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QShowEvent>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>

namespace velmor {

namespace {

QFont fieldLabelFont()
{
    return windowFont(QStringLiteral("MS Sans Serif"), 8.25, true);
}

QFont titleFont()
{
    return windowFont(QStringLiteral("Arial Black"), 15.75, true);
}

QFont authorFont()
{
    return windowFont(QStringLiteral("MS Sans Serif"), 9.75, true);
}

} // namespace

RecordSheet::RecordSheet(const SheetDesign& design, QWidget* parent) : QWidget(parent), design_(design)
{
    setObjectName(QString::fromLatin1(design.objectName));
    setWindowTitle(design.windowTitle);
    // Around the picture (a maximized sheet is larger than it) the sheet is
    // as dark as the picture, so that the labels stay readable.
    setAutoFillBackground(true);
    QPalette backdrop = palette();
    backdrop.setColor(QPalette::Window, QColor(8, 14, 30));
    setPalette(backdrop);

    source_ = new BaseR(design.source, this);
    source_->setObjectName(QStringLiteral("BaseR"));
    source_->setRecordSource(design.source.recordSource);

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image1"));
    image_->setGeometry(0, 0, 800, 600); // 12000 by 9000 twips
    image_->setScaledContents(true);
    image_->setPixmap(defaultSheetPicture());
    image_->setAccessibleName(QStringLiteral("Image de fond"));
    image_->lower();

    title_ = makeLabel(design.titleName, design.titleText, titleFont(), design.titleColour,
                       Qt::AlignCenter);
    author_ = makeLabel(design.authorName, QString(), authorFont(), QColor(224, 224, 224),
                        design.authorAlignment);
    author_->setAccessibleName(QStringLiteral("Auteur"));
    author_->setMinimumWidth(160);

    const QFont font = fieldLabelFont();
    std::vector<QLabel*> labels;
    for (const FieldDesign& field : design.fields) {
        labels.push_back(makeLabel(field.label, field.caption, font,
                                   field.colour.isValid() ? field.colour : design.labelColour,
                                   design.labelAlignment));
        labels.back()->setWordWrap(field.twoLines);
    }
    for (size_t i = 0; i < design.fields.size(); ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(design.fields[i].box));
        labels[i]->setBuddy(box);
        auto* bound = new LineEditField(box);
        boxFields_.push_back(bound);
        source_->bind(QString::fromLatin1(design.fields[i].column), bound);
        box->installEventFilter(this);
        new BoxAid(box);
    }
    authorField_ = new LabelField(author_);
    source_->bind(QString::fromLatin1(design.authorColumn), authorField_);

    const QString moveNames[] = {QStringLiteral("Premier enregistrement"),
                                 QStringLiteral("Enregistrement précédent"),
                                 QStringLiteral("Enregistrement suivant"),
                                 QStringLiteral("Dernier enregistrement")};
    const QString moveCaptions[] = {QStringLiteral("<<"), QStringLiteral("<"), QStringLiteral(">"),
                                    QStringLiteral(">>")};
    const Move moves[] = {Move::First, Move::Previous, Move::Next, Move::Last};
    std::vector<QPushButton*> navigation;
    for (int i = 0; i < 4; ++i) {
        QPushButton* button = makeButton(design.navigation[i], moveCaptions[i], moveNames[i]);
        connect(button, &QPushButton::clicked, this, [this, move = moves[i]] { navigate(move); });
        navigation.push_back(button);
    }
    closeButton_ = makeButton(design.close, QStringLiteral("Fermer"), QString());
    connect(closeButton_, &QPushButton::clicked, this, &RecordSheet::hideSheet);

    arrange(navigation);
    setTabOrderByNames();
    closeButton_->setFocus();

    connect(source_, &BaseR::currentChanged, this, &RecordSheet::updateFieldAccess);
    connect(source_, &BaseR::opened, this, [this] {
        for (size_t i = 0; i < boxFields_.size(); ++i)
            if (QLineEdit* box = boxFields_[i]->widget())
                BoxAid::of(box)->setColumn(source_->columnInfo(QString::fromLatin1(design_.fields[i].column)));
        const QString reason = source_->readOnlyReason();
        if (!reason.isEmpty())
            emit openedReadOnly(source_->DatabaseName(), reason);
    });
    updateFieldAccess();
}

RecordSheet::~RecordSheet()
{
    // The record source (a child object) goes after the fields; unbind them
    // first so that it never sees a field that is gone.
    for (LineEditField* field : boxFields_) {
        source_->unbind(field);
        delete field;
    }
    source_->unbind(authorField_);
    delete authorField_;
}

void RecordSheet::setAuthor(const QString& name)
{
    authorField_->setText(name);
    authorField_->setModified(true);
}

bool RecordSheet::loadPicture(const QString& path)
{
    if (path.isEmpty()) {
        image_->setPixmap(QPixmap());
        return true;
    }
    QPixmap picture;
    if (!picture.load(path))
        return false;
    image_->setPixmap(picture);
    return true;
}

void RecordSheet::load()
{
    if (loaded_)
        return;
    loaded_ = true;
    if (!design_.loadShowsAllRows) {
        // The record source opens by itself on its design row source.
        if (std::optional<RecordSourceError> failure = source_->openOnLoad())
            reportOpeningFailure(source_->DatabaseName(), failure->message());
        return;
    }
    source_->setRecordSource(design_.allRows());
    try {
        source_->Refresh();
    } catch (const RecordSourceError& error) {
        reportOpeningFailure(source_->DatabaseName(), error.message());
    } catch (const std::exception& error) {
        reportOpeningFailure(source_->DatabaseName(), QString::fromUtf8(error.what()));
    }
}

QString RecordSheet::boxText(const char* name) const
{
    const auto* box = findChild<QLineEdit*>(QString::fromLatin1(name));
    return box ? box->text() : QString();
}

QStringList RecordSheet::dateWarnings() const
{
    return design_.dateCheck(boxText(design_.dateBoxes[0]), boxText(design_.dateBoxes[1]),
                             boxText(design_.dateBoxes[2]), QLocale());
}

void RecordSheet::navigate(Move move)
{
    if (LockWaitUi::inProgress())
        return; // pressed during a wait for another desk, not by the user's input

    // The warnings come first, built from what the fields show now.
    for (const QString& warning : dateWarnings())
        dialogs().message(this, warning, applicationTitle());

    // Leaving the row writes its edits; a row that cannot be written is not
    // left, so that nothing the user typed is lost.
    if (!writePendingEdit())
        return;

    BaseR& source = recordSource();
    try {
        switch (move) {
        case Move::First: source.MoveFirst(); break;
        case Move::Previous: source.MovePrevious(); break;
        case Move::Next: source.MoveNext(); break;
        case Move::Last: source.MoveLast(); break;
        }
    } catch (const RecordSourceError& error) {
        // At either end, or on an empty or closed row set, the click ends
        // quietly; a lost connection is told.
        if (error.code() == RecordSourceError::Code::Disconnected)
            dialogs().message(this, error.message(), applicationTitle());
    } catch (const std::exception&) {
    }
}

bool RecordSheet::writePendingEdit()
{
    BaseR& source = recordSource();
    QString reason;
    bool lost = false;
    try {
        if (!source.hasPendingEdits())
            return true;
        source.savePending();
        return true;
    } catch (const RecordSourceError& error) {
        if (error.code() == RecordSourceError::Code::Busy)
            return false; // the user gave up waiting: the wait's box said the edits stay
        reason = error.message();
        lost = error.code() == RecordSourceError::Code::Disconnected;
    } catch (const std::exception& error) {
        reason = QString::fromUtf8(error.what());
    }
    dialogs().message(this,
                      QStringLiteral("L'enregistrement affiché n'a pas pu être écrit dans la base :\n%1\n\n%2")
                          .arg(reason, lost ? QStringLiteral("Vos saisies restent dans la feuille.")
                                            : QStringLiteral("Vos saisies restent dans la feuille ; corrigez-les "
                                                             "puis recommencez.")),
                      applicationTitle());
    return false;
}

QMdiSubWindow* RecordSheet::subWindow() const
{
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

void RecordSheet::hideSheet()
{
    if (QMdiSubWindow* window = subWindow())
        window->hide();
    else
        hide();
}

void RecordSheet::closeEvent(QCloseEvent* event)
{
    if (!quitting_ && !writePendingEdit()) {
        const bool discard = dialogs().askYesNo(
            this,
            QStringLiteral("Fermer la feuille « %1 » quand même ? Les saisies non enregistrées seront perdues.")
                .arg(windowTitle()),
            applicationTitle(), false);
        if (!discard) {
            event->ignore();
            return;
        }
    }
    event->accept();
    emit discarded();
}

void RecordSheet::focusOnFirstShowing()
{
    if (shownOnce_)
        return;
    shownOnce_ = true;
    if (closeButton_)
        closeButton_->setFocus(Qt::OtherFocusReason);
}

QString RecordSheet::statusNote() const
{
    return note_;
}

bool RecordSheet::writable() const
{
    return writable_;
}

void RecordSheet::updateFieldAccess()
{
    const BaseR& source = recordSource();
    const QString readOnly = source.readOnlyReason();
    const BaseR::State state = source.state();
    const bool onRow = state == BaseR::State::CurrentRow || state == BaseR::State::Adding;
    QString note;
    if (!readOnly.isEmpty())
        note = QStringLiteral("Base en lecture seule : %1").arg(readOnly);
    else if (state == BaseR::State::Closed)
        note = QStringLiteral("Aucune base de données n'est ouverte dans cette feuille.");
    else if (!onRow)
        note = QStringLiteral("Aucune fiche affichée : cliquez sur « Nouveau » pour en saisir une.");
    const bool editable = readOnly.isEmpty() && onRow;

    for (LineEditField* field : boxFields_) {
        QLineEdit* box = field->widget();
        if (!box)
            continue;
        box->setReadOnly(!editable);
        box->setPlaceholderText(onRow ? QString() : QStringLiteral("Aucune fiche"));
        BoxAid::of(box)->setNote(note);
        QPalette look = palette();
        look.setColor(QPalette::Base, editable ? QColor(Qt::white) : QColor(224, 224, 224));
        look.setColor(QPalette::Text, QColor(Qt::black));
        look.setColor(QPalette::PlaceholderText, QColor(96, 96, 96));
        box->setPalette(look);
    }

    const bool writable = readOnly.isEmpty();
    if (note != note_ || writable != writable_) {
        note_ = note;
        writable_ = writable;
        emit statusChanged();
    }
}

LineEditField* RecordSheet::fieldOf(QObject* box) const
{
    for (LineEditField* field : boxFields_)
        if (field->widget() == box)
            return field;
    return nullptr;
}

bool RecordSheet::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        LineEditField* field = key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier
                                   ? fieldOf(watched)
                                   : nullptr;
        if (field) {
            if (field->isModified()) {
                field->revert(); // first the field
            } else {
                try {
                    if (recordSource().hasPendingEdits())
                        recordSource().undoEdits(); // then the whole row
                } catch (const std::exception&) {
                }
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QLabel* RecordSheet::makeLabel(const char* name, const QString& caption, const QFont& font,
                               const QColor& colour, Qt::Alignment alignment)
{
    auto* label = new QLabel(caption, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setAutoFillBackground(false); // transparent over the picture
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* RecordSheet::makeButton(const char* name, const QString& caption,
                                     const QString& accessibleName)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    if (!accessibleName.isEmpty())
        button->setAccessibleName(accessibleName);
    return button;
}

void RecordSheet::arrange(const std::vector<QPushButton*>& navigation)
{
    auto* form = new QWidget(this);
    form->setObjectName(QStringLiteral("zonefeuille"));
    form->setGeometry(QRect(QPoint(0, 0), design_.designSize));
    form->setAutoFillBackground(false);

    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(16, 10, 16, 14);
    column->setSpacing(0);

    auto* top = new QGridLayout;
    top->addWidget(title_, 0, 0, 1, 3, Qt::AlignHCenter | Qt::AlignVCenter);
    top->addWidget(author_, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    top->setColumnStretch(0, 1);
    top->setColumnStretch(1, 2);
    top->setColumnStretch(2, 1);
    column->addLayout(top);
    column->addStretch(2);

    for (int row = 0; row < 3; ++row) {
        auto* line = new QHBoxLayout;
        line->setSpacing(12);
        for (const FieldDesign& field : design_.fields) {
            if (field.row != row)
                continue;
            auto* label = findChild<QLabel*>(QString::fromLatin1(field.label));
            auto* box = findChild<QLineEdit*>(QString::fromLatin1(field.box));
            auto* cell = new QVBoxLayout;
            cell->setSpacing(3);
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            box->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
            label->setAlignment((label->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignBottom);
            cell->addWidget(label, 1);
            cell->addWidget(box, 0);
            line->addLayout(cell, field.stretch);
        }
        column->addLayout(line);
        column->addStretch(2);
    }
    column->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    bottom->addStretch(1);
    for (QPushButton* button : navigation) {
        button->setFixedWidth(56);
        bottom->addWidget(button);
    }
    bottom->addStretch(1);
    closeButton_->setMinimumWidth(90);
    bottom->addWidget(closeButton_);
    column->addLayout(bottom);

    form->raise();
}

void RecordSheet::setTabOrderByNames()
{
    QWidget* previous = closeButton_;
    for (const char* name : design_.tabOrder) {
        auto* next = findChild<QWidget*>(QString::fromLatin1(name));
        setTabOrder(previous, next);
        previous = next;
    }
}

void RecordSheet::reportOpeningFailure(const QString& path, const QString& reason)
{
    const QString shown = path.isEmpty() ? QStringLiteral("(aucun fichier choisi)")
                                         : QDir::toNativeSeparators(path);
    // The way out: choosing the file only stores its path; the sheet's
    // toolbar button hands it to the sheet, and "Voir" reads the rows.
    dialogs().message(this,
                      QStringLiteral("La feuille « %1 » s'ouvre sans aucun enregistrement : "
                                     "la base de données ne peut pas être ouverte.\n\n"
                                     "Fichier : %2\nRaison : %3\n\n"
                                     "Choisissez la base avec « Fichier / Ouvrir une Base », "
                                     "cliquez sur « %4 », puis sur « Voir ».")
                          .arg(windowTitle(), shown, reason, toolbarCaption()),
                      applicationTitle());
}

} // namespace velmor
