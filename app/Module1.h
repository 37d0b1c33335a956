// Paths between the desktop (URLs, dialog texts, display texts) and the
// counting core, which holds every path with the file system's exact bytes.
#pragma once

#include <filesystem>
#include <optional>

#include <vector>

#include <QString>
#include <QUrl>

#include "counting/ResultList.h"
#include "targets/TargetList.h"

class QMimeData;

namespace rowtick {

// How a path appears in a list row or a status panel: the name as the user
// knows it, bytes that are not valid in the system encoding shown as
// replacement characters, and a path holding a line break written as the result
// file writes it, so that a row never spans two lines.
QString DisplayText(const std::filesystem::path& path);
// How a result row appears in the result list: its text, shown as DisplayText
// shows a path.
QString DisplayText(const ResultRow& row);

// The entries a drop names, from the raw bytes of its URI list; the URLs Qt
// made of the drop only where it offers no such list.
std::vector<DroppedTarget> DroppedTargetsOf(const QMimeData& data);

// A file URL naming exactly `path`, for handing it to the desktop.
QUrl FileUrlOf(const std::filesystem::path& path);

// The folder `folder` as a dialog can show it: the folder itself, or where its
// name cannot be written as text without loss, its nearest parent that can.
QString ShowableFolder(const std::filesystem::path& folder);

// The path a dialog returned as text.
std::filesystem::path PathFromText(const QString& text);

}  // namespace rowtick
