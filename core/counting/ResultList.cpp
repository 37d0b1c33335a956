#include "ResultList.h"

#include <algorithm>
#include <iterator>

#include "Texts.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace rowtick {

using NativeString = std::filesystem::path::string_type;

std::string ResultRow::countText() const
{
    return lines ? std::to_string(*lines) : std::string(kUncountedMark);
}

namespace {

// Text in the system's encoding: on POSIX exactly the bytes given, on Windows
// the system's ANSI code page (characters it lacks become '?').
std::string NativeBytes(const NativeString& text)
{
#ifdef _WIN32
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
#else
    return text;
#endif
}

}  // namespace

NativeString PathField(const NativeString& native)
{
    using Char = NativeString::value_type;
    // A NUL would end the name for every reader of the file; it is quoted too.
    const Char needQuoting[] = {Char('\r'), Char('\n'), Char(0)};
    if (native.find_first_of(needQuoting, 0, 3) == NativeString::npos)
        return native;
    NativeString quoted{Char('$'), Char('\'')};
    for (const Char c : native) {
        switch (c) {
        case Char('\n'): quoted += {Char('\\'), Char('n')}; break;
        case Char('\r'): quoted += {Char('\\'), Char('r')}; break;
        case Char(0): quoted += {Char('\\'), Char('x'), Char('0'), Char('0')}; break;
        case Char('\\'): quoted += {Char('\\'), Char('\\')}; break;
        case Char('\''): quoted += {Char('\\'), Char('\'')}; break;
        default: quoted += c; break;
        }
    }
    quoted += Char('\'');
    return quoted;
}

std::string PathFieldBytes(const std::filesystem::path& path)
{
    return NativeBytes(PathField(path.native()));
}

NativeString ResultRow::text() const
{
    const std::string count = countText();  // ASCII: digits or "-"
    NativeString row(count.begin(), count.end());
    row += {NativeString::value_type(','), NativeString::value_type('\t')};
    row += PathField(path);
    return row;
}

std::string ResultRow::bytes() const
{
    return NativeBytes(text());
}

void ResultList::append(std::vector<ResultRow> rows)
{
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
}

void ResultList::reserve(std::int64_t rows)
{
    rows_.reserve(rows_.size() + static_cast<std::size_t>(std::max<std::int64_t>(rows, 0)));
}

}  // namespace rowtick
