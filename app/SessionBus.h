// The desktop's session bus, or none: the program never starts one of its
// own, nor waits for one.
#pragma once

namespace rowtick {

// Whether the environment names a session bus: DBUS_SESSION_BUS_ADDRESS, or
// the user's bus, a socket of this user's at $XDG_RUNTIME_DIR/bus, where
// libdbus looks next.
bool SessionBusNamed();

// Where no session bus is named, libdbus, asked for one, has dbus-launch start
// a bus daemon for the X display and waits for it (autolaunch); Qt's
// accessibility bridge asks as the window is made. Call once the application
// exists and before anything asks: Qt's one connection to the session bus is
// then made to an address that refuses at once, and Qt keeps that outcome for
// the rest of the program, so nothing is launched or waited for. The
// environment is left as it was, for the programs the window opens.
void ForgoSessionBus();

}  // namespace rowtick
