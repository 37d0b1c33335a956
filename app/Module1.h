// Paths between the desktop (URLs, dialog texts, display texts) and the
// counting core, which holds every path with the file system's exact bytes.
#pragma once

#include <filesystem>
#include <optional>

#include <QString>
#include <QUrl>

#include "ResultList.h"

namespace rowtick {

// How a path appears in a list row or a status panel: the name as the user
// knows it, bytes that are not valid in the system encoding shown as
// replacement characters, and a path holding a line break written as the result
// file writes it, so that a row never spans two lines.
QString DisplayText(const std::filesystem::path& path);
// How a result row appears in the result list: its text, shown as DisplayText
// shows a path.
QString DisplayText(const ResultRow& row);

// The path a dropped file URL names, decoded from its percent-encoded bytes so
// that a name that is not valid UTF-8 keeps its exact bytes. Not a file URL: none.
std::optional<std::filesystem::path> PathFromFileUrl(const QUrl& url);

// A file URL naming exactly `path`, for handing it to the desktop.
QUrl FileUrlOf(const std::filesystem::path& path);

// The path a dialog returned as text.
std::filesystem::path PathFromText(const QString& text);

}  // namespace rowtick
