#include "ui/radio_group_keys.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QKeyEvent>
#include <algorithm>

namespace cantrix {

RadioGroupKeys::RadioGroupKeys(QButtonGroup* group) : QObject(group), group(group)
{
    for (QAbstractButton* button : group->buttons())
        button->installEventFilter(this);
    connect(group, &QButtonGroup::buttonToggled, this, &RadioGroupKeys::PlaceTabStop);
    PlaceTabStop();
}

void RadioGroupKeys::PlaceTabStop()
{
    const QList<QAbstractButton*> buttons = group->buttons();
    QAbstractButton* stop = group->checkedButton();
    if (stop == nullptr || !stop->isEnabled()) {
        const auto enabled =
            std::find_if(buttons.begin(), buttons.end(), [](QAbstractButton* b) { return b->isEnabled(); });
        stop = enabled == buttons.end() ? nullptr : *enabled;
    }
    for (QAbstractButton* button : buttons)
        button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

QAbstractButton* RadioGroupKeys::Neighbour(QAbstractButton* from, int step) const
{
    const QList<QAbstractButton*> buttons = group->buttons();
    const auto count = buttons.size();
    auto index = buttons.indexOf(from);
    for (qsizetype tried = 1; tried < count; ++tried) {
        index = (index + step + count) % count;
        if (buttons[index]->isEnabled())
            return buttons[index];
    }
    return nullptr;
}

bool RadioGroupKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        PlaceTabStop();
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    int step = 0;
    if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Right)
        step = 1;
    else if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Left)
        step = -1;
    if (step == 0 || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return QObject::eventFilter(watched, event);
    if (QAbstractButton* next = Neighbour(static_cast<QAbstractButton*>(watched), step)) {
        next->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        next->click();
    }
    return true;
}

} // namespace cantrix
