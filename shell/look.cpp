#include "shell/look.h"

#include "shell/missing_translations.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTranslator>

namespace velmor {

bool installFrenchTranslation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_fr"), folder)) {
        delete translator;
        return false;
    }
    if (!QCoreApplication::installTranslator(translator))
        return false;
    // Then what Qt's translation lacks (searched first, answers for little).
    QCoreApplication::installTranslator(new MissingQtTranslations(&app));
    return true;
}

void installFontSubstitutes() {
    struct Substitute {
        const char* wanted;
        const char* standIn;
    };
    static const Substitute substitutes[] = {
        {"MS Sans Serif", "Liberation Sans"}, {"Arial", "Liberation Sans"},
        {"Arial Black", "Liberation Sans"},   {"Times New Roman", "Liberation Serif"},
        {"Courier New", "Liberation Mono"},
    };
    for (const Substitute& s : substitutes) {
        const QString wanted = QString::fromLatin1(s.wanted);
        const QString standIn = QString::fromLatin1(s.standIn);
        if (QFontDatabase::hasFamily(wanted) || !QFontDatabase::hasFamily(standIn))
            continue;
        if (!QFont::substitutes(wanted).contains(standIn))
            QFont::insertSubstitution(wanted, standIn);
    }
}

QLocale regionalSettings(const QLocale& system) {
    if (system.language() == QLocale::C || system.language() == QLocale::AnyLanguage)
        return QLocale(QLocale::French, QLocale::France);
    return system;
}

void installRegionalSettings() {
    QLocale::setDefault(regionalSettings(QLocale::system()));
}

QPixmap applicationIconPicture(int size) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QRectF card(s * 0.06, s * 0.06, s * 0.88, s * 0.88);
    painter.setPen(QPen(QColor(224, 224, 224), qMax(1.0, s / 32)));
    painter.setBrush(QColor(8, 14, 30));
    painter.drawRoundedRect(card, s * 0.14, s * 0.14);

    QPainterPath v;
    v.moveTo(s * 0.24, s * 0.22);
    v.lineTo(s * 0.50, s * 0.74);
    v.lineTo(s * 0.76, s * 0.22);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 0), s * 0.13, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(v);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 255, 0));
    painter.drawRect(QRectF(s * 0.20, s * 0.80, s * 0.60, s * 0.06));
    return picture;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(applicationIconPicture(size));
    return icon;
}

void installLook(QCoreApplication& app) {
    installFrenchTranslation(app);
    installFontSubstitutes();
    installRegionalSettings();
    // The windows' own default font, for every control that names none, and
    // the icon of every window (the sheets' system menu included).
    if (qobject_cast<QApplication*>(&app)) {
        QApplication::setFont(defaultWindowFont());
        QApplication::setWindowIcon(applicationIcon());
    }
}

QFont defaultWindowFont() {
    return windowFont(QStringLiteral("MS Sans Serif"), 8.25);
}

QFont windowFont(const QString& family, qreal pointSize, bool bold, bool underline) {
    QFont font(family);
    font.setPointSizeF(pointSize);
    if (family.compare(QStringLiteral("Arial Black"), Qt::CaseInsensitive) == 0)
        font.setWeight(QFont::Black);
    else if (bold)
        font.setWeight(QFont::Bold);
    font.setUnderline(underline);
    return font;
}

} // namespace velmor
