// Draws list rows with their tabs expanded to fixed stops given in dialog
// units, so that the columns after a tab line up from row to row.
#pragma once

#include <QList>
#include <QStyledItemDelegate>

namespace rowtick {

// The font's average character width as dialog layouts measure it (the mean
// advance of the Latin letters, rounded); a horizontal dialog unit is a quarter of it.
int AverageCharWidth(const QFont& font);

// Positions in pixels, from the start of the text, of stops given in dialog units.
QList<qreal> TabStopPixels(const QList<int>& dialogUnits, const QFont& font);

class TabStopDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TabStopDelegate(QList<int> dialogUnits, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    QList<int> dialogUnits_;
};

}  // namespace rowtick
