#include "ui/qt_message_presenter.h"

#include "platform/string_table.h"
#include "ui/desktop_sound_preferences.h"
#include "ui/main_dialog.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QThread>
#include <future>
#include <memory>

namespace cantrix {

QtMessagePresenter::QtMessagePresenter(QObject* parent)
    : QObject(parent), sounds(QCoreApplication::applicationName().toStdString())
{
}

void QtMessagePresenter::ShowMessage(std::uint32_t id)
{
    if (QThread::currentThread() == thread()) {
        ShowHere(id);
        return;
    }
    // The promise lives in the posted call: if the call is dropped unrun (the presenter is gone),
    // the promise breaks and the worker goes on instead of waiting forever.
    auto dismissed = std::make_shared<std::promise<void>>();
    std::future<void> done = dismissed->get_future();
    QMetaObject::invokeMethod(
        this,
        [this, id, dismissed] {
            ShowHere(id);
            dismissed->set_value();
        },
        Qt::QueuedConnection);
    done.wait();
}

void QtMessagePresenter::Beep(EventSound sound)
{
    // The X bell only where no sound server took the sound; none when the user has turned event
    // sounds off.
    if (sounds.Play(sound, DesktopSoundPreferences()) == SoundOutcome::Failed)
        QApplication::beep();
}

namespace {
// The window a message belongs to: the dialog open in front, else the main window while it exists.
QWidget* MessageOwner()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<MainDialog*>(window) != nullptr && window->isVisible())
            return window;
    }
    return nullptr;
}
} // namespace

void QtMessagePresenter::ShowHere(std::uint32_t id)
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationName(),
                    QString::fromUtf8(LoadString(id).c_str()), QMessageBox::Ok, MessageOwner());
    // Blocks its owners only, so the help window stays usable.
    box.setWindowModality(Qt::WindowModal);
    // A message raised while the window shows the wait cursor gets the normal one.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QApplication::restoreOverrideCursor();
}

} // namespace cantrix
