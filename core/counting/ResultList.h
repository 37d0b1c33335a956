// The result list: one row per counted target, only ever appended to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rowtick {

struct ResultRow {
    // The target exactly as the target list holds it: the path's own string,
    // which takes a fraction of a path object's memory.
    std::filesystem::path::string_type path;
    std::optional<std::uint64_t> lines;  // empty: the target could not be counted
    std::string reason;                  // why not, in Japanese (UTF-8)

    // The count field: decimal digits, or "-" for a target that was not counted.
    std::string countText() const;
    // The row as the result list shows it, in the path's own string type and
    // without the line end: count, ",", TAB, path field (see PathField).
    std::filesystem::path::string_type text() const;
    // The same row as the result file holds it, in the system's encoding.
    std::string bytes() const;
};

// The path as a result row holds it: the path itself, or, for a path holding a
// CR or LF, which would split the row, or a NUL, which no text reader keeps,
// shell ANSI-C quoting: $'...' with \n, \r, \x00, \\ and \'.
std::filesystem::path::string_type PathField(const std::filesystem::path::string_type& path);
// PathField in the system's encoding: the path's own bytes (the system's ANSI
// code page on Windows).
std::string PathFieldBytes(const std::filesystem::path& path);

class ResultList {
public:
    std::int64_t rowCount() const { return static_cast<std::int64_t>(rows_.size()); }
    const ResultRow& row(std::int64_t i) const { return rows_.at(static_cast<std::size_t>(i)); }
    const std::vector<ResultRow>& rows() const { return rows_; }
    void append(ResultRow row) { rows_.push_back(std::move(row)); }
    // Appends a batch, in its order.
    void append(std::vector<ResultRow> rows);
    // Makes room for `rows` more rows at once: a run that knows how many rows
    // it brings grows the list once instead of doubling it again and again.
    void reserve(std::int64_t rows);

private:
    std::vector<ResultRow> rows_;
};

}  // namespace rowtick
