// Why a database file could not be opened, in plain French and without the
// file's name: the message that shows the reason names the file once, in
// the form the user types it.
#pragma once

#include "jet/status.h"

#include <QString>

namespace velmor {

// "ce fichier n'est pas une base Access", "le fichier est incomplet…"…
QString openingReason(const jet::Error& error, const QString& path);

// The engine's text with the file's name taken out ("<path> : page 3 : …"
// gives "page 3 : …").
QString withoutPath(const QString& engineText, const QString& path);

} // namespace velmor
