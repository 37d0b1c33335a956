// The target list: the hint row followed by the dropped paths, in drop order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace rowtick {

// One entry of a drop (or of the command line): a path, and for an entry that
// names no file this program may read, the reason it is never read.
struct DroppedTarget {
    // The path's own string: a drop can hold a million entries, and a path
    // object would also hold each of its components.
    std::filesystem::path::string_type path;
    std::string refusal;  // empty: an ordinary target
};

class TargetList {
public:
    TargetList() = default;
    // A copy is a snapshot: it shares the rows appended so far, which are never
    // changed, and no append to either list moves or touches what the other
    // reads. A million rows are not copied: only one pointer per chunk of rows.
    TargetList(const TargetList& other);
    TargetList& operator=(const TargetList& other);
    TargetList(TargetList&& other) noexcept;
    TargetList& operator=(TargetList&& other) noexcept;
    ~TargetList() = default;

    // Rows including the hint row (row 0); never less than 1.
    std::int64_t rowCount() const { return static_cast<std::int64_t>(count_) + 1; }
    // Number of targets: rows minus the hint row.
    std::int64_t registeredCount() const { return static_cast<std::int64_t>(count_); }
    static bool isHintRow(std::int64_t row) { return row == 0; }

    // The path held by row `row` (1 <= row < rowCount()).
    std::filesystem::path target(std::int64_t row) const { return text(row); }
    // The same path as its own string, without building a path object.
    const std::filesystem::path::string_type& text(std::int64_t row) const;

    // Appends in the given order; duplicates and folders are kept, nothing is checked.
    void append(std::span<const std::filesystem::path> paths);
    void append(const std::filesystem::path& path);
    // Appends a dropped entry that names no file this program may read (another
    // computer's file, a relative name): it is a target like any other, shown as
    // `shown`, but never read; its row gives `reason` instead of a count.
    void appendRefused(const std::filesystem::path& shown, std::string reason);
    // Why row `row` is never read, or null for an ordinary target.
    const std::string* refusal(std::int64_t row) const;
    void append(const DroppedTarget& entry);
    // The same, taking the entry's strings rather than copying them.
    void append(DroppedTarget&& entry);

private:
    // The paths' own strings (a path object would also hold each of its
    // components, several times the memory for a million targets), in chunks
    // that never move once made: growth adds chunks, and a row once written is
    // never written again.
    static constexpr std::size_t kChunkRows = 1024;
    struct Chunk {
        std::filesystem::path::string_type rows[kChunkRows];
    };
    void push(std::filesystem::path::string_type text);

    std::vector<std::shared_ptr<Chunk>> chunks_;
    std::size_t count_ = 0;
    // The list that made its last chunk writes into it; a copy, which shares
    // it with the list it was copied from, starts a chunk of its own instead.
    bool ownsLastChunk_ = true;
    // Refused rows, in row order; few or none in practice, so kept apart.
    std::vector<std::pair<std::int64_t, std::string>> refusals_;
};

// "登録数=" followed by the decimal count, UTF-8.
std::string RegisteredCountText(std::int64_t registeredCount);

// The trailing file-name part of `path`: what follows the last separator
// ("/" on POSIX, "\" on Windows). Empty when the path is empty, ends with the
// separator, or holds no separator at all.
std::filesystem::path FileNameOf(const std::filesystem::path& path);

}  // namespace rowtick
