// Connects the main window's toolbar buttons and menu entries to the
// operations of the record sheets and of the options layer.
#pragma once

namespace velmor {
class MainWindow;
class SheetHost;
} // namespace velmor

namespace velmor::app {

// Runs once, right after the login created the main window.
void setUpMainWindow(MainWindow& window);

// Puts the record sheets into the window's document area: "Prêt" and
// "Retour" (Command2, Command3) switch sheets, Command1 and Command4 to
// Command8 run the record commands, "Compacter la base" compacts the
// database file, and quitting ("Quitter", the menu entry,
// the close box) first writes the pending edit of each open sheet; when that
// fails the user may stay. Returns the sheet host, owned by the window.
SheetHost* connectSheets(MainWindow& window);

// The sheet host of a window set up by connectSheets (nullptr before).
SheetHost* sheetHost(MainWindow& window);

} // namespace velmor::app
