// Draws list rows with their tabs expanded to fixed stops given in dialog
// units, so that the columns after a tab line up from row to row, and a row
// too long for the list cut as the list's elide mode says.
#pragma once

#include <QFontMetricsF>
#include <QList>
#include <QStyledItemDelegate>

namespace rowtick {

// The font's average character width as dialog layouts measure it (the mean
// advance of the Latin letters, rounded); a horizontal dialog unit is a quarter of it.
int AverageCharWidth(const QFont& font);

// Positions in pixels, from the start of the text, of stops given in dialog units.
QList<qreal> TabStopPixels(const QList<int>& dialogUnits, const QFont& font);

// `text` as it fits in `width` when laid out at `stops`: what follows the first
// tab cut as `mode` says (in the middle, for a path), what comes before it
// whole; without a tab, all of it cut so.
QString ElidedAfterTab(const QString& text, const QFontMetricsF& metrics, const QList<qreal>& stops, qreal width,
                       Qt::TextElideMode mode);

class TabStopDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TabStopDelegate(QList<int> dialogUnits, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // A row as wide as the list: one too long for it is cut, by the list's elide mode.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QList<int> dialogUnits_;
};

}  // namespace rowtick
