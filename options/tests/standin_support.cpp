#include "standin_support.h"

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

StandInSheet::StandInSheet(SheetHost::Sheet which, QWidget* parent) : RecordSheet(parent) {
    const bool loan = which == SheetHost::Sheet::Loan;
    setObjectName(loan ? QStringLiteral("Pretmat") : QStringLiteral("retour"));
    setWindowTitle(loan ? QStringLiteral("velmor pret") : QStringLiteral("Velmor Retour"));

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image1"));
    image_->setScaledContents(true);
    QPixmap built(200, 150);
    built.fill(QColor(20, 30, 70));
    image_->setPixmap(built);

    auto* grid = new QGridLayout(this);
    title_ = new QLabel(loan ? QStringLiteral("PRET MATERIEL") : QStringLiteral("RETOUR MATERIEL"),
                        this);
    title_->setStyleSheet(QStringLiteral("color: yellow; font-size: 20pt; font-weight: bold;"));
    grid->addWidget(title_, 0, 0, 1, 2, Qt::AlignHCenter);
    const QStringList names = {QStringLiteral("emetteur"), QStringLiteral("naccord"),
                               QStringLiteral("client"), QStringLiteral("materiel")};
    const QStringList values = {QStringLiteral("Service technique"),
                                loan ? QStringLiteral("P-2001-001") : QStringLiteral("A-2001-001"),
                                QStringLiteral("Dupont SA"), QStringLiteral("Imprimante laser")};
    for (int i = 0; i < names.size(); ++i) {
        auto* label = new QLabel(names[i], this);
        label->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
        auto* field = new QLineEdit(values[i], this);
        field->setStyleSheet(QStringLiteral("background: white; color: black;"));
        fields << field;
        grid->addWidget(label, i + 1, 0);
        grid->addWidget(field, i + 1, 1);
    }
    author_ = new QLabel(this);
    grid->addWidget(author_, names.size() + 1, 1);
    resize(640, 420);
    image_->setGeometry(rect());
    image_->lower();
}

BaseR& StandInSheet::recordSource() {
    qFatal("the stand-in sheet has no record source");
}

void StandInSheet::setAuthor(const QString& name) {
    author_->setText(name);
}

bool StandInSheet::loadPicture(const QString& path) {
    pictureRequests << path;
    if (path.isEmpty()) {
        image_->clear();
        picturePath.clear();
        return true;
    }
    QPixmap picture;
    if (!picture.load(path))
        return false;
    image_->setPixmap(picture);
    picturePath = path;
    return true;
}

StandInSheets::StandInSheets() = default;

StandInSheets::~StandInSheets() {
    delete return_.data();
    delete loan_.data();
}

SheetLookup StandInSheets::lookup() {
    return [this](SheetHost::Sheet which, bool create) -> RecordSheet* {
        QPointer<StandInSheet>& slot = which == SheetHost::Sheet::Loan ? loan_ : return_;
        if (!slot && create) {
            slot = new StandInSheet(which);
            ++created;
        }
        return slot.data();
    };
}

StandInSheet* StandInSheets::sheet(SheetHost::Sheet which) const {
    return which == SheetHost::Sheet::Loan ? loan_.data() : return_.data();
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
