// The counting run: one result row per target, in target order.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "FileLook.h"
#include "LineCounter.h"
#include "ResultList.h"
#include "SizeTally.h"
#include "targets/TargetList.h"

namespace rowtick {

class FolderRun;

// The answer for target row `row` (1 <= row < rowCount()): a refused row's
// reason, or what CountLines says of its path (its folder opened once for the
// run `folder`, when given, with the look `looked` made at it earlier in the
// run, or else a look of its own, whose bytes are then added to `sized`, when
// given).
LineCount CountTarget(const TargetList& targets, std::int64_t row, const std::atomic<bool>* stop = nullptr,
                      std::atomic<std::uint64_t>* bytesRead = nullptr, FolderRun* folder = nullptr,
                      const FileLook* looked = nullptr, SizeTally* sized = nullptr);

// Counts every target after the hint row and appends its row to `results`.
// Never clears `results`: a second run appends a second set.
void RunCount(const TargetList& targets, ResultList& results);

}  // namespace rowtick
