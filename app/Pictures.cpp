#include "Pictures.h"

namespace rowtick::pictures {

namespace xpm {
#include "images/diamond16.xpm"
#include "images/diamond32.xpm"
#include "images/door.xpm"
#include "images/floppy.xpm"
#include "images/hand.xpm"
#include "images/rowtick.xpm"
#include "images/sheets.xpm"
}  // namespace xpm

QPixmap Program() { return QPixmap(xpm::rowtick); }
QPixmap Sheets() { return QPixmap(xpm::sheets); }
QPixmap Floppy() { return QPixmap(xpm::floppy); }
QPixmap Door() { return QPixmap(xpm::door); }
QPixmap Diamond32() { return QPixmap(xpm::diamond32); }
QPixmap Diamond16() { return QPixmap(xpm::diamond16); }
QPixmap Hand() { return QPixmap(xpm::hand); }

}  // namespace rowtick::pictures
