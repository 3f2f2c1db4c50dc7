// Connects the main window's toolbar buttons and menu entries to the
// operations of the record sheets and of the options layer.
#pragma once

namespace velmor {
class MainWindow;
}

namespace velmor::app {

// Runs once, right after the login created the main window.
void setUpMainWindow(MainWindow& window);

} // namespace velmor::app
