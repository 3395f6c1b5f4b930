#include "ui/main_menu.h"

#include "ui/control_ids.h"
#include "ui/style_hint_override.h"

#include <QAction>
#include <QMenu>
#include <QShortcut>

namespace cantrix {

MainMenu::MainMenu(QWidget* parent) : QMenuBar(parent)
{
    QMenu* file = addMenu(QStringLiteral("&File"));
    // F10 opens the first menu, as on the desktops around.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this, file] { setActiveAction(file->menuAction()); });
    AddItem(file, ids::kMenuSelectInput, "&Select Input File");
    file->addSeparator();
    AddItem(file, ids::kMenuExit, "E&xit");

    QMenu* options = addMenu(QStringLiteral("&Options"));
    AddItem(options, ids::kMenuWriteRiff, "&Write RIFF/WAV-Format Files", true);
    AddItem(options, ids::kMenuBeep, "&Beep When Done", true);
    AddItem(options, ids::kMenuConversionDir, "&Set Conversion Directory");

    // "&Help" stands at the right end, where the program has always had it: the bar's style puts
    // the menus after a separator there. Being on the same bar, it is one arrow key away.
    setStyle(new StyleHintOverride(QStyle::SH_DrawMenuBarSeparator, 1, this));
    addSeparator();
    QMenu* help = addMenu(QStringLiteral("&Help"));
    AddItem(help, ids::kMenuHelpContents, "&Using Cantrix...");
    AddItem(help, ids::kMenuHelpOnHelp, "Using &Help...");
    help->addSeparator();
    // Each item of the menu has its own key: the codec's About takes "d", since "C" is the
    // program's.
    AddItem(help, ids::kMenuAbout, "About MPEG Layer-3 &Cantrix");
    AddItem(help, ids::kMenuCodecAbout, "About MPEG Layer-3 Audio Co&dec");
}

QAction* MainMenu::Item(int id) const
{
    const auto found = items.find(id);
    return found == items.end() ? nullptr : found->second;
}

QAction* MainMenu::AddItem(QMenu* menu, int id, const char* text, bool checkable)
{
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setObjectName(QString::number(id));
    action->setProperty("controlId", id);
    action->setCheckable(checkable);
    // The check mark follows the option it shows, not the click: the command sets it.
    connect(action, &QAction::triggered, this, [this, action, id] {
        if (action->isCheckable())
            action->setChecked(!action->isChecked());
        emit Command(id);
    });
    items[id] = action;
    return action;
}

} // namespace cantrix
