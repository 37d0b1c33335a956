#include "SessionBus.h"

#include <cstdlib>
#include <string>

#include <QDBusConnection>
#include <sys/stat.h>
#include <unistd.h>

namespace rowtick {

namespace {

constexpr char kAddressVariable[] = "DBUS_SESSION_BUS_ADDRESS";
// A bus address that refuses every connection at once: no socket listens there.
constexpr char kRefusingAddress[] = "unix:path=/dev/null";

}  // namespace

bool SessionBusNamed()
{
    const char* address = std::getenv(kAddressVariable);
    if (address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return false;
    const std::string bus = std::string(runtime) + "/bus";
    struct stat look {};
    return ::stat(bus.c_str(), &look) == 0 && S_ISSOCK(look.st_mode) && look.st_uid == ::getuid();
}

void ForgoSessionBus()
{
    const QByteArray named = qgetenv(kAddressVariable);
    const bool wasSet = qEnvironmentVariableIsSet(kAddressVariable);
    qputenv(kAddressVariable, kRefusingAddress);
    (void)QDBusConnection::sessionBus();  // refused, and kept so
    if (wasSet)
        qputenv(kAddressVariable, named);
    else
        qunsetenv(kAddressVariable);
}

}  // namespace rowtick
