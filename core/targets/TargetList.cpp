#include "TargetList.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "Texts.h"

namespace rowtick {

TargetList::TargetList(const TargetList& other)
    : chunks_(other.chunks_), count_(other.count_), ownsLastChunk_(false), refusals_(other.refusals_)
{
}

TargetList& TargetList::operator=(const TargetList& other)
{
    if (this != &other) {
        chunks_ = other.chunks_;
        count_ = other.count_;
        ownsLastChunk_ = false;
        refusals_ = other.refusals_;
    }
    return *this;
}

TargetList::TargetList(TargetList&& other) noexcept
    : chunks_(std::move(other.chunks_))
    , count_(std::exchange(other.count_, 0))
    , ownsLastChunk_(std::exchange(other.ownsLastChunk_, true))
    , refusals_(std::move(other.refusals_))
{
    other.chunks_.clear();
    other.refusals_.clear();
}

TargetList& TargetList::operator=(TargetList&& other) noexcept
{
    if (this != &other) {
        chunks_ = std::move(other.chunks_);
        count_ = std::exchange(other.count_, 0);
        ownsLastChunk_ = std::exchange(other.ownsLastChunk_, true);
        refusals_ = std::move(other.refusals_);
        other.chunks_.clear();
        other.refusals_.clear();
    }
    return *this;
}

const std::filesystem::path::string_type& TargetList::text(std::int64_t row) const
{
    if (row < 1 || static_cast<std::uint64_t>(row) > count_)
        throw std::out_of_range("TargetList::text");
    const auto index = static_cast<std::size_t>(row - 1);
    return chunks_[index / kChunkRows]->rows[index % kChunkRows];
}

void TargetList::push(std::filesystem::path::string_type text)
{
    const std::size_t slot = count_ % kChunkRows;
    if (slot == 0) {
        chunks_.push_back(std::make_shared<Chunk>());
        ownsLastChunk_ = true;
    } else if (!ownsLastChunk_) {
        // The rows so far of the shared chunk, copied into one of this list's own.
        auto own = std::make_shared<Chunk>();
        std::copy_n(chunks_.back()->rows, slot, own->rows);
        chunks_.back() = std::move(own);
        ownsLastChunk_ = true;
    }
    chunks_.back()->rows[slot] = std::move(text);
    ++count_;
}

void TargetList::append(std::span<const std::filesystem::path> paths)
{
    for (const std::filesystem::path& path : paths)
        push(path.native());
}

void TargetList::append(const std::filesystem::path& path)
{
    push(path.native());
}

void TargetList::append(const DroppedTarget& entry)
{
    push(entry.path);
    if (!entry.refusal.empty())
        refusals_.emplace_back(rowCount() - 1, entry.refusal);
}

void TargetList::append(DroppedTarget&& entry)
{
    push(std::move(entry.path));
    if (!entry.refusal.empty())
        refusals_.emplace_back(rowCount() - 1, std::move(entry.refusal));
}

void TargetList::appendRefused(const std::filesystem::path& shown, std::string reason)
{
    push(shown.native());
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
