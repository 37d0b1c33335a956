// What assistive technology sees of a clickable label or picture: its click as
// the press action, although the label never takes the keyboard focus.
#pragma once

#include <QAccessibleWidget>

namespace rowtick {

class ClickableLabel;

class ClickableLabelAccessible : public QAccessibleWidget {
public:
    explicit ClickableLabelAccessible(ClickableLabel* label);

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
};

}  // namespace rowtick
