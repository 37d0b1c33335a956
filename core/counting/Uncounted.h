// The answer for a file that has no count: no lines, and the reason.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "LineCounter.h"

namespace rowtick::reading {

inline LineCount Uncounted(std::string reason)
{
    return {std::nullopt, std::move(reason)};
}
inline LineCount Uncounted(std::string_view reason)
{
    return Uncounted(std::string(reason));
}

}  // namespace rowtick::reading
