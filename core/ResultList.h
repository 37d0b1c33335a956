// The result list: one row per counted target, only ever appended to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rowtick {

struct ResultRow {
    std::filesystem::path path;          // the target exactly as the target list holds it
    std::optional<std::uint64_t> lines;  // empty: the target could not be counted
    std::string reason;                  // why not, in Japanese (UTF-8)

    // The count field: decimal digits, or "-" for a target that was not counted.
    std::string countText() const;
    // The row as the result file holds it, in the system's encoding and without
    // the line end: count, ",", TAB, path (see PathFieldBytes).
    std::string bytes() const;
};

// The path as a result row writes it: the path's own bytes (the system's ANSI
// code page on Windows). A path holding a CR or LF, which would split the row,
// or a NUL, which no text reader keeps, is written in shell ANSI-C quoting
// instead: $'...' with \n, \r, \x00, \\ and \'.
std::string PathFieldBytes(const std::filesystem::path& path);

class ResultList {
public:
    std::int64_t rowCount() const { return static_cast<std::int64_t>(rows_.size()); }
    const ResultRow& row(std::int64_t i) const { return rows_.at(static_cast<std::size_t>(i)); }
    const std::vector<ResultRow>& rows() const { return rows_; }
    void append(ResultRow row) { rows_.push_back(std::move(row)); }

private:
    std::vector<ResultRow> rows_;
};

}  // namespace rowtick
