#include "lists/list_printing.h"

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

namespace velmor {

namespace {

// Column widths in proportion to their texts, at most 40 characters each.
std::vector<double> columnShares(const QAbstractItemModel& model) {
    std::vector<double> widths(size_t(model.columnCount()), 1.0);
    const int sampled = std::min(model.rowCount(), 200);
    for (int c = 0; c < model.columnCount(); ++c) {
        qsizetype longest = model.headerData(c, Qt::Horizontal).toString().size();
        for (int r = 0; r < sampled; ++r)
            longest = std::max(longest, model.data(model.index(r, c)).toString().size());
        widths[size_t(c)] = double(std::clamp<qsizetype>(longest, 4, 40));
    }
    double total = 0;
    for (double w : widths)
        total += w;
    for (double& w : widths)
        w /= total;
    return widths;
}

} // namespace

int printList(const QAbstractItemModel& model, const ListPrintHeading& heading, QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRectF area(0, 0, page.width(), page.height());

    QFont body = painter.font();
    body.setPointSizeF(8);
    QFont bold = body;
    bold.setBold(true);
    QFont title = body;
    title.setPointSizeF(14);
    title.setBold(true);
    painter.setFont(body);
    const double line = QFontMetricsF(body, &printer).height() * 1.3;
    const double titleLine = QFontMetricsF(title, &printer).height() * 1.4;

    const double top = titleLine + 2 * line;          // title, filter and date, blank
    const double bottom = area.height() - 1.5 * line; // page numbers
    const int perPage = std::max(1, int((bottom - top) / line) - 1); // less the header row
    const int rows = model.rowCount();
    const int pages = std::max(1, (rows + perPage - 1) / perPage);
    const std::vector<double> shares = columnShares(model);

    auto drawCells = [&](double y, auto textOf) {
        double x = 0;
        for (int c = 0; c < model.columnCount(); ++c) {
            const double w = shares[size_t(c)] * area.width();
            const QRectF cell(x + 2, y, w - 4, line);
            painter.drawText(
                cell, Qt::AlignLeft | Qt::AlignVCenter,
                painter.fontMetrics().elidedText(textOf(c), Qt::ElideRight, int(cell.width())));
            x += w;
        }
    };

    const QString date = QLocale().toString(heading.date, QLocale::ShortFormat);
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            printer.newPage();
        painter.setFont(title);
        painter.drawText(QRectF(0, 0, area.width(), titleLine), Qt::AlignLeft | Qt::AlignVCenter,
                         heading.title);
        painter.setFont(body);
        painter.drawText(QRectF(0, 0, area.width(), titleLine), Qt::AlignRight | Qt::AlignVCenter,
                         date);
        painter.drawText(QRectF(0, titleLine, area.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                         heading.filter);

        painter.setFont(bold);
        drawCells(top, [&](int c) { return model.headerData(c, Qt::Horizontal).toString(); });
        painter.drawLine(QPointF(0, top + line), QPointF(area.width(), top + line));
        painter.setFont(body);
        const int first = p * perPage;
        for (int r = first; r < std::min(rows, first + perPage); ++r)
            drawCells(top + line * (r - first + 1),
                      [&](int c) { return model.data(model.index(r, c)).toString(); });

        painter.drawText(QRectF(0, bottom, area.width(), 1.5 * line), Qt::AlignCenter,
                         QStringLiteral("Page %1 sur %2").arg(p + 1).arg(pages));
    }
    painter.end();
    return pages;
}

} // namespace velmor
