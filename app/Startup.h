// What the program sets up before its window exists.
#pragma once

class QApplication;

namespace rowtick {

// Starts reading the system's font configuration on a thread of its own, so
// that it overlaps the connection to the display instead of delaying the
// window: the first text the window lays out waits for it otherwise. Call it
// first thing; does nothing where Qt does not use fontconfig.
void StartLoadingFonts();

// Names the application and makes Qt's own dialogs and buttons speak Japanese.
// Returns whether Qt's Japanese translation was found.
bool SetUpApplication(QApplication& app);

}  // namespace rowtick
