#include "sheets/file_reason.h"

#include "sheets/engine_path.h"

#include <QDir>
#include <QRegularExpression>

namespace velmor {

QString withoutPath(const QString& engineText, const QString& path) {
    QString text = engineText;
    for (const QString& form : {QString::fromStdString(toEnginePath(path)), QDir::toNativeSeparators(path), path}) {
        if (form.isEmpty())
            continue;
        text.replace(form + QStringLiteral(" : "), QString());
        text.replace(QStringLiteral(" : ") + form, QString());
        text.replace(form, QStringLiteral("le fichier"));
    }
    return text.trimmed();
}

QString openingReason(const jet::Error& error, const QString& path) {
    const QString detail = withoutPath(QString::fromUtf8(error.what()), path);
    switch (error.code()) {
    case jet::Code::NotADatabase:
        if (detail.contains(QStringLiteral("vide")))
            return QStringLiteral("ce fichier est vide, ce n'est pas une base Access");
        return QStringLiteral("ce fichier n'est pas une base Access");
    case jet::Code::Corrupt:
        if (detail.contains(QStringLiteral("tronqué")))
            return QStringLiteral("le fichier est incomplet (une copie interrompue ou un disque plein "
                                  "l'a sans doute tronqué) ; reprenez une sauvegarde");
        return QStringLiteral("le fichier est endommagé (pour l'assistance : %1)").arg(detail);
    case jet::Code::Unsupported:
        return QStringLiteral("cette base ne peut pas être lue par Velmor (%1)").arg(detail);
    case jet::Code::Locked:
        return QStringLiteral("un autre programme utilise le fichier en ce moment ; réessayez plus tard");
    case jet::Code::IoError:
        return QStringLiteral("le fichier ne peut pas être lu (%1)").arg(detail);
    default:
        return detail;
    }
}

} // namespace velmor
