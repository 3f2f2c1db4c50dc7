// The application's look: Qt's own texts in French and the fonts the
// windows ask for ("MS Sans Serif", "Arial Black", "Times New Roman",
// "Courier New"), with metric-compatible stand-ins where they are missing.
#pragma once

#include <QFont>
#include <QIcon>
#include <QLocale>
#include <QString>

class QCoreApplication;

namespace velmor {

// Loads Qt's French translation (buttons "Oui"/"Non"/"Annuler", the file
// and printer dialogs) into `app`. Returns false when it is not installed.
bool installFrenchTranslation(QCoreApplication& app);

// Registers Liberation Sans/Serif/Mono for the fonts the windows name when
// those are not installed. Safe to call more than once.
void installFontSubstitutes();

// The font of every control that names none: MS Sans Serif 8.25 pt.
QFont defaultWindowFont();

// The regional settings (dates, numbers) the application works with: those
// of the system, or French (France) when the system names no language (the
// C or POSIX locale of a fresh install).
QLocale regionalSettings(const QLocale& system);

// Makes regionalSettings(QLocale::system()) the default QLocale, which the
// sheets and the status bar use.
void installRegionalSettings();

// The application's own window icon (a small drawing, made at start-up).
QIcon applicationIcon();

// That drawing at one size: a loan slip in the colours of the sheets, a dark
// card with a bright "V" and a green band. The installed menu icons are
// rendered from it too.
QPixmap applicationIconPicture(int size);

// All of the above: the translation, the fonts, the regional settings,
// defaultWindowFont() as the application's font and applicationIcon() as
// every window's icon.
void installLook(QCoreApplication& app);

// A font as the windows describe it: family, size in points (8.25 and
// 13.5 occur), bold, underlined. "Arial Black" always comes out black weight,
// so that its stand-in stays heavy.
QFont windowFont(const QString& family, qreal pointSize, bool bold = false, bool underline = false);

} // namespace velmor
