// User-visible texts of the counting core, UTF-8.
#pragma once

#include <string_view>

namespace rowtick {

// Row 0 of the target list: a hint, never a target.
inline constexpr std::string_view kHintRow = "ここにファイルを投げて下さい！";
// Prefix of the registered-count text in the status bar.
inline constexpr std::string_view kRegisteredCountPrefix = "登録数=";
// Stands in for the count of a target that could not be counted.
inline constexpr std::string_view kUncountedMark = "-";

}  // namespace rowtick
