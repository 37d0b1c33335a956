#include "CountingRun.h"

#include "FolderRun.h"
#include "LineCounter.h"

namespace rowtick {

LineCount CountTarget(const TargetList& targets, std::int64_t row, const std::atomic<bool>* stop,
                      std::atomic<std::uint64_t>* bytesRead, FolderRun* folder, const FileLook* looked,
                      SizeTally* sized)
{
    if (const std::string* reason = targets.refusal(row)) {
        if (sized)
            sized->add(0);
        return {std::nullopt, *reason};
    }
    if (folder)
        return CountLines(targets.text(row), *folder, looked, stop, bytesRead, sized);
    return CountLines(targets.target(row), stop, bytesRead);
}

void RunCount(const TargetList& targets, ResultList& results)
{
    const std::int64_t last = targets.rowCount() - 1;
    for (std::int64_t i = 1; i <= last; ++i) {
        const std::filesystem::path& path = targets.target(i);
        LineCount count = CountTarget(targets, i);
        results.append(ResultRow{path, count.lines, std::move(count.reason)});
    }
}

}  // namespace rowtick
