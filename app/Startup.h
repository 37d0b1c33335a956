// What the program sets up before its window exists.
#pragma once

class QApplication;
class QWidget;

namespace rowtick {

// Names the application and makes Qt's own dialogs and buttons speak Japanese.
// Returns whether Qt's Japanese translation was found (on Windows it lies
// beside the program, elsewhere among Qt's translations).
bool SetUpApplication(QApplication& app);

// A window opens centred with its frame: the client area is placed first, as
// the frame is not known before the window is on the screen; once the window
// manager has framed it (on X11), the whole window is centred, unless it was
// moved meanwhile. Call after show(). A Wayland compositor places windows itself.
// On Windows the frame is known when the window is shown, and it is centred at once.
void CentreWithFrame(QWidget& window);

}  // namespace rowtick
