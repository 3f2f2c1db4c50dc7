#include "options/printing.h"

#include "sheets/record_sheet.h"
#include "shell/common_dialog.h"

#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPageLayout>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <algorithm>

namespace velmor {

namespace {

QMdiSubWindow* enclosingSubWindow(QWidget* window) {
    for (QWidget* up = window->parentWidget(); up; up = up->parentWidget()) {
        if (auto* subWindow = qobject_cast<QMdiSubWindow*>(up))
            return subWindow;
    }
    return nullptr;
}

} // namespace

QPixmap windowImage(QWidget* window) {
    if (!window)
        return {};
    // A window that was never shown has not been given its size yet: it gets
    // the one it would have on the screen. A sheet opens maximized in the
    // document area, and its frame there sets its size.
    QMdiSubWindow* frame = enclosingSubWindow(window);
    if (frame && frame->mdiArea() && !frame->isVisible() &&
        (frame->width() < 200 || frame->height() < 150)) {
        frame->resize(frame->mdiArea()->viewport()->size());
        if (frame->layout())
            frame->layout()->activate();
    } else if (!frame && !window->isVisible() && (window->width() <= 1 || window->height() <= 1)) {
        const QSize hint = window->sizeHint().expandedTo(window->minimumSize());
        window->resize(hint.width() > 1 && hint.height() > 1 ? hint : QSize(800, 600));
    }
    return window->grab();
}

bool printImageOnOnePage(const QPixmap& image, QPrinter& printer) {
    if (image.isNull())
        return false;
    // The orientation in which the image can be drawn the largest.
    const auto scaleIn = [&](QPageLayout::Orientation orientation) {
        QPageLayout layout = printer.pageLayout();
        layout.setOrientation(orientation);
        const QRect area = layout.paintRectPixels(printer.resolution());
        return std::min(double(area.width()) / image.width(),
                        double(area.height()) / image.height());
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
                       const SheetLookup& sheets) {
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
