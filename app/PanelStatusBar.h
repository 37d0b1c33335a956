// A status bar of fixed-width text panels that reports clicks per panel.
#pragma once

#include <QList>
#include <QWidget>

class QLabel;

namespace rowtick {

class PanelStatusBar : public QWidget {
    Q_OBJECT
public:
    // Panels from left to right with their widths in pixels. A panel keeps its
    // width and shows a longer text shortened in the middle, with the whole
    // text as its tooltip and accessible description; only the last panel
    // widens to fit its text.
    explicit PanelStatusBar(const QList<int>& panelWidths, QWidget* parent = nullptr);

    int panelCount() const { return static_cast<int>(panels_.size()); }
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);
    QRect panelRect(int panel) const;

signals:
    void panelClicked(int panel);
    void panelDoubleClicked(int panel);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int panelAt(QPoint pos) const;
    void placePanels();

    QList<QLabel*> panels_;
    QList<QString> texts_;  // whole, as set
    QList<int> widths_;
};

}  // namespace rowtick
