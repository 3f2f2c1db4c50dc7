// The window that shows and edits the whole text of a one-line box: a
// word-wrapped multi-line editor with "OK" and "Annuler".
//
// Line ends are kept exactly as stored: the editor works on "\n" and gives
// back the stored text itself when nothing was changed, otherwise the text
// with the stored text's line end (CR LF, as Access writes them, unless the
// stored text used bare LF).
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace velmor {

class LongTextEditor : public QDialog {
    Q_OBJECT
public:
    // `maxChars` > 0 limits the text (a TEXT column); 0 for no limit.
    LongTextEditor(const QString& caption, const QString& stored, int maxChars, bool readOnly,
                   QWidget* parent = nullptr);

    // The text to store: `stored` itself when the user changed nothing.
    QString result() const;

    // The text as the editor shows it, and back.
    static QString forEditing(const QString& stored);
    static QString forStoring(const QString& edited, const QString& stored);

private:
    void updateCount();

    QString stored_;
    int maxChars_ = 0;
    QPlainTextEdit* text_ = nullptr;
    QLabel* count_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace velmor
