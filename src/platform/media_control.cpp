#include "platform/media_control.h"

#include "platform/media_command.h"

namespace cantrix {

namespace {

std::string FoldCase(const std::string& alias)
{
    std::string folded = alias;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

} // namespace

MediaControl::MediaControl() = default;
MediaControl::~MediaControl() = default;

MciResult MediaControl::SendString(std::string_view text)
{
    MediaCommand command;
    const MciResult parsed = MediaCommand::Parse(text, command);
    if (parsed != MciResult::NoError)
        return parsed;
    const std::string key = FoldCase(command.alias);

    if (command.verb == MediaCommand::Verb::Open) {
        if (devices.contains(key))
            return MciResult::DuplicateAlias;
        auto player = std::make_unique<MediaPlayer>();
        const MciResult opened = player->Open(command.path);
        if (opened != MciResult::NoError)
            return opened;
        devices.emplace(key, std::move(player));
        return MciResult::NoError;
    }

    const auto device = devices.find(key);
    if (device == devices.end())
        return MciResult::InvalidDeviceName;
    switch (command.verb) {
    case MediaCommand::Verb::SeekToStart:
        return device->second->SeekToStart();
    case MediaCommand::Verb::Play:
        return device->second->Play();
    case MediaCommand::Verb::Stop:
        device->second->Stop();
        return MciResult::NoError;
    case MediaCommand::Verb::Close:
        devices.erase(device);
        return MciResult::NoError;
    case MediaCommand::Verb::Open:
        break;
    }
    return MciResult::UnrecognizedCommand;
}

} // namespace cantrix
