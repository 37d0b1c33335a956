#include "PanelStatusBar.h"

#include <algorithm>

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QToolTip>

namespace rowtick {

namespace {
constexpr int kPanelGap = 2;
constexpr int kTextMargin = 2;
}  // namespace

PanelStatusBar::PanelStatusBar(const QList<int>& panelWidths, QWidget* parent)
    : QWidget(parent), texts_(panelWidths.size()), widths_(panelWidths)
{
    // Docked over the lists when the window is short: nothing may show through.
    setAutoFillBackground(true);
    for (qsizetype i = 0; i < panelWidths.size(); ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // Indented, not given a margin: the bar is barely taller than a line
        // of text, and a margin above and below would cut off descenders and
        // underscores.
        panel->setIndent(kTextMargin);
        panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        panel->setTextFormat(Qt::PlainText);
        // The bar itself decides which panel a click hit.
        panel->setAttribute(Qt::WA_TransparentForMouseEvents);
        panels_.append(panel);
    }
    placePanels();
}

QString PanelStatusBar::panelText(int panel) const
{
    return texts_.at(panel);
}

void PanelStatusBar::setPanelText(int panel, const QString& text)
{
    texts_[panel] = text;
    placePanels();
}

QRect PanelStatusBar::panelRect(int panel) const
{
    return panels_.at(panel)->geometry();
}

void PanelStatusBar::placePanels()
{
    int x = 0;
    for (qsizetype i = 0; i < panels_.size(); ++i) {
        QLabel* panel = panels_[i];
        const QString& text = texts_[i];
        const int frame = 2 * (kTextMargin + panel->frameWidth()) + 2;
        const int needed = panel->fontMetrics().horizontalAdvance(text) + frame;
        const bool last = i + 1 == panels_.size();
        const int width = last ? std::max(widths_[i], needed) : widths_[i];
        const QString shown = needed <= width
                                  ? text
                                  : panel->fontMetrics().elidedText(text, Qt::ElideMiddle, width - frame);
        panel->setText(shown);
        const QString whole = shown == text ? QString() : text;
        panel->setToolTip(whole);
        panel->setAccessibleDescription(whole);
        panel->setGeometry(x, 0, width, height());
        x += width + kPanelGap;
    }
}

int PanelStatusBar::panelAt(QPoint pos) const
{
    for (qsizetype i = 0; i < panels_.size(); ++i) {
        if (panels_[i]->geometry().contains(pos))
            return static_cast<int>(i);
    }
    return -1;
}

// The panels let the mouse through to the bar, so the bar shows a shortened
// panel's whole text, and its own tooltip elsewhere.
bool PanelStatusBar::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int panel = panelAt(help->pos());
        if (panel >= 0 && !panels_[panel]->toolTip().isEmpty()) {
            QToolTip::showText(help->globalPos(), panels_[panel]->toolTip(), this,
                               panels_[panel]->geometry());
            return true;
        }
    }
    return QWidget::event(event);
}

void PanelStatusBar::mousePressEvent(QMouseEvent* event)
{
    const int panel = panelAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && panel >= 0)
        emit panelClicked(panel);
    QWidget::mousePressEvent(event);
}

// The platform delivers the press of a double click first, so a double click
// passes through whatever a click does before this.
void PanelStatusBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int panel = panelAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && panel >= 0)
        emit panelDoubleClicked(panel);
    // Not the base class: it would treat the double click as one more press.
    event->accept();
}

void PanelStatusBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        placePanels();
}

void PanelStatusBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placePanels();
}

}  // namespace rowtick
