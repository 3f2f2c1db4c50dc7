// What a sheet's one-line text box knows of the column it shows, and the help
// it gives while the user types:
// - a TEXT column: the box accepts at most the column's length;
// - a date column: a text that cannot be read as a date in the regional
//   format gets a red frame and a tool tip with an example, at once, without
//   any box and without stopping the typing (the save still checks);
// - a long text (a memo, or a text column longer than a line): double-click,
//   F2 or the small button at the box's end opens the whole text in a
//   LongTextEditor; the tool tip shows the start of a text that does not fit.
// The tool tip also carries the sheet's note (why the box cannot be typed into).
#pragma once

#include "jet/database.h"

#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <optional>

class QAction;

namespace velmor {

class LongTextEditor;

class BoxAid : public QObject {
    Q_OBJECT
public:
    // Attaches to `box` (and goes away with it).
    explicit BoxAid(QLineEdit* box);
    static BoxAid* of(const QLineEdit* box);

    // The column's definition; nothing when it is unknown (no database open).
    void setColumn(const std::optional<jet::ColumnInfo>& column);
    // The sheet's note for this box ("" when the box can be typed into).
    void setNote(const QString& note);

    bool isDateBox() const { return date_; }
    bool isLongText() const { return long_; }
    // The box holds text that cannot be read as a date.
    bool dateUnreadable() const { return unreadable_; }

    // Opens the whole text in the editor (not modal to the application: the
    // sheet's window waits for it). "OK" puts the text into the box as if
    // typed. Returns the editor, or nullptr for a box without long text.
    LongTextEditor* openEditor();

    // Texts shown to the user.
    static QString dateHint(const QLocale& locale);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    QString caption() const;

    QLineEdit* box_;
    QAction* more_ = nullptr;
    QPointer<LongTextEditor> editor_;
    QString note_;
    int maxChars_ = 0;
    bool date_ = false;
    bool long_ = false;
    bool unreadable_ = false;
};

} // namespace velmor
