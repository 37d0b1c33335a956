#include "AccessibleRoles.h"

#include <QAccessibleWidget>

#include "ClickableLabel.h"
#include "ClickableLabelAccessible.h"
#include "Form1.h"
#include "PanelStatusBar.h"

namespace rowtick {

namespace {

QAccessibleInterface* AccessibleFor(const QString& /*className*/, QObject* object)
{
    if (auto* window = qobject_cast<Form1*>(object))
        return new QAccessibleWidget(window, QAccessible::Window);
    if (auto* bar = qobject_cast<PanelStatusBar*>(object))
        return new QAccessibleWidget(bar, QAccessible::StatusBar);
    if (auto* label = qobject_cast<ClickableLabel*>(object))
        return new ClickableLabelAccessible(label);
    return nullptr;
}

}  // namespace

void InstallAccessibleRoles()
{
    static const bool installed = [] {
        QAccessible::installFactory(AccessibleFor);
        return true;
    }();
    (void)installed;
}

}  // namespace rowtick
