#include "shell/look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

namespace velmor {

bool installFrenchTranslation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_fr"), folder)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
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

void installLook(QCoreApplication& app) {
    installFrenchTranslation(app);
    installFontSubstitutes();
    // The windows' own default font, for every control that names none.
    if (qobject_cast<QApplication*>(&app))
        QApplication::setFont(defaultWindowFont());
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
