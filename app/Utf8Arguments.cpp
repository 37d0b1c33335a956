#include "Utf8Arguments.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace rowtick {

Utf8Arguments::Utf8Arguments(int argc, char** argv)
    : argc_(argc), argv_(argv)
{
#ifdef _WIN32
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return;  // the ANSI arguments, as the best there is
    for (int i = 0; i < count; ++i) {
        const int length = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(length > 0 ? length - 1 : 0, '\0');
        if (length > 1)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), length, nullptr, nullptr);
        strings_.push_back(std::move(text));
    }
    LocalFree(wide);
    for (std::string& text : strings_)
        pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
    argc_ = count;
    argv_ = pointers_.data();
#endif
}

std::filesystem::path Utf8Arguments::PathOf(const std::string& argument)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(argument.begin(), argument.end()));
#else
    return std::filesystem::path(argument);
#endif
}

}  // namespace rowtick
