#include "ResultList.h"

#include "Texts.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace rowtick {

std::string ResultRow::countText() const
{
    return lines ? std::to_string(*lines) : std::string(kUncountedMark);
}

namespace {

// The path's own bytes: on POSIX exactly what the file system holds, on
// Windows the system's ANSI code page (characters it lacks become '?').
std::string NativeBytes(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::wstring& wide = path.native();
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
#else
    return path.native();
#endif
}

}  // namespace

std::string PathFieldBytes(const std::filesystem::path& path)
{
    std::string bytes = NativeBytes(path);
    // A NUL would end the name for every reader of the file; it is quoted too.
    if (bytes.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos)
        return bytes;
    std::string quoted = "$'";
    for (const char c : bytes) {
        switch (c) {
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\0': quoted += "\\x00"; break;
        case '\\': quoted += "\\\\"; break;
        case '\'': quoted += "\\'"; break;
        default: quoted += c; break;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string ResultRow::bytes() const
{
    std::string text = countText();
    text += ",\t";
    text += PathFieldBytes(path);
    return text;
}

}  // namespace rowtick
