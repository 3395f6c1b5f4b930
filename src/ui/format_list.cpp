#include "ui/format_list.h"

#include "ui/style_hint_override.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <algorithm>

namespace cantrix {

FormatList::FormatList(int dropHeight, QWidget* parent) : QComboBox(parent), dropHeight(dropHeight)
{
    // Styles that open the list like a menu (Fusion among them) make it as tall as the screen
    // allows and ignore the row count; a plain list popup keeps it.
    setStyle(new StyleHintOverride(QStyle::SH_ComboBox_Popup, 0, this));
    connect(this, &QComboBox::currentTextChanged, this, &QWidget::setToolTip);
}

void FormatList::showPopup()
{
    // As many rows as the drop-down height holds below the box, at the height the popup gives them.
    QAbstractItemView* list = view();
    const int rowHeight = std::max(count() > 0 ? list->sizeHintForRow(0) : fontMetrics().height(), 1);
    setMaxVisibleItems(std::max((dropHeight - height()) / rowHeight, 1));
    // The popup grows to its view's minimum width; the box itself keeps its own.
    const int frame = 2 * list->frameWidth();
    const int scrollBar = count() > maxVisibleItems() ? list->verticalScrollBar()->sizeHint().width() : 0;
    list->setMinimumWidth(list->sizeHintForColumn(0) + frame + scrollBar);
    QComboBox::showPopup();
}

} // namespace cantrix
