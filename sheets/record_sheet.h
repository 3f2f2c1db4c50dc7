// A record sheet: the window a SheetDesign describes (the return sheet
// `retour`, the loan sheet `Pretmat`), bound to its record source.
#pragma once

#include "sheets/sheet_design.h"

#include <QStringList>
#include <QWidget>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QMdiSubWindow;

namespace velmor {

class LabelField;
class LineEditField;

class RecordSheet : public QWidget {
    Q_OBJECT
public:
    // Builds the window `design` describes; the design must outlive it.
    explicit RecordSheet(const SheetDesign& design, QWidget* parent = nullptr);
    ~RecordSheet() override;

    const SheetDesign& design() const { return design_; }
    BaseR& recordSource() { return *source_; }
    const BaseR& recordSource() const { return *source_; }
    // The background picture control `Image1`.
    QLabel* backgroundImage() const { return image_; }
    // The title label ("RETOUR MATERIEL" / "PRET MATERIEL").
    QLabel* titleLabel() const { return title_; }
    // The author label (`utilisateur` / `utilp`); setting its text is a change of the row.
    void setAuthor(const QString& name);
    // Replaces the background picture by the one read from `path`; an empty
    // path clears it. Returns false (picture unchanged) if it cannot be read.
    bool loadPicture(const QString& path);
    // The caption of the toolbar button that opens this sheet ("Retour", "Prêt").
    QString toolbarCaption() const { return design_.toolbarCaption; }
    // Runs the load step once per life of the window.
    void load();
    bool isLoaded() const { return loaded_; }

    // The four navigation buttons: the date-order check of the row shown,
    // then the move.
    enum class Move { First, Previous, Next, Last };
    void navigate(Move move);

    // The date-order warnings for what the date fields show right now.
    QStringList dateWarnings() const;

    // Writes the edits of the row shown, as leaving it would. When they
    // cannot be written the user is told which field and why, the typed text
    // stays in the fields and false is returned.
    bool writePendingEdit();

    // "Fermer": hides the sheet's window; the sheet keeps its row and edits.
    void hideSheet();

    // Gives the focus to "Fermer" the first time the sheet is shown in front;
    // later showings keep the focus where the user left it.
    void focusOnFirstShowing();

    // The window of the sheet in the document area (nullptr if none).
    QMdiSubWindow* subWindow() const;

    // Set while the program quits: the close box then discards the sheet
    // without trying to write its pending edit again.
    void setQuitting(bool quitting) { quitting_ = quitting; }

    // The text boxes accept typing only on a row of a database that can be
    // written. Otherwise they say why, and so does this note, which the
    // status bar shows while the sheet is current (empty when all is well).
    QString statusNote() const;
    // False while the database is open read-only: "Nouveau", "Effacer" and
    // "Enregistrer" cannot act on this sheet.
    bool writable() const;

signals:
    // The close box discarded the sheet; it is deleted soon after.
    void discarded();
    // statusNote() or writable() may have changed.
    void statusChanged();
    // The record source opened the rows of a database it cannot write;
    // `reason` is the engine's, in French.
    void openedReadOnly(const QString& path, const QString& reason);

protected:
    void closeEvent(QCloseEvent* event) override;
    // "Échap" in a text box undoes the edit of that box, or, when it has
    // none, the edits of the whole row.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* makeLabel(const char* name, const QString& caption, const QFont& font,
                      const QColor& colour, Qt::Alignment alignment);
    QPushButton* makeButton(const char* name, const QString& caption, const QString& accessibleName);
    // Lays the controls out in the design area, anchored at the top-left
    // corner like the picture: the title centred at the top with the author
    // at the top right, the rows of fields, and the bottom row with the
    // navigation buttons in the centre and "Fermer" at the right.
    void arrange(const std::vector<QPushButton*>& navigation);
    void setTabOrderByNames();
    // Tells the user that the record source could not open its file, and
    // how to choose another one.
    void reportOpeningFailure(const QString& path, const QString& reason);
    QString boxText(const char* name) const;
    void updateFieldAccess();
    LineEditField* fieldOf(QObject* box) const;

    const SheetDesign& design_;
    BaseR* source_ = nullptr;
    QLabel* image_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* author_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    LabelField* authorField_ = nullptr;
    std::vector<LineEditField*> boxFields_;
    bool loaded_ = false;
    bool quitting_ = false;
    bool shownOnce_ = false;
    QString note_;
    bool writable_ = true;
};

} // namespace velmor
