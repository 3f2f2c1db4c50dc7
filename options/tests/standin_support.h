// Stand-ins for the record sheets, so that the options window and printing
// can be tried without a database: a sheet with a background picture, a
// title label and a few filled fields, and a host that creates them on
// demand and counts what it did.
#pragma once

#include "options/sheet_lookup.h"
#include "sheets/record_sheet.h"

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QStringList>

class QLineEdit;

namespace velmor::testing {

class StandInSheet : public RecordSheet {
    Q_OBJECT
public:
    StandInSheet(SheetHost::Sheet which, QWidget* parent = nullptr);

    BaseR& recordSource() override;
    QLabel* backgroundImage() override { return image_; }
    QLabel* titleLabel() override { return title_; }
    void setAuthor(const QString& name) override;
    bool loadPicture(const QString& path) override;
    void load() override { ++loadCount; }
    bool isLoaded() const override { return loadCount > 0; }
    QStringList dateWarnings() const override { return {}; }

    // Every path loadPicture() was asked for, and the last one that loaded.
    QStringList pictureRequests;
    QString picturePath;
    int loadCount = 0;
    QList<QLineEdit*> fields;

private:
    QLabel* image_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* author_ = nullptr;
};

class StandInSheets {
public:
    StandInSheets();
    ~StandInSheets();

    SheetLookup lookup();
    StandInSheet* sheet(SheetHost::Sheet which) const;
    StandInSheet* returnSheet() const { return sheet(SheetHost::Sheet::Return); }
    StandInSheet* loanSheet() const { return sheet(SheetHost::Sheet::Loan); }
    int created = 0;

private:
    QPointer<StandInSheet> return_;
    QPointer<StandInSheet> loan_;
};

// A picture file of `size` in one colour, written into `folder`.
QString writePicture(const QString& folder, const QString& name, const QColor& colour,
                     const QSize& size = QSize(64, 48));

// Saves the current-sheet marker as `text`.
void saveMarker(const QString& text);

// PDF checks with poppler-utils.
bool havePoppler();
// The number of pages of `pdf` (-1 when it cannot be read).
int pageCount(const QString& pdf);
// The first page of `pdf` rendered at `dpi` (also left as page.png in `folder`).
QImage renderPage(const QString& pdf, const QString& folder, int dpi);
// The smallest rectangle holding every pixel that is not (nearly) white.
QRect inkBox(const QImage& page);
// Mean difference per channel (0..255) between two images of one size.
double meanDifference(const QImage& a, const QImage& b);

} // namespace velmor::testing
