#pragma once
// Results of media control command strings, numbered as the multimedia system numbers its MCI
// errors.
#include <cstdint>

namespace cantrix {

enum class MciResult : std::uint32_t {
    NoError = 0,
    UnrecognizedKeyword = 259, // a word the command does not take
    UnrecognizedCommand = 261, // the first word is no command
    Hardware = 262,            // no sound device could be opened
    InvalidDeviceName = 263,   // no device is open under that alias
    MissingParameter = 273,    // a command ended before all its words
    FileNotFound = 275,
    DuplicateAlias = 289,
    NoClosingQuote = 294,
    InvalidFile = 296, // not a file that can be played
};

} // namespace cantrix
