#include "ResultList.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

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
    // One pass over the path: find_first_of would search the three characters
    // at every position, the most of a million rows' save.
    const auto breaksRow = [](Char c) { return c == Char('\r') || c == Char('\n') || c == Char(0); };
    if (std::none_of(native.begin(), native.end(), breaksRow))
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

ResultRow ResultList::row(std::int64_t i) const
{
    if (i < 0 || i >= rowCount())
        throw std::out_of_range("ResultList::row");
    const auto why = std::lower_bound(uncounted_.begin(), uncounted_.end(), i,
                                      [](const auto& entry, std::int64_t row) { return entry.first < row; });
    if (why != uncounted_.end() && why->first == i)
        return ResultRow{pathOf(i), std::nullopt, why->second};
    return ResultRow{pathOf(i), lines_[static_cast<std::size_t>(i)], {}};
}

const NativeString& ResultList::pathOf(std::int64_t i) const
{
    const auto span = std::prev(std::upper_bound(spans_.begin(), spans_.end(), i,
                                                 [](std::int64_t row, const Span& s) { return row < s.firstRow; }));
    const TargetList& paths = span->run == kOwn ? own_ : runs_[static_cast<std::size_t>(span->run)];
    return paths.text(span->firstTarget + (i - span->firstRow));
}

void ResultList::append(ResultRow row)
{
    const std::int64_t i = rowCount();
    const bool runsTarget = nextTarget_ > 0 && nextTarget_ < runs_.back().rowCount()
                            && runs_.back().text(nextTarget_) == row.path;
    const std::int64_t run = runsTarget ? static_cast<std::int64_t>(runs_.size()) - 1 : kOwn;
    const std::int64_t target = runsTarget ? nextTarget_++ : own_.rowCount();
    if (!runsTarget)
        own_.append(DroppedTarget{std::move(row.path), {}});
    // A new span where the paths stop following on from the last one's.
    const bool follows = !spans_.empty() && spans_.back().run == run
                         && spans_.back().firstTarget + (i - spans_.back().firstRow) == target;
    if (!follows)
        spans_.push_back(Span{i, run, target});
    lines_.push_back(row.lines.value_or(0));
    if (!row.lines)
        uncounted_.emplace_back(i, std::move(row.reason));
}

void ResultList::append(std::vector<ResultRow> rows)
{
    for (ResultRow& row : rows)
        append(std::move(row));
}

void ResultList::reserve(std::int64_t rows)
{
    lines_.reserve(lines_.size() + static_cast<std::size_t>(std::max<std::int64_t>(rows, 0)));
}

void ResultList::countingFrom(const TargetList& targets)
{
    runs_.push_back(targets);
    nextTarget_ = 1;
}

}  // namespace rowtick
