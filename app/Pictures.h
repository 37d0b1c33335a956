// The window's pictures, drawn by hand as 16-colour XPM and compiled in: Qt
// reads them with its built-in XPM reader, without looking for image plugins
// at start-up.
#pragma once

#include <QPixmap>

namespace rowtick::pictures {

QPixmap Program();    // the program's icon, 32 x 32
QPixmap Sheets();     // the count button
QPixmap Floppy();     // the save button
QPixmap Door();       // the end button
QPixmap Diamond32();  // the minimise picture, and its small size
QPixmap Diamond16();
QPixmap Hand();       // the pointer over the mail address

}  // namespace rowtick::pictures
