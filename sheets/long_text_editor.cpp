#include "sheets/long_text_editor.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace velmor {

LongTextEditor::LongTextEditor(const QString& caption, const QString& stored, int maxChars,
                               bool readOnly, QWidget* parent)
    : QDialog(parent), stored_(stored), maxChars_(maxChars) {
    setObjectName(QStringLiteral("textelong"));
    setWindowTitle(caption);
    setAttribute(Qt::WA_DeleteOnClose);

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("textecomplet"));
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text_->setPlainText(forEditing(stored));
    text_->setReadOnly(readOnly);
    text_->setAccessibleName(caption);

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("nbcaracteres"));

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok_->setObjectName(QStringLiteral("ok"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("annuler"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addWidget(text_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(count_, 1);
    bottom->addWidget(buttons);
    column->addLayout(bottom);

    connect(text_, &QPlainTextEdit::textChanged, this, &LongTextEditor::updateCount);
    updateCount();
    resize(640, 420);
    text_->setFocus();
}

QString LongTextEditor::result() const {
    // The raw text keeps no-break spaces (toPlainText() would turn them into
    // spaces); its paragraph and line separators are the line ends.
    QString edited = text_->document()->toRawText();
    edited.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    edited.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return forStoring(edited, stored_);
}

QString LongTextEditor::forEditing(const QString& stored) {
    QString text = stored;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QString LongTextEditor::forStoring(const QString& edited, const QString& stored) {
    const QString shown = forEditing(stored);
    if (edited == shown)
        return stored;
    // What the user left alone, at both ends, comes back from the stored
    // text itself with its own line ends; what was typed between gets the
    // stored text's line end (CR LF when it has any, as Access writes them).
    qsizetype head = 0;
    while (head < edited.size() && head < shown.size() && edited[head] == shown[head])
        ++head;
    qsizetype tail = 0;
    while (tail < edited.size() - head && tail < shown.size() - head &&
           edited[edited.size() - 1 - tail] == shown[shown.size() - 1 - tail])
        ++tail;
    // The same places in the stored text, where a CR LF counts as one "\n".
    auto storedIndex = [&stored](qsizetype shownIndex) {
        qsizetype at = 0;
        for (qsizetype n = 0; n < shownIndex; ++n)
            at += QStringView(stored).mid(at, 2) == u"\r\n" ? 2 : 1;
        return at;
    };
    const qsizetype headEnd = storedIndex(head);
    const qsizetype tailStart = storedIndex(shown.size() - tail);
    const bool bareLineFeeds = stored.contains(QLatin1Char('\n')) && !stored.contains(QStringLiteral("\r\n"));
    QString typed = edited.mid(head, edited.size() - head - tail);
    if (!bareLineFeeds)
        typed.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return stored.left(headEnd) + typed + stored.mid(tailStart);
}

void LongTextEditor::updateCount() {
    const int length = int(result().size());
    const bool tooLong = maxChars_ > 0 && length > maxChars_;
    count_->setText(maxChars_ > 0
                        ? QStringLiteral("%1 caractères sur %2 au plus").arg(length).arg(maxChars_)
                        : QStringLiteral("%1 caractères").arg(length));
    QPalette look = count_->palette();
    look.setColor(QPalette::WindowText, tooLong ? QColor(190, 0, 0) : palette().color(QPalette::WindowText));
    count_->setPalette(look);
    ok_->setEnabled(!tooLong);
}

} // namespace velmor
