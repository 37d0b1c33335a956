#include "ClickableLabelAccessible.h"

#include "ClickableLabel.h"

namespace rowtick {

namespace {

QAccessible::Role RoleOf(const ClickableLabel& label)
{
    return label.text().isEmpty() && !label.pixmap().isNull() ? QAccessible::Graphic
                                                              : QAccessible::StaticText;
}

}  // namespace

ClickableLabelAccessible::ClickableLabelAccessible(ClickableLabel* label)
    : QAccessibleWidget(label, RoleOf(*label))
{
}

QStringList ClickableLabelAccessible::actionNames() const
{
    return {pressAction()};
}

void ClickableLabelAccessible::doAction(const QString& actionName)
{
    if (actionName == pressAction())
        emit static_cast<ClickableLabel*>(widget())->clicked();
}

}  // namespace rowtick
