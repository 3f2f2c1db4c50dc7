#include "sheets/record_sheet.h"

#include "sheets/bound_field.h"
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

RecordSheet::~RecordSheet()
{
    // The record source (a child object) goes after the fields; unbind them
    // first so that it never sees a field that is gone.
    for (BoundField* field : fields_) {
        recordSourceIfAlive(field);
        delete field;
    }
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
    } catch (const std::exception&) {
        // At either end, or on an empty or closed row set, the click ends
        // quietly.
    }
}

bool RecordSheet::writePendingEdit()
{
    BaseR& source = recordSource();
    QString reason;
    try {
        if (!source.hasPendingEdits())
            return true;
        source.savePending();
        return true;
    } catch (const RecordSourceError& error) {
        if (error.code() == RecordSourceError::Code::Busy)
            return false; // the user gave up waiting: the wait's box said the edits stay
        reason = error.message();
    } catch (const std::exception& error) {
        reason = QString::fromUtf8(error.what());
    }
    dialogs().message(this,
                      QStringLiteral("L'enregistrement affiché n'a pas pu être écrit dans la base :\n%1\n\n"
                                     "Vos saisies restent dans la feuille ; corrigez-les puis recommencez.")
                          .arg(reason),
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

void RecordSheet::followRecordSource()
{
    BaseR& source = recordSource();
    connect(&source, &BaseR::currentChanged, this, &RecordSheet::updateFieldAccess);
    connect(&source, &BaseR::opened, this, [this] {
        const QString reason = recordSource().readOnlyReason();
        if (!reason.isEmpty())
            emit openedReadOnly(recordSource().DatabaseName(), reason);
    });
    for (BoundField* field : fields_)
        if (auto* line = dynamic_cast<LineEditField*>(field); line && line->widget())
            line->widget()->installEventFilter(this);
    updateFieldAccess();
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

    for (BoundField* field : fields_) {
        auto* line = dynamic_cast<LineEditField*>(field);
        QLineEdit* box = line ? line->widget() : nullptr;
        if (!box)
            continue;
        box->setReadOnly(!editable);
        box->setPlaceholderText(onRow ? QString() : QStringLiteral("Aucune fiche"));
        box->setToolTip(note);
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
    for (BoundField* field : fields_)
        if (auto* line = dynamic_cast<LineEditField*>(field); line && line->widget() == box)
            return line;
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

void RecordSheet::recordSourceIfAlive(BoundField* field)
{
    // Called from the destructor: the derived part is gone, but the record
    // source is still a live child object, found by its object name.
    if (auto* source = findChild<BaseR*>(QString(), Qt::FindDirectChildrenOnly))
        source->unbind(field);
}

QLabel* RecordSheet::makePictureControl()
{
    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(0, 0, 800, 600); // 12000 by 9000 twips
    image->setScaledContents(true);
    image->setPixmap(defaultSheetPicture());
    image->setAccessibleName(QStringLiteral("Image de fond"));
    image->lower();
    return image;
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

QLineEdit* RecordSheet::makeTextBox(const char* name)
{
    auto* box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    return box;
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

void RecordSheet::arrange(QLabel* title, QLabel* author,
                          const std::vector<std::vector<Field>>& rows,
                          const std::vector<QPushButton*>& navigation, QPushButton* close,
                          QSize designSize)
{
    closeButton_ = close;
    auto* form = new QWidget(this);
    form->setObjectName(QStringLiteral("zonefeuille"));
    form->setGeometry(QRect(QPoint(0, 0), designSize));
    form->setAutoFillBackground(false);

    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(16, 10, 16, 14);
    column->setSpacing(0);

    auto* top = new QGridLayout;
    top->addWidget(title, 0, 0, 1, 3, Qt::AlignHCenter | Qt::AlignVCenter);
    top->addWidget(author, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    top->setColumnStretch(0, 1);
    top->setColumnStretch(1, 2);
    top->setColumnStretch(2, 1);
    column->addLayout(top);
    column->addStretch(2);

    for (const std::vector<Field>& row : rows) {
        auto* line = new QHBoxLayout;
        line->setSpacing(12);
        for (const Field& field : row) {
            auto* cell = new QVBoxLayout;
            cell->setSpacing(3);
            field.label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            field.box->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
            field.label->setAlignment((field.label->alignment() & Qt::AlignHorizontal_Mask)
                                      | Qt::AlignBottom);
            cell->addWidget(field.label, 1);
            cell->addWidget(field.box, 0);
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
    close->setMinimumWidth(90);
    bottom->addWidget(close);
    column->addLayout(bottom);

    form->raise();
}

void RecordSheet::keepField(BoundField* field)
{
    fields_.push_back(field);
}

bool RecordSheet::replacePicture(QLabel* image, const QString& path)
{
    if (path.isEmpty()) {
        image->setPixmap(QPixmap());
        return true;
    }
    QPixmap picture;
    if (!picture.load(path))
        return false;
    image->setPixmap(picture);
    return true;
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

QFont RecordSheet::fieldLabelFont()
{
    return windowFont(QStringLiteral("MS Sans Serif"), 8.25, true);
}

QFont RecordSheet::titleFont()
{
    return windowFont(QStringLiteral("Arial Black"), 15.75, true);
}

QFont RecordSheet::authorFont()
{
    return windowFont(QStringLiteral("MS Sans Serif"), 9.75, true);
}

} // namespace velmor
