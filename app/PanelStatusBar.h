// A status bar of fixed-width text panels that reports clicks per panel.
#pragma once

#include <QList>
#include <QWidget>

class QLabel;

namespace rowtick {

class PanelStatusBar : public QWidget {
    Q_OBJECT
public:
    // Panels from left to right with their minimum widths in pixels; a panel
    // widens when its text needs more room.
    explicit PanelStatusBar(const QList<int>& panelWidths, QWidget* parent = nullptr);

    int panelCount() const { return static_cast<int>(panels_.size()); }
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);
    QRect panelRect(int panel) const;

signals:
    void panelClicked(int panel);
    void panelDoubleClicked(int panel);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int panelAt(QPoint pos) const;
    void placePanels();

    QList<QLabel*> panels_;
    QList<int> minimumWidths_;
};

}  // namespace rowtick
