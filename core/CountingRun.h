// The counting run: one result row per target, in target order.
#pragma once

#include "ResultList.h"
#include "TargetList.h"

namespace rowtick {

// Counts every target after the hint row and appends its row to `results`.
// Never clears `results`: a second run appends a second set.
void RunCount(const TargetList& targets, ResultList& results);

}  // namespace rowtick
