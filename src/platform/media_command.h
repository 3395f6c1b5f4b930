#pragma once
// One media control command string, read strictly. The forms:
//   open "PATH" alias NAME
//   seek to start NAME
//   play NAME
//   stop NAME
//   close NAME
// Words are separated by blanks (spaces or tabs) and compared without regard to ASCII case. The
// path runs from the first double quote after "open" to the last `" alias ` in the string, so it
// may hold any character but NUL, double quotes and the word alias included. NAME is one word
// without quotes.
#include "platform/mci_result.h"

#include <string>
#include <string_view>

namespace cantrix {

struct MediaCommand {
    enum class Verb { Open, SeekToStart, Play, Stop, Close };

    Verb verb = Verb::Open;
    std::string path; // Open only: the file system's own bytes
    std::string alias;

    // Fills `command` from `text`; any string that is not one of the forms gives an error.
    static MciResult Parse(std::string_view text, MediaCommand& command);
};

} // namespace cantrix
