#include "sheets_support.h"

#include "sheets/default_picture.h"
#include "sheets/pretmat.h"
#include "sheets/retour.h"
#include "shell/settings.h"

#include <QColor>
#include <QDir>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <cstdlib>

namespace velmor::testing {

SheetsOnDemand::SheetsOnDemand() = default;

SheetsOnDemand::~SheetsOnDemand() {
    delete return_.data();
    delete loan_.data();
}

SheetLookup SheetsOnDemand::lookup() {
    return [this](SheetHost::Sheet which, bool create) -> RecordSheet* {
        const bool loan = which == SheetHost::Sheet::Loan;
        QPointer<RecordSheet>& slot = loan ? loan_ : return_;
        if (!slot && create) {
            slot = loan ? static_cast<RecordSheet*>(new Pretmat) : new retour;
            ++created;
        }
        return slot.data();
    };
}

RecordSheet* SheetsOnDemand::sheet(SheetHost::Sheet which) const {
    return which == SheetHost::Sheet::Loan ? loan_.data() : return_.data();
}

bool showsBuiltPicture(RecordSheet* sheet) {
    return sheet->backgroundImage()->pixmap().toImage() == defaultSheetPicture().toImage();
}

bool showsColour(RecordSheet* sheet, const QColor& colour) {
    const QImage shown = sheet->backgroundImage()->pixmap().toImage();
    if (shown.isNull())
        return false;
    const QColor corner = shown.pixelColor(1, 1);
    return std::abs(corner.red() - colour.red()) < 16 && std::abs(corner.green() - colour.green()) < 16 &&
           std::abs(corner.blue() - colour.blue()) < 16;
}

QString writePicture(const QString& folder, const QString& name, const QColor& colour,
                     const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = QDir(folder).filePath(name);
    image.save(path);
    return path;
}

void saveMarker(const QString& text) {
    settings::save(QStringLiteral("pageencours"), QStringLiteral("pgcours"), QStringLiteral("page"),
                   text);
}

static QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

bool havePoppler() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty();
}

int pageCount(const QString& pdf) {
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    for (const QString& line : info.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("Pages:")))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

// The first page rendered at `dpi`.
QImage renderPage(const QString& pdf, const QString& folder, int dpi) {
    const QString base = QDir(folder).filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
         QStringLiteral("-singlefile"), pdf, base});
    return QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// The smallest rectangle holding every pixel that is not (nearly) white.
QRect inkBox(const QImage& page) {
    int left = page.width(), top = page.height(), right = -1, bottom = -1;
    for (int y = 0; y < page.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(page.constScanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            if (qRed(line[x]) < 245 || qGreen(line[x]) < 245 || qBlue(line[x]) < 245) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Mean difference per channel (0..255) between two images of one size.
double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace velmor::testing
