#pragma once
#include <QMenuBar>
#include <map>

class QAction;
class QMenu;

namespace cantrix {

// Menu 129 of the main window: "&File", "&Options" and, at the right end of the bar, "&Help";
// F10 opens the first of them.
// Every item is an action named after its command id; choosing one emits Command(id).
class MainMenu : public QMenuBar {
    Q_OBJECT
public:
    explicit MainMenu(QWidget* parent = nullptr);

    QAction* Item(int id) const;

signals:
    void Command(int id);

private:
    QAction* AddItem(QMenu* menu, int id, const char* text, bool checkable = false);

    std::map<int, QAction*> items;
};

} // namespace cantrix
