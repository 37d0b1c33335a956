// The result list: one row per counted target, only ever appended to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "targets/TargetList.h"

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
    std::int64_t rowCount() const { return static_cast<std::int64_t>(lines_.size()); }
    // Row `i` (0 <= i < rowCount()), built from what the list holds.
    ResultRow row(std::int64_t i) const;
    void append(ResultRow row);
    // Appends a batch, in its order.
    void append(std::vector<ResultRow> rows);
    // Makes room for `rows` more rows at once: a run that knows how many rows
    // it brings grows the list once instead of doubling it again and again.
    void reserve(std::int64_t rows);
    // The rows appended from now on come from a counting run over `targets`:
    // a row whose path is that of the next target in order (as every row of a
    // run is) is read from the target list's own string, which the list shares,
    // instead of being held a second time. Any other row is held as it is.
    void countingFrom(const TargetList& targets);

private:
    // Consecutive rows whose paths are consecutive rows of one target list:
    // the run's own list, or the list's own paths.
    struct Span {
        std::int64_t firstRow;     // the first result row of the span
        std::int64_t run;          // the index in `runs_`, or kOwn
        std::int64_t firstTarget;  // the target row of the span's first row
    };
    static constexpr std::int64_t kOwn = -1;
    const std::filesystem::path::string_type& pathOf(std::int64_t i) const;

    std::vector<std::uint64_t> lines_;  // per row; not read for a row that was not counted
    // The rows that were not counted and why, in row order; few or none in practice.
    std::vector<std::pair<std::int64_t, std::string>> uncounted_;
    std::vector<Span> spans_;
    TargetList own_;  // paths that are not a run's targets
    // The target lists of the runs, each sharing the program's list, never copying it.
    std::vector<TargetList> runs_;
    std::int64_t nextTarget_ = 0;  // in the last of `runs_`; 0: no run is followed
};

}  // namespace rowtick
