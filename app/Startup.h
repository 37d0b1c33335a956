// What the program sets up before its window exists.
#pragma once

class QApplication;

namespace rowtick {

// Names the application and makes Qt's own dialogs and buttons speak Japanese.
// Returns whether Qt's Japanese translation was found.
bool SetUpApplication(QApplication& app);

}  // namespace rowtick
