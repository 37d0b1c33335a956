// What the program sets up before its window exists.
#pragma once

class QApplication;
class QWidget;

namespace rowtick {

// Whether a window can be shown at all: a platform or display named on the
// command line (`namedOnCommandLine`: -platform, -display) or by
// QT_QPA_PLATFORM, DISPLAY or WAYLAND_DISPLAY. Always on Windows.
bool DisplayNamed(bool namedOnCommandLine);

// What the program says, in one line, when it has no display to open its window on.
inline constexpr char kNoDisplay[] = "rowtick: there is no display to open the window on\n";

// Until the returned guard goes, a display that cannot be reached ends the
// program with kNoDisplay and exit status 1, instead of Qt's abort. Held while
// the QApplication is made.
class NoDisplayGuard {
public:
    NoDisplayGuard();
    ~NoDisplayGuard();
    NoDisplayGuard(const NoDisplayGuard&) = delete;
    NoDisplayGuard& operator=(const NoDisplayGuard&) = delete;
};

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
