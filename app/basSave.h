// The save dialog for the result file.
#pragma once

#include <QString>

class QWidget;

namespace rowtick {

class Desktop;

// Asks for the name of the file to save into, on Qt's own save dialog owned by
// `ownerWindow`: one filter entry from `filter`, opening in `initialDirectory`,
// no proposed name and no extension added to a typed name. The folder must
// exist; a file that does not exist yet is accepted, one that does is replaced
// only after the usual question. Returns the full path, or the empty text when
// the user cancels.
QString ShowSaveDialog(Desktop& desktop, QWidget* ownerWindow, const QString& filter,
                       const QString& initialDirectory);

}  // namespace rowtick
