#include "ui/accessible_widgets.h"

#include "ui/help_link.h"
#include "ui/help_window.h"
#include "ui/path_label.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QProgressBar>
#include <algorithm>

namespace cantrix {

namespace {

class PathLabelAccessible : public QAccessibleWidget {
public:
    explicit PathLabelAccessible(PathLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const PathLabel*>(widget())->Text();
        return QAccessibleWidget::text(type);
    }
};

class PercentProgressAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit PercentProgressAccessible(QProgressBar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return QStringLiteral("%1%").arg(Percent());
        return QAccessibleWidget::text(type);
    }
    QVariant currentValue() const override { return Percent(); }
    // Progress is shown, never set.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    int Percent() const
    {
        const auto* bar = static_cast<const QProgressBar*>(widget());
        const qint64 span = qint64{bar->maximum()} - bar->minimum();
        if (span <= 0)
            return 0;
        const qint64 done = qint64{bar->value()} - bar->minimum();
        return static_cast<int>(std::clamp<qint64>(done * 100 / span, 0, 100));
    }
};

class HelpWindowAccessible : public QAccessibleWidget {
public:
    explicit HelpWindowAccessible(HelpWindow* window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override
    {
        return QAccessibleWidget::childCount() + static_cast<int>(Links().size());
    }
    QAccessibleInterface* child(int index) const override
    {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets)
            return QAccessibleWidget::child(index);
        const auto link = static_cast<std::size_t>(index - widgets);
        return link < Links().size() ? QAccessible::queryAccessibleInterface(Links()[link]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto found = std::find(Links().begin(), Links().end(), child->object());
        if (found == Links().end())
            return QAccessibleWidget::indexOfChild(child);
        return QAccessibleWidget::childCount() + static_cast<int>(found - Links().begin());
    }

private:
    const std::vector<HelpLink*>& Links() const { return static_cast<const HelpWindow*>(widget())->Links(); }
};

class HelpLinkAccessible : public QAccessibleObject, public QAccessibleActionInterface {
public:
    explicit HelpLinkAccessible(HelpLink* link) : QAccessibleObject(link) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return QAccessibleObject::interface_cast(type);
    }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(Window()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name)
            return Link()->Text();
        if (type == QAccessible::Value)
            return Link()->Target();
        return {};
    }
    QAccessible::Role role() const override { return QAccessible::Link; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.linked = true;
        return state;
    }
    QRect rect() const override { return Window()->LinkRect(*Link()); }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            Window()->FollowLink(*Link());
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    HelpLink* Link() const { return static_cast<HelpLink*>(object()); }
    HelpWindow* Window() const { return static_cast<HelpWindow*>(Link()->parent()); }
};

QAccessibleInterface* DescribeWidget(const QString&, QObject* object)
{
    if (auto* label = qobject_cast<PathLabel*>(object))
        return new PathLabelAccessible(label);
    if (auto* bar = qobject_cast<QProgressBar*>(object))
        return new PercentProgressAccessible(bar);
    if (auto* help = qobject_cast<HelpWindow*>(object))
        return new HelpWindowAccessible(help);
    if (auto* link = qobject_cast<HelpLink*>(object))
        return new HelpLinkAccessible(link);
    return nullptr;
}

} // namespace

void InstallAccessibleWidgets()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(DescribeWidget);
}

} // namespace cantrix
