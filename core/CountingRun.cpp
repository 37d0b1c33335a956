#include "CountingRun.h"

#include "LineCounter.h"

namespace rowtick {

void RunCount(const TargetList& targets, ResultList& results)
{
    const std::int64_t last = targets.rowCount() - 1;
    for (std::int64_t i = 1; i <= last; ++i) {
        const std::filesystem::path& path = targets.target(i);
        LineCount count = CountLines(path);
        results.append(ResultRow{path, count.lines, std::move(count.reason)});
    }
}

}  // namespace rowtick
