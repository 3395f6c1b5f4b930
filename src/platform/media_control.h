#pragma once
// Media control: plays sound files in answer to command strings (see media_command.h for the
// forms), each device under an alias of the caller's choice. Every failure is a returned result;
// nothing is shown and nothing plays.
//
// Thread rules: one thread (the user-interface thread) sends the strings. Playback runs in the
// background and never outlives the device's close or the object.
#include "platform/mci_result.h"
#include "platform/media_player.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace cantrix {

class MediaControl {
public:
    MediaControl();
    // Stops and closes every device still open.
    ~MediaControl();
    MediaControl(const MediaControl&) = delete;
    MediaControl& operator=(const MediaControl&) = delete;

    // open: InvalidFile or FileNotFound when the file cannot be played, DuplicateAlias when the
    // alias is taken. play: Hardware when no sound device can be opened. Every command on an
    // alias that is not open: InvalidDeviceName.
    MciResult SendString(std::string_view command);

private:
    // Aliases compare without regard to ASCII case, so they are kept folded to lower case.
    std::map<std::string, std::unique_ptr<MediaPlayer>> devices;
};

} // namespace cantrix
