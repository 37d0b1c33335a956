#include "LeftoverName.h"

#include <charconv>
#include <random>

#include "Sha256.h"

namespace rowtick {

namespace {

constexpr std::string_view kMark = ".rowtick-";
constexpr std::string_view kNewSuffix = ".new";
constexpr std::string_view kOldSuffix = ".old";
// A name is at most 255 bytes: the rest of a leftover's name takes at most 102.
constexpr std::size_t kShownMax = 150;
constexpr std::size_t kHashDigits = 64;
constexpr std::size_t kBootDigits = 16;
constexpr std::size_t kLetters = 6;
constexpr std::size_t kProofDigits = 32;

bool AllOf(std::string_view text, std::string_view allowed, std::size_t size)
{
    return text.size() == size && text.find_first_not_of(allowed) == std::string_view::npos;
}

// A decimal number as name() writes it, that fits `value`.
template <typename Value>
bool Number(std::string_view text, Value& value)
{
    if (text.empty() || (text.size() > 1 && text[0] == '0'))
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

constexpr std::string_view kHexDigits = "0123456789abcdef";

// A part of a name that ends as Shown() ends a name too long to stand whole.
bool LooksHashed(std::string_view name)
{
    return name.size() > kHashDigits && name[name.size() - kHashDigits - 1] == '~'
           && AllOf(name.substr(name.size() - kHashDigits), kHexDigits, kHashDigits);
}

std::string Letters()
{
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::minstd_rand random(std::random_device{}());
    std::string letters;
    for (std::size_t i = 0; i < kLetters; ++i)
        letters += kAlphabet[random() % (sizeof kAlphabet - 1)];
    return letters;
}

}  // namespace

std::string LeftoverName::Shown(std::string_view chosen)
{
    if (chosen.size() <= kShownMax && !LooksHashed(chosen))
        return std::string(chosen);
    // A part for the eye, never within a UTF-8 sequence; the hash tells the names apart.
    std::size_t size = kShownMax - kHashDigits - 1;
    while (size > 0 && (static_cast<unsigned char>(chosen[size]) & 0xC0) == 0x80)
        --size;
    return std::string(chosen.substr(0, size)) + "~" + Sha256::Hex(chosen);
}

std::string LeftoverName::BootTag(std::string_view boot)
{
    return Sha256::Hex(boot).substr(0, kBootDigits);
}

LeftoverName LeftoverName::Of(Kind kind, std::string_view chosen, const SaverIdentity& saver)
{
    LeftoverName leftover;
    leftover.kind = kind;
    leftover.shown = Shown(chosen);
    leftover.process = saver.process;
    leftover.started = saver.started;
    leftover.boot = BootTag(saver.boot);
    leftover.letters = Letters();
    leftover.proof = leftover.proofFor(saver.machine);
    return leftover;
}

std::string LeftoverName::proofFor(const std::string& machine) const
{
    const std::string parts[] = {std::string(kind == Kind::NewFile ? kNewSuffix : kOldSuffix), shown, machine, boot,
                                 std::to_string(process), std::to_string(started), letters};
    Sha256 hash;
    for (const std::string& part : parts)
        hash.add(part).add(std::string_view("\0", 1));
    return hash.hex().substr(0, kProofDigits);
}

std::string LeftoverName::name() const
{
    return "." + shown + std::string(kMark) + std::to_string(process) + "-" + std::to_string(started) + "-" + boot
           + "-" + letters + "-" + proof + std::string(kind == Kind::NewFile ? kNewSuffix : kOldSuffix);
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
    parts.shown = std::string(name.substr(1, mark - 1));
    std::string_view rest = name.substr(mark + kMark.size());
    std::string_view fields[5];
    for (std::string_view& field : fields) {
        const auto dash = rest.find('-');
        field = rest.substr(0, dash);
        rest = dash == std::string_view::npos ? std::string_view() : rest.substr(dash + 1);
    }
    if (!rest.empty() || !Number(fields[0], parts.process) || parts.process < 0 || !Number(fields[1], parts.started)
        || !AllOf(fields[2], kHexDigits, kBootDigits)
        || !AllOf(fields[3], "abcdefghijklmnopqrstuvwxyz0123456789", kLetters)
        || !AllOf(fields[4], kHexDigits, kProofDigits))
        return std::nullopt;
    parts.boot = fields[2];
    parts.letters = fields[3];
    parts.proof = fields[4];
    return parts;
}

bool LeftoverName::madeOn(const SaverIdentity& saver) const
{
    return !saver.machine.empty() && proof == proofFor(saver.machine);
}

bool LeftoverName::madeFor(std::string_view chosen, const SaverIdentity& saver) const
{
    return shown == Shown(chosen) && madeOn(saver);
}

bool LeftoverName::gone(const SaverIdentity& saver, bool (*alive)(long, std::uint64_t)) const
{
    if (!madeOn(saver) || saver.boot.empty() || started == 0)
        return false;
    if (boot != BootTag(saver.boot))
        return true;  // an earlier boot of this computer
    if (process == saver.process && started == saver.started)
        return false;  // this very process
    return !alive(process, started);
}

}  // namespace rowtick
