#include "ui/format_list.h"

#include "ui/style_hint_override.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <algorithm>

namespace cantrix {

FormatList::FormatList(int dropHeight, QWidget* parent) : QComboBox(parent)
{
    // Styles that open the list like a menu (Fusion among them) make it as tall as the screen
    // allows and ignore the row count; a plain list popup keeps it.
    setStyle(new StyleHintOverride(QStyle::SH_ComboBox_Popup, 0, this));
    const int rowHeight = std::max(fontMetrics().height(), 1);
    setMaxVisibleItems(std::max((dropHeight - sizeHint().height()) / rowHeight, 1));
    connect(this, &QComboBox::currentTextChanged, this, &QWidget::setToolTip);
}

void FormatList::showPopup()
{
    // The popup grows to its view's minimum width; the box itself keeps its own.
    QAbstractItemView* list = view();
    const int frame = 2 * list->frameWidth();
    const int scrollBar = count() > maxVisibleItems() ? list->verticalScrollBar()->sizeHint().width() : 0;
    list->setMinimumWidth(list->sizeHintForColumn(0) + frame + scrollBar);
    QComboBox::showPopup();
}

} // namespace cantrix
