#include "LeftoverName.h"

#include <algorithm>
#include <cctype>
#include <random>

namespace rowtick {

namespace {

constexpr std::string_view kMark = ".rowtick-";
constexpr std::string_view kNewSuffix = ".new";
constexpr std::string_view kOldSuffix = ".old";
// 255 bytes a name, less the mark, a process id, a computer's name, letters and suffix.
constexpr std::size_t kChosenMax = 150;
constexpr std::size_t kComputerMax = 32;

bool Alphanumeric(std::string_view text)
{
    for (const char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            return false;
    return !text.empty();
}

}  // namespace

std::string LeftoverName::Letters()
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::minstd_rand random(std::random_device{}());
    std::string letters;
    for (int i = 0; i < 6; ++i)
        letters += kLetters[random() % (sizeof kLetters - 1)];
    return letters;
}

std::string LeftoverName::make(std::string_view letters) const
{
    std::string name = "." + Chosen(chosen);
    name += kMark;
    name += std::to_string(process);
    name += '-';
    name += Computer(computer);
    name += '-';
    name += letters;
    name += kind == Kind::NewFile ? kNewSuffix : kOldSuffix;
    return name;
}

std::optional<LeftoverName> LeftoverName::Parse(std::string_view name)
{
    LeftoverName parts;
    if (name.ends_with(kNewSuffix))
        parts.kind = Kind::NewFile;
    else if (name.ends_with(kOldSuffix))
        parts.kind = Kind::OldCopy;
    else
        return std::nullopt;
    name.remove_suffix(kNewSuffix.size());
    const auto mark = name.rfind(kMark);
    if (!name.starts_with('.') || mark == std::string_view::npos || mark == 0)
        return std::nullopt;
    parts.chosen = std::string(name.substr(1, mark - 1));
    std::string_view rest = name.substr(mark + kMark.size());
    const auto first = rest.find('-');
    const auto last = rest.rfind('-');
    if (first == std::string_view::npos || first == last || first == 0 || first > 18)
        return std::nullopt;
    for (const char c : rest.substr(0, first))
        if (c < '0' || c > '9')
            return std::nullopt;
    parts.process = std::stol(std::string(rest.substr(0, first)));
    parts.computer = std::string(rest.substr(first + 1, last - first - 1));
    if (!Alphanumeric(parts.computer) || !Alphanumeric(rest.substr(last + 1)))
        return std::nullopt;
    return parts;
}

std::string LeftoverName::Chosen(std::string_view name)
{
    std::size_t size = std::min(name.size(), kChosenMax);
    // Never within a UTF-8 sequence: the name stays text where names are text.
    while (size < name.size() && size > 0 && (static_cast<unsigned char>(name[size]) & 0xC0) == 0x80)
        --size;
    return std::string(name.substr(0, size));
}

std::string LeftoverName::Computer(std::string_view name)
{
    std::string computer;
    for (const char c : name.substr(0, kComputerMax))
        computer += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return computer.empty() ? std::string("_") : computer;
}

}  // namespace rowtick
