// System error codes as short Japanese reasons for the user.
#pragma once

#include <string>

namespace rowtick {

// A reason for errno value `error` (POSIX) or GetLastError value (Windows),
// in Japanese, UTF-8.
std::string SystemErrorReason(int error);

}  // namespace rowtick
