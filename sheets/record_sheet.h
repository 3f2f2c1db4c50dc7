// What the two record sheets (return sheet `retour`, loan sheet `Pretmat`)
// have in common, as the rest of the application sees them.
#pragma once

#include <QStringList>
#include <QWidget>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QMdiSubWindow;

namespace velmor {

class BaseR;
class BoundField;
class LineEditField;

class RecordSheet : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    ~RecordSheet() override;

    virtual BaseR& recordSource() = 0;
    // The background picture control `Image1`.
    virtual QLabel* backgroundImage() = 0;
    // The title label ("RETOUR MATERIEL" / "PRET MATERIEL").
    virtual QLabel* titleLabel() = 0;
    // The author label (`utilisateur` / `utilp`); setting its text is a change of the row.
    virtual void setAuthor(const QString& name) = 0;
    // Replaces the background picture by the one read from `path`; an empty
    // path clears it. Returns false (picture unchanged) if it cannot be read.
    virtual bool loadPicture(const QString& path) = 0;
    // The caption of the toolbar button that opens this sheet ("Retour",
    // "Prêt"); the window's title unless the sheet says otherwise.
    virtual QString toolbarCaption() const { return windowTitle(); }
    // Runs the load step once per life of the window.
    virtual void load() = 0;
    virtual bool isLoaded() const = 0;

    // The four navigation buttons: the date-order check of the row shown,
    // then the move.
    enum class Move { First, Previous, Next, Last };
    void navigate(Move move);

    // The date-order warnings for what the date fields show right now.
    virtual QStringList dateWarnings() const = 0;

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
    // Called once the record source and its fields exist: from then on the
    // text boxes follow the record source's state.
    void followRecordSource();


    // Building blocks shared by both sheets.
    QLabel* makePictureControl();
    QLabel* makeLabel(const char* name, const QString& caption, const QFont& font,
                      const QColor& colour, Qt::Alignment alignment);
    QLineEdit* makeTextBox(const char* name);
    QPushButton* makeButton(const char* name, const QString& caption,
                            const QString& accessibleName);
    void keepField(BoundField* field); // owned by the sheet from now on

    // One labelled text box of a row; `stretch` gives its relative width.
    struct Field {
        QLabel* label = nullptr;
        QLineEdit* box = nullptr;
        int stretch = 1;
    };
    // Lays the controls out in the design area (`designSize`, anchored at
    // the top-left corner like the picture): the title centred at the top
    // with the author at the top right, the rows of fields, and the bottom
    // row with the navigation buttons in the centre and "Fermer" at the right.
    void arrange(QLabel* title, QLabel* author, const std::vector<std::vector<Field>>& rows,
                 const std::vector<QPushButton*>& navigation, QPushButton* close,
                 QSize designSize);
    // Puts the picture of `path` into `image` (empty path: no picture).
    // False, and `image` unchanged, when the file cannot be read as a picture.
    static bool replacePicture(QLabel* image, const QString& path);
    // Tells the user that the record source could not open its file, and
    // how to choose another one.
    void reportOpeningFailure(const QString& path, const QString& reason);

    static QFont fieldLabelFont();
    static QFont titleFont();
    static QFont authorFont();

private:
    void recordSourceIfAlive(BoundField* field);
    void updateFieldAccess();
    LineEditField* fieldOf(QObject* box) const;

    bool quitting_ = false;
    bool shownOnce_ = false;
    QPushButton* closeButton_ = nullptr;
    std::vector<BoundField*> fields_;
    QString note_;
    bool writable_ = true;
};

} // namespace velmor
