#include "sheets/box_aid.h"

#include "sheets/long_text_editor.h"
#include "sheets/regional_date.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <climits>

namespace velmor {

namespace {

// A text column longer than this is edited as a long text.
constexpr int longTextColumn = 100;
// The start of a long text that its tool tip shows.
constexpr int previewChars = 400;

QIcon moreIcon() {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40));
    for (int x : {3, 8, 13})
        painter.drawEllipse(QPointF(x, 11), 1.6, 1.6);
    return QIcon(picture);
}

const char* const aidProperty = "velmorBoxAid";

} // namespace

BoxAid::BoxAid(QLineEdit* box) : QObject(box), box_(box) {
    box_->setProperty(aidProperty, QVariant::fromValue(static_cast<QObject*>(this)));
    box_->setMaxLength(INT_MAX / 2); // until the column is known
    more_ = box_->addAction(moreIcon(), QLineEdit::TrailingPosition);
    more_->setObjectName(QStringLiteral("textecompletbouton"));
    more_->setText(QStringLiteral("Tout le texte"));
    more_->setToolTip(QStringLiteral("Afficher et modifier tout le texte (F2)"));
    more_->setVisible(false);
    connect(more_, &QAction::triggered, this, [this] { openEditor(); });
    connect(box_, &QLineEdit::textChanged, this, &BoxAid::refresh);
    box_->installEventFilter(this);
}

BoxAid* BoxAid::of(const QLineEdit* box) {
    return box ? qobject_cast<BoxAid*>(box->property(aidProperty).value<QObject*>()) : nullptr;
}

void BoxAid::setColumn(const std::optional<jet::ColumnInfo>& column) {
    const bool text = column && column->type == jet::ColumnType::Text && column->maxChars > 0;
    maxChars_ = text ? column->maxChars : 0;
    date_ = column && column->type == jet::ColumnType::DateTime;
    long_ = column && (column->type == jet::ColumnType::Memo ||
                       (text && column->maxChars > longTextColumn));
    // A memo holds far more than QLineEdit's default of 32767 characters.
    box_->setMaxLength(text ? column->maxChars : INT_MAX / 2);
    more_->setVisible(long_);
    refresh();
}

void BoxAid::setNote(const QString& note) {
    note_ = note;
    refresh();
}

QString BoxAid::dateHint(const QLocale& locale) {
    return QStringLiteral("Ce texte n'est pas une date : tapez-la sous la forme %1")
        .arg(regional::formatDate(QDate(2001, 10, 12), locale));
}

void BoxAid::refresh() {
    const QString text = box_->text();
    const bool unreadable = date_ && !text.trimmed().isEmpty() && !regional::parseDateTime(text);
    if (unreadable != unreadable_) {
        unreadable_ = unreadable;
        // The frame keeps the box's height, so that nothing around it moves.
        if (unreadable) {
            if (box_->isVisible())
                box_->setFixedHeight(box_->height());
            box_->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid rgb(210, 0, 0); }"));
        } else {
            box_->setStyleSheet(QString());
            box_->setMinimumHeight(0);
            box_->setMaximumHeight(QWIDGETSIZE_MAX);
        }
    }
    QString tip;
    if (unreadable_) {
        tip = dateHint(QLocale());
    } else if (!note_.isEmpty()) {
        tip = note_;
    } else if (long_ && !text.isEmpty()) {
        const int room = box_->contentsRect().width() - 24;
        const bool fits = !text.contains(QLatin1Char('\n')) &&
                          box_->fontMetrics().horizontalAdvance(text) <= room;
        if (!fits) {
            QString start = LongTextEditor::forEditing(text.left(previewChars)).toHtmlEscaped();
            start.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
            if (text.size() > previewChars)
                start += QStringLiteral("…");
            tip = QStringLiteral("<p>%1</p>").arg(start);
        }
    }
    box_->setToolTip(tip);
}

QString BoxAid::caption() const {
    if (box_->parentWidget())
        for (const QLabel* label : box_->parentWidget()->findChildren<QLabel*>())
            if (label->buddy() == box_)
                return label->text().trimmed();
    return box_->accessibleName();
}

LongTextEditor* BoxAid::openEditor() {
    if (!long_)
        return nullptr;
    if (editor_ && editor_->isVisible()) {
        editor_->raise();
        editor_->activateWindow();
        return editor_;
    }
    editor_ = new LongTextEditor(caption(), box_->text(), maxChars_, box_->isReadOnly(),
                                 box_->window());
    connect(editor_, &QDialog::accepted, this, [this, editor = editor_] {
        const QString text = editor->result();
        if (!box_->isReadOnly() && text != box_->text()) {
            box_->setText(text);
            box_->setModified(true);
        }
    });
    editor_->setWindowModality(Qt::WindowModal);
    editor_->show();
    return editor_;
}

bool BoxAid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == box_ && long_) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            openEditor();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F2 && key->modifiers() == Qt::NoModifier) {
                openEditor();
                return true;
            }
        }
    }
    if (watched == box_ && event->type() == QEvent::Resize)
        refresh();
    return QObject::eventFilter(watched, event);
}

} // namespace velmor
