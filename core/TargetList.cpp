#include "TargetList.h"

#include <algorithm>

#include "Texts.h"

namespace rowtick {

const std::filesystem::path::string_type& TargetList::text(std::int64_t row) const
{
    return targets_.at(static_cast<std::size_t>(row - 1));
}

void TargetList::append(std::span<const std::filesystem::path> paths)
{
    for (const std::filesystem::path& path : paths)
        targets_.push_back(path.native());
}

void TargetList::append(const std::filesystem::path& path)
{
    targets_.push_back(path.native());
}

void TargetList::append(const DroppedTarget& entry)
{
    targets_.push_back(entry.path);
    if (!entry.refusal.empty())
        refusals_.emplace_back(rowCount() - 1, entry.refusal);
}

void TargetList::appendRefused(const std::filesystem::path& shown, std::string reason)
{
    targets_.push_back(shown.native());
    refusals_.emplace_back(rowCount() - 1, std::move(reason));
}

const std::string* TargetList::refusal(std::int64_t row) const
{
    const auto it = std::lower_bound(refusals_.begin(), refusals_.end(), row,
                                     [](const auto& refused, std::int64_t r) { return refused.first < r; });
    return it != refusals_.end() && it->first == row ? &it->second : nullptr;
}

std::string RegisteredCountText(std::int64_t registeredCount)
{
    std::string text(kRegisteredCountPrefix);
    text += std::to_string(registeredCount);
    return text;
}

std::filesystem::path FileNameOf(const std::filesystem::path& path)
{
    using string_type = std::filesystem::path::string_type;
    const string_type& native = path.native();
    const auto separator = std::filesystem::path::preferred_separator;
    const auto pos = native.rfind(separator);
    if (pos == string_type::npos || pos + 1 == native.size())
        return {};
    return std::filesystem::path(native.substr(pos + 1));
}

}  // namespace rowtick
