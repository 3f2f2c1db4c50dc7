// The picture both record sheets are built with, shown until sheet switching
// or the options window loads the user's background image.
#pragma once

#include <QPixmap>

namespace velmor {

// A dark 800 by 600 picture (a night-blue diagonal gradient with a faint
// lighter band) against which the sheets' bright labels stand out.
QPixmap defaultSheetPicture();

} // namespace velmor
