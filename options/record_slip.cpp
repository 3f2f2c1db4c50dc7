#include "options/record_slip.h"

#include "sheets/box_aid.h"
#include "sheets/pretmat.h"
#include "sheets/record_sheet.h"
#include "sheets/regional_date.h"
#include "sheets/record_source.h"
#include "shell/dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>
#include <functional>
#include <stdexcept>

namespace velmor {

namespace {

// Lays the slip out page by page; with a painter it also draws it.
class SlipLayout {
public:
    SlipLayout(const RecordSlip& slip, QPaintDevice& device, const QRect& area, QPainter* painter)
        : slip_(slip), device_(device), area_(area), painter_(painter),
          mm_(device.logicalDpiY() / 25.4) {
        titleFont_ = QFont(QStringLiteral("Liberation Sans"));
        titleFont_.setPointSizeF(17);
        titleFont_.setBold(true);
        smallFont_ = QFont(QStringLiteral("Liberation Sans"));
        smallFont_.setPointSizeF(9);
        captionFont_ = smallFont_;
        captionFont_.setPointSizeF(10);
        captionFont_.setBold(true);
        valueFont_ = QFont(QStringLiteral("Liberation Sans"));
        valueFont_.setPointSizeF(10.5);
    }

    // Lays out (and draws) every page; returns how many there are.
    int run(int pageCount, const std::function<bool()>& newPage) {
        pageCount_ = pageCount;
        newPage_ = newPage;
        page_ = 0;
        startPage();
        for (const RecordSlip::Field& field : slip_.fields)
            placeField(field);
        placeSignatures();
        return page_;
    }

private:
    int px(double millimetres) const { return int(millimetres * mm_ + 0.5); }
    int bottom() const { return area_.bottom() - px(10); } // room for the page number

    void startPage() {
        if (page_ > 0 && painter_ && newPage_ && !newPage_())
            throw std::runtime_error("page");
        ++page_;
        y_ = area_.top();
        QString title = slip_.title;
        if (page_ > 1)
            title += QStringLiteral(" (suite)");
        y_ += drawText(title, titleFont_, area_.left(), area_.width(), Qt::AlignHCenter);
        y_ += px(2);
        QString recorded = slip_.author.isEmpty()
                               ? QStringLiteral("Enregistrée par : non indiqué")
                               : QStringLiteral("Enregistrée par : %1").arg(slip_.author);
        const int line = QFontMetrics(smallFont_, &device_).height();
        drawText(recorded, smallFont_, area_.left(), area_.width() / 2, Qt::AlignLeft);
        drawText(QStringLiteral("Imprimée le %1").arg(slip_.printed), smallFont_,
                 area_.left() + area_.width() / 2, area_.width() / 2, Qt::AlignRight);
        y_ += line + px(2);
        if (painter_) {
            painter_->setPen(QPen(Qt::black, px(0.4)));
            painter_->drawLine(area_.left(), y_, area_.right(), y_);
            if (pageCount_ > 1)
                drawTextAt(QStringLiteral("Page %1 sur %2").arg(page_).arg(pageCount_), smallFont_,
                           area_.left(), bottom() + px(3), area_.width(), Qt::AlignRight);
        }
        y_ += px(5);
    }

    // Draws `text` on one line at y_; returns the line's height.
    int drawText(const QString& text, const QFont& font, int x, int width, Qt::Alignment align) {
        return drawTextAt(text, font, x, y_, width, align);
    }

    int drawTextAt(const QString& text, const QFont& font, int x, int y, int width, Qt::Alignment align) {
        const QFontMetrics metrics(font, &device_);
        const int flags = int(align | Qt::AlignTop) | Qt::TextWordWrap;
        const int height = std::max(metrics.height(),
                                    metrics.boundingRect(QRect(0, 0, width, 100000), flags, text).height());
        if (painter_) {
            painter_->setFont(font);
            painter_->setPen(Qt::black);
            painter_->drawText(QRect(x, y, width, height), flags, text);
        }
        return height;
    }

    // Lays `layout` out in lines of `width`; returns them.
    static std::vector<QTextLine> breakLines(QTextLayout& layout, int width) {
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        std::vector<QTextLine> lines;
        double height = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, height));
            height += line.height();
            lines.push_back(line);
        }
        layout.endLayout();
        return lines;
    }

    // A value of a few lines stands beside its caption; a longer one takes
    // the whole width below it.
    void placeField(const RecordSlip::Field& field) {
        const int captionWidth = area_.width() * 27 / 100;
        int valueLeft = area_.left() + captionWidth + px(4);
        const int valueWidth = area_.right() - valueLeft;

        QString text = field.value;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        QTextLayout layout(text, valueFont_, &device_);
        std::vector<QTextLine> lines = breakLines(layout, valueWidth);
        const bool below = lines.size() > 3;
        if (below) {
            lines = breakLines(layout, area_.width());
            valueLeft = area_.left();
        }

        const int captionHeight = QFontMetrics(captionFont_, &device_).height();
        const int lineHeight = lines.empty() ? captionHeight : int(lines.front().height() + 0.5);
        if (y_ + std::max(captionHeight, lineHeight) > bottom())
            startPage();
        const int captionLine = drawText(field.caption, captionFont_, area_.left(),
                                         below ? area_.width() : captionWidth, Qt::AlignLeft);
        const int captionTall = captionLine;
        int top = below ? y_ + captionLine + px(1) : y_;
        size_t first = 0; // first line of this page
        for (size_t i = 0; i < lines.size(); ++i) {
            const int lineTop = top + int(lines[i].y() - lines[first].y());
            if (lineTop + lineHeight > bottom()) {
                drawLines(layout, lines, first, i, valueLeft, top);
                startPage();
                drawText(QStringLiteral("%1 (suite)").arg(field.caption), captionFont_, area_.left(),
                         below ? area_.width() : captionWidth, Qt::AlignLeft);
                top = below ? y_ + captionLine + px(1) : y_;
                first = i;
            }
        }
        drawLines(layout, lines, first, lines.size(), valueLeft, top);
        const int used = lines.empty() ? lineHeight
                                       : int(lines.back().y() + lines.back().height() - lines[first].y() + 0.5);
        y_ = top + (below ? used : std::max(used, captionTall)) + px(2);
        if (painter_) {
            painter_->setPen(QPen(QColor(190, 190, 190), px(0.2)));
            painter_->drawLine(area_.left(), y_, area_.right(), y_);
        }
        y_ += px(2.5);
    }

    void drawLines(QTextLayout& layout, const std::vector<QTextLine>& lines, size_t from, size_t to,
                   int left, int top) {
        if (!painter_ || from >= to)
            return;
        painter_->setPen(Qt::black);
        const double shift = lines[from].y();
        for (size_t i = from; i < to; ++i)
            lines[i].draw(painter_, QPointF(left, top - shift));
        (void)layout;
    }

    void placeSignatures() {
        const int labelHeight = QFontMetrics(captionFont_, &device_).height();
        const int boxHeight = px(32);
        y_ += px(6);
        if (y_ + labelHeight + px(2) + boxHeight > bottom())
            startPage();
        const int gap = px(10);
        const int width = (area_.width() - gap) / 2;
        const QString captions[] = {QStringLiteral("Signature du client"),
                                    QStringLiteral("Signature du service")};
        for (int i = 0; i < 2; ++i) {
            const int left = area_.left() + i * (width + gap);
            drawText(captions[i], captionFont_, left, width, Qt::AlignLeft);
            if (painter_) {
                painter_->setPen(QPen(Qt::black, px(0.3)));
                painter_->setBrush(Qt::NoBrush);
                painter_->drawRect(left, y_ + labelHeight + px(2), width, boxHeight);
            }
        }
        y_ += labelHeight + px(2) + boxHeight;
    }

    const RecordSlip& slip_;
    QPaintDevice& device_;
    QRect area_;
    QPainter* painter_;
    double mm_;
    QFont titleFont_, smallFont_, captionFont_, valueFont_;
    std::function<bool()> newPage_;
    int pageCount_ = 1;
    int page_ = 0;
    int y_ = 0;
};

// The sheet that the current-sheet marker names, when it shows a row;
// otherwise the user is told how to get one.
RecordSheet* markedSheet(QWidget* dialogParent, const SheetLookup& sheets) {
    const auto marker = currentSheetMarker();
    RecordSheet* sheet = marker && sheets ? sheets(*marker, true) : nullptr;
    const BaseR::State state = sheet ? sheet->recordSource().state() : BaseR::State::Closed;
    if (state == BaseR::State::CurrentRow || state == BaseR::State::Adding)
        return sheet;
    dialogs().message(dialogParent,
                      QStringLiteral("Aucune fiche n'est affichée : ouvrez la feuille « Prêt » ou "
                                     "« Retour » et choisissez la fiche à imprimer."),
                      applicationTitle());
    return nullptr;
}

QString slipFileName(const RecordSlip& slip) {
    QString name = slip.title.startsWith(QStringLiteral("PRÊT")) ? QStringLiteral("fiche-pret")
                                                                  : QStringLiteral("fiche-retour");
    return name + QStringLiteral(".pdf");
}

} // namespace

RecordSlip slipOf(const RecordSheet& sheet, const QDateTime& printedAt) {
    const SheetDesign& design = sheet.design();
    RecordSlip slip;
    slip.title = &design == &loanSheetDesign() ? QStringLiteral("PRÊT DE MATÉRIEL")
                                               : QStringLiteral("RETOUR DE MATÉRIEL");
    for (const FieldDesign& field : design.fields) {
        const auto* box = sheet.findChild<QLineEdit*>(QString::fromLatin1(field.box));
        QString value = box ? box->text() : QString();
        const BoxAid* aid = BoxAid::of(box);
        if (aid && aid->isDateBox())
            if (const auto date = regional::parseDateTime(value))
                value = regional::formatDateTime(date->date, date->time);
        slip.fields.push_back({field.caption, value});
    }
    if (const auto* author = sheet.findChild<QLabel*>(QString::fromLatin1(design.authorName)))
        slip.author = author->text().trimmed();
    slip.printed = QStringLiteral("%1 à %2").arg(regional::formatDate(printedAt.date()),
                                                 printedAt.time().toString(QStringLiteral("HH:mm")));
    return slip;
}

int printSlip(const RecordSlip& slip, QPrinter& printer) {
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(18, 15, 18, 15), QPageLayout::Millimeter));
    printer.setDocName(slip.title);
    const QRect area(QPoint(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
    int pages = 0;
    {
        SlipLayout measure(slip, printer, area, nullptr);
        pages = measure.run(1, {});
    }
    QPainter painter;
    if (!painter.begin(&printer))
        return 0;
    painter.setRenderHint(QPainter::Antialiasing);
    try {
        SlipLayout draw(slip, printer, area, &painter);
        pages = draw.run(pages, [&printer] { return printer.newPage(); });
    } catch (const std::exception&) {
        painter.end();
        return 0;
    }
    return painter.end() ? pages : 0;
}

bool printCurrentSlip(QWidget* dialogParent, QPrinter& printer, const SheetLookup& sheets) {
    try {
        RecordSheet* sheet = markedSheet(dialogParent, sheets);
        if (!sheet || !dialogs().print(dialogParent, printer))
            return false;
        return printSlip(slipOf(*sheet, QDateTime::currentDateTime()), printer) > 0;
    } catch (...) {
        return false;
    }
}

bool exportCurrentSlip(QWidget* dialogParent, const SheetLookup& sheets) {
    RecordSheet* sheet = markedSheet(dialogParent, sheets);
    if (!sheet)
        return false;
    const RecordSlip slip = slipOf(*sheet, QDateTime::currentDateTime());
    const std::optional<QString> file =
        dialogs().saveFile(dialogParent, QStringLiteral("Exporter la fiche en PDF"),
                           QStringLiteral("Document PDF (*.pdf)"),
                           QDir::home().filePath(slipFileName(slip)));
    if (!file)
        return false;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*file);
    if (printSlip(slip, printer) > 0 && QFileInfo(*file).size() > 0)
        return true;
    dialogs().message(dialogParent,
                      QStringLiteral("La fiche n'a pas pu être enregistrée dans %1 : vérifiez que le "
                                     "dossier existe et que vous avez le droit d'y écrire.")
                          .arg(QDir::toNativeSeparators(*file)),
                      applicationTitle());
    return false;
}

} // namespace velmor
