#include "options/printing.h"

#include "sheets/record_sheet.h"
#include "shell/common_dialog.h"

#include <QPainter>
#include <QPageLayout>
#include <QPixmap>
#include <QPrinter>

#include <algorithm>

namespace velmor {

QPixmap windowImage(QWidget* window)
{
    if (!window)
        return {};
    // A window that was never shown may not have been given a size yet.
    if (window->width() <= 1 || window->height() <= 1)
        window->resize(window->sizeHint().expandedTo(window->minimumSize()));
    return window->grab();
}

bool printImageOnOnePage(const QPixmap& image, QPrinter& printer)
{
    if (image.isNull())
        return false;
    // The orientation in which the image can be drawn the largest.
    const auto scaleIn = [&](QPageLayout::Orientation orientation) {
        QPageLayout layout = printer.pageLayout();
        layout.setOrientation(orientation);
        const QRect area = layout.paintRectPixels(printer.resolution());
        return std::min(double(area.width()) / image.width(), double(area.height()) / image.height());
    };
    printer.setPageOrientation(scaleIn(QPageLayout::Landscape) > scaleIn(QPageLayout::Portrait)
                                   ? QPageLayout::Landscape
                                   : QPageLayout::Portrait);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // The painter's origin is the top left corner of the printable area.
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    QSize size = image.size();
    size.scale(area.size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((area.width() - size.width()) / 2, 0), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, image);
    return painter.end();
}

bool printCurrentSheet(QWidget* dialogParent, CommonDialog& dialog, QPrinter& printer,
                       const SheetLookup& sheets)
{
    dialog.setCancelError(true); // Cancel ends the command
    try {
        if (!dialog.showPrinter(dialogParent, printer))
            return false;
        const auto marker = currentSheetMarker();
        if (!marker || !sheets)
            return false;
        RecordSheet* sheet = sheets(*marker, true);
        if (!sheet)
            return false;
        return printImageOnOnePage(windowImage(sheet), printer);
    } catch (...) {
        return false; // any failure ends the command silently
    }
}

} // namespace velmor
