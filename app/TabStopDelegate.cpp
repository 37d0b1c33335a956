#include "TabStopDelegate.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>

#include <algorithm>

namespace rowtick {

int AverageCharWidth(const QFont& font)
{
    // The mean over the Latin letters rather than the font's own average,
    // which a font with Japanese glyphs puts at nearly a full em.
    static const QString letters =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const int total = QFontMetrics(font).horizontalAdvance(letters);
    return (total / 26 + 1) / 2;
}

QList<qreal> TabStopPixels(const QList<int>& dialogUnits, const QFont& font)
{
    const int charWidth = AverageCharWidth(font);
    QList<qreal> stops;
    stops.reserve(dialogUnits.size());
    for (const int units : dialogUnits)
        stops.append(static_cast<qreal>(units * charWidth / 4));
    return stops;
}

QString ElidedAfterTab(const QString& text, const QFontMetricsF& metrics, const QList<qreal>& stops, qreal width,
                       Qt::TextElideMode mode)
{
    const qsizetype tab = text.indexOf(u'\t');
    if (mode == Qt::ElideNone)
        return text;
    if (tab < 0)
        return metrics.elidedText(text, mode, width);
    const qreal before = metrics.horizontalAdvance(text.left(tab));
    const auto stop = std::find_if(stops.begin(), stops.end(), [before](qreal at) { return at > before; });
    const qreal start = stop != stops.end() ? *stop : before;
    return text.left(tab + 1) + metrics.elidedText(text.mid(tab + 1), mode, std::max<qreal>(0, width - start));
}

TabStopDelegate::TabStopDelegate(QList<int> dialogUnits, QObject* parent)
    : QStyledItemDelegate(parent), dialogUnits_(std::move(dialogUnits))
{
}

QSize TabStopDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // As narrow as can be, so that a row takes the list's width and what does not fit is cut, never
    // laid out past the list's right edge.
    return {1, QStyledItemDelegate::sizeHint(option, index).height()};
}

void TabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();

    // The style draws the row's background, selection and focus frame; the text
    // is ours, because the style's text layout knows no tab stops.
    const QString text = opt.text;
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    opt.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect area = textRect.adjusted(margin, 0, -margin, 0);
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active) ? QPalette::Normal
                                                                            : QPalette::Inactive;
    const QPalette::ColorRole role =
        (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;

    QTextOption layout(Qt::AlignLeft | Qt::AlignVCenter);
    layout.setWrapMode(QTextOption::NoWrap);
    const QList<qreal> stops = TabStopPixels(dialogUnits_, opt.font);
    layout.setTabArray(stops);
    const QString shown = ElidedAfterTab(text, QFontMetricsF(opt.font), stops, area.width(), opt.textElideMode);

    painter->save();
    painter->setClipRect(area);
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, role));
    painter->drawText(QRectF(area), shown, layout);
    painter->restore();
}

}  // namespace rowtick
