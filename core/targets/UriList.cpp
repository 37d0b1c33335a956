#include "UriList.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "Texts.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace rowtick {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The longest path the system opens, without the terminating NUL: in bytes,
// or in UTF-16 units on Windows.
#ifdef _WIN32
constexpr std::size_t kLongestPath = 32767 - 1;
// A UTF-16 unit is at most three bytes of UTF-8, and a byte at most three characters (%XX).
constexpr std::size_t kMostCharactersPerUnit = 9;
#else
constexpr std::size_t kLongestPath = PATH_MAX - 1;
constexpr std::size_t kMostCharactersPerUnit = 3;
#endif

// %XX becomes the byte XX; a '%' not followed by two hex digits stays as it is.
// Stops after `most` bytes.
std::string PercentDecoded(std::string_view text, std::size_t most = std::string::npos)
{
    std::string bytes;
    bytes.reserve(std::min(text.size(), most));
    for (std::size_t i = 0; i < text.size() && bytes.size() < most; ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                bytes += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        bytes += text[i];
    }
    return bytes;
}

bool Holds(std::string_view text, char c)
{
    return !text.empty() && std::memchr(text.data(), c, text.size()) != nullptr;
}

// `prefix` is given in lower case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
           && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char c) {
                  return c == lower || (lower >= 'a' && lower <= 'z' && c == lower - 'a' + 'A');
              });
}

std::filesystem::path::string_type PathOfBytes(std::string&& bytes)
{
#ifdef _WIN32
    // Windows names are UTF-16; the URL holds them as UTF-8, with "/" between
    // names and a leading "/" before a drive letter.
    std::string_view utf8 = bytes;
    if (utf8.size() >= 3 && utf8[0] == '/' && utf8[2] == ':')
        utf8.remove_prefix(1);
    std::wstring wide;
    if (!utf8.empty()) {
        const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        wide.resize(static_cast<std::size_t>(size));
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    }
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
#else
    return std::move(bytes);
#endif
}

// The first kLongestShownEntry units of a path too long to name a file, cut
// between two characters, and an ellipsis.
std::filesystem::path::string_type ShownStart(std::filesystem::path::string_type path)
{
    if (path.size() > kLongestShownEntry) {
        std::size_t cut = kLongestShownEntry;
#ifdef _WIN32
        if ((path[cut] & 0xFC00) == 0xDC00)  // the second half of a surrogate pair
            --cut;
        path.resize(cut);
        path += L'\u2026';
#else
        while (cut > 0 && (static_cast<unsigned char>(path[cut]) & 0xC0) == 0x80)  // inside a UTF-8 sequence
            --cut;
        path.resize(cut);
        path += "\u2026";
#endif
    }
    return path;
}

// The entry one line names; none for an empty line, a comment, another scheme
// or a file URL without a path.
void AppendEntry(std::string_view line, std::vector<DroppedTarget>& entries)
{
    constexpr std::string_view kScheme = "file:";
    if (!StartsWithNoCase(line, kScheme))
        return;
    std::string_view rest = line.substr(kScheme.size());
    std::string_view host;
    const bool hasAuthority = rest.starts_with("//");
    if (hasAuthority) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        host = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    if (rest.empty())
        return;
    // Shown as dropped: a host stays in front of its path.
    const bool showHost = hasAuthority && !host.empty();

    // Longer than any path even once decoded: refused before it is decoded whole.
    if ((host.size() + rest.size()) / kMostCharactersPerUnit > kLongestPath) {
        const std::string_view shown = showHost ? line.substr(kScheme.size()) : rest;
        entries.push_back({ShownStart(PathOfBytes(PercentDecoded(shown, 4 * kLongestShownEntry))),
                           std::string(kPathTooLong)});
        return;
    }

    const bool fast = !Holds(rest, '%') && !Holds(rest, '?') && !Holds(rest, '#') && !Holds(rest, '\0');
    std::string path = fast ? std::string(rest) : PercentDecoded(rest);
    const std::string hostName = PercentDecoded(host);
    // The host as decoded: "local%68ost" is this computer too.
    const bool otherComputer = !hostName.empty() && !(hostName.size() == 9 && StartsWithNoCase(hostName, "localhost"));
    std::string_view refusal;
    if (!fast && rest.find_first_of("?#") != std::string_view::npos)
        refusal = kNotPlainFileUrl;
    else if (rest.front() != '/')
        refusal = kRelativePath;
    else if ((!fast && path.find('\0') != std::string::npos) || Holds(hostName, '\0'))
        refusal = kImpossibleName;  // whatever the host: a name ends at a NUL
    else if (otherComputer)
        refusal = kOtherComputer;
    if (showHost && (otherComputer || !refusal.empty()))
        path = "//" + hostName + path;

#ifdef _WIN32
    // Another computer's file is a network path Windows reads like any other.
    if (refusal == kOtherComputer)
        refusal = {};
#endif
    std::filesystem::path::string_type native = PathOfBytes(std::move(path));
    if (refusal.empty() && native.size() > kLongestPath) {
        refusal = kPathTooLong;
        native = ShownStart(std::move(native));
    }
    entries.push_back({std::move(native), std::string(refusal)});
}

// The entries of whole lines, in order.
std::vector<DroppedTarget> EntriesOfLines(std::string_view list)
{
    std::vector<DroppedTarget> entries;
    const char* p = list.data();
    const char* const end = p + list.size();
    std::size_t lineEnds = static_cast<std::size_t>(std::count(p, end, '\n'));
    if (lineEnds == 0)
        lineEnds = static_cast<std::size_t>(std::count(p, end, '\r'));
    entries.reserve(lineEnds + 1);
    const auto findLf = [end](const char* from) {
        const void* lf = from < end ? std::memchr(from, '\n', static_cast<std::size_t>(end - from)) : nullptr;
        return lf ? static_cast<const char*>(lf) : end;
    };
    const char* nextLf = findLf(p);  // the next LF at or after p, or end
    while (p < end) {
        if (nextLf < p)
            nextLf = findLf(p);
        const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(nextLf - p));
        const char* lineEnd = cr ? static_cast<const char*>(cr) : nextLf;
        const std::string_view line(p, static_cast<std::size_t>(lineEnd - p));
        if (!line.empty() && line.front() != '#')
            AppendEntry(line, entries);
        p = lineEnd;
        if (p < end)
            p += p + 1 < end && p[0] == '\r' && p[1] == '\n' ? 2 : 1;
    }
    return entries;
}

// Where the line after the one holding `from` starts (CR LF, LF or a lone CR).
std::size_t NextLineStart(std::string_view list, std::size_t from)
{
    const std::size_t lineEnd = list.find_first_of("\r\n", from);
    if (lineEnd == std::string_view::npos)
        return list.size();
    const bool crLf = list[lineEnd] == '\r' && lineEnd + 1 < list.size() && list[lineEnd + 1] == '\n';
    return lineEnd + (crLf ? 2 : 1);
}

}  // namespace

std::vector<DroppedTarget> DroppedTargetsFromUriList(std::string_view list)
{
    // Most of the time goes into making the paths: a large drop is shared
    // out among the processors in runs of whole lines.
    constexpr std::size_t kBytesPerPart = 4 << 20;
    const std::size_t processors = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t parts = std::min({processors, std::size_t{8}, list.size() / kBytesPerPart + 1});
    if (parts == 1)
        return EntriesOfLines(list);

    std::vector<std::string_view> pieces;
    std::size_t begin = 0;
    for (std::size_t i = 1; i <= parts && begin < list.size(); ++i) {
        const std::size_t end = i == parts ? list.size() : std::max(begin, NextLineStart(list, list.size() * i / parts));
        pieces.push_back(list.substr(begin, end - begin));
        begin = end;
    }
    std::vector<std::vector<DroppedTarget>> found(pieces.size());
    {
        std::vector<std::jthread> workers;
        for (std::size_t i = 1; i < pieces.size(); ++i)
            workers.emplace_back([&, i] { found[i] = EntriesOfLines(pieces[i]); });
        found[0] = EntriesOfLines(pieces[0]);
    }
    std::vector<DroppedTarget> entries = std::move(found[0]);
    std::size_t total = 0;
    for (const auto& part : found)
        total += part.size();
    entries.reserve(total);
    for (std::size_t i = 1; i < found.size(); ++i)
        entries.insert(entries.end(), std::make_move_iterator(found[i].begin()), std::make_move_iterator(found[i].end()));
    return entries;
}

}  // namespace rowtick
