#pragma once
#include "engine/engine_targets.h"

#include <QObject>
#include <chrono>
#include <cstdint>

namespace cantrix {

// Shows string-table messages in the program's standard message box: the text, an OK button, a
// warning icon, the application's name as caption, the dialog in front or the main window as owner.
//
// Thread rules: create it on the user-interface thread. A call from another thread hands the box
// to the user-interface thread and waits until it has been dismissed; the user-interface thread
// must therefore keep processing events while a worker may show a message (it never joins a
// worker that has not posted its end message).
class QtMessagePresenter : public QObject, public MessagePresenter {
    Q_OBJECT
public:
    explicit QtMessagePresenter(QObject* parent = nullptr);

    void ShowMessage(std::uint32_t id) override;
    // Plays the desktop's event sound.
    void Beep(EventSound sound) override;
    // Waits until the sounds played have ended, at most `limit`: ending the program cuts them off.
    void WaitForSounds(std::chrono::milliseconds limit) { sounds.WaitForSounds(limit); }

private:
    void ShowHere(std::uint32_t id);

    EventSoundPlayer sounds;
};

} // namespace cantrix
