// What the options and printing tests share: the two real record sheets,
// created on demand without a database (as the options window and
// "Imprimer" may find them), pictures and PDF checks.
#pragma once

#include "options/sheet_lookup.h"
#include "sheets/record_sheet.h"

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QStringList>

namespace velmor::testing {

// The sheets, created hidden and not loaded when the lookup asks to create
// them; counts the creations.
class SheetsOnDemand {
public:
    SheetsOnDemand();
    ~SheetsOnDemand();

    SheetLookup lookup();
    RecordSheet* sheet(SheetHost::Sheet which) const;
    RecordSheet* returnSheet() const { return sheet(SheetHost::Sheet::Return); }
    RecordSheet* loanSheet() const { return sheet(SheetHost::Sheet::Loan); }
    int created = 0;

private:
    QPointer<RecordSheet> return_;
    QPointer<RecordSheet> loan_;
};

// Whether `sheet` shows the picture it was built with.
bool showsBuiltPicture(RecordSheet* sheet);
// Whether `sheet`'s background is (nearly) `colour` all over its corner.
bool showsColour(RecordSheet* sheet, const QColor& colour);

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
