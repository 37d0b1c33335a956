// Dropped data in the "text/uri-list" form: one URL per line.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "TargetList.h"

namespace rowtick {

// The entries a dropped URI list names, in its order. Lines end with CR LF, LF
// or a lone CR; empty lines and lines starting with '#' are skipped, and so
// are URLs of other schemes than "file". A file URL names a target by its
// percent-decoded bytes, so a name that is not valid UTF-8 keeps its exact
// bytes. A file URL that names no file on this computer is still an entry, but
// a refused one: another computer's file (a host other than none or
// "localhost"), a name holding a NUL, a relative path, or one with a query or
// fragment; its path keeps what was dropped. An entry longer than any path
// the system can open is refused too, and keeps only its first
// kLongestShownEntry bytes (UTF-16 units on Windows) and an ellipsis: a single
// line of a hundred megabytes is not shown whole.
std::vector<DroppedTarget> DroppedTargetsFromUriList(std::string_view list);

inline constexpr std::size_t kLongestShownEntry = 1000;

}  // namespace rowtick
