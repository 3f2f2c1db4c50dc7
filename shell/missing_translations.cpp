#include "shell/missing_translations.h"

#include <cstring>

namespace velmor {

QString MissingQtTranslations::translate(const char* context, const char* sourceText,
                                         const char* /*disambiguation*/, int /*n*/) const {
    struct Text {
        const char* english;
        const char* french;
    };
    // The file dialog's "Type" column.
    static const Text fileTypes[] = {
        {"Folder", "Dossier"},     {"File Folder", "Dossier"}, {"%1 File", "Fichier %1"},
        {"File", "Fichier"},       {"Drive", "Lecteur"},       {"Shortcut", "Raccourci"},
        {"Alias", "Alias"},        {"Unknown", "Inconnu"},
    };
    if (!context || !sourceText || std::strcmp(context, "QAbstractFileIconProvider") != 0)
        return QString();
    for (const Text& text : fileTypes)
        if (std::strcmp(sourceText, text.english) == 0)
            return QString::fromUtf8(text.french);
    return QString();
}

} // namespace velmor
