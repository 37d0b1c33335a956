// The window's controls as assistive technology expects them: the window as a
// window (a frame), the status bar as a status bar, and the clickable labels
// with their click as an action.
#pragma once

namespace rowtick {

// Installs the accessibility factory that gives these roles; safe to call again.
void InstallAccessibleRoles();

}  // namespace rowtick
