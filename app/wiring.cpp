#include "app/wiring.h"

#include "shell/main_window.h"

namespace velmor::app {

void setUpMainWindow(MainWindow& window) {
    // "Quitter" and "Ouvrir une Base" are the main window's own. The sheet
    // buttons (Command1 to Command8), "Imprimer", "option" and "à propos de"
    // get their operations here as the layers that own them provide them.
    (void)window;
}

} // namespace velmor::app
