#pragma once
// The icons on the input chooser's audition buttons, drawn pixel by pixel as small button icons
// are: a 32 x 32 image of at most 16 colours (it uses black, grey and white) on a transparent
// background. The drawing fills only the middle twelve rows, so that it fits a button of the
// panel's height while the icon keeps the standard icon size.
#include <QImage>

namespace cantrix {

// Numbered as the program's icon resources.
enum class AuditionIcon {
    // Two thin black vertical lines, then a grey, black-outlined triangle pointing right.
    Play = 132,
    // A white, black-outlined square between two thin black vertical lines.
    Stop = 133,
};

// The standard icon size, the size of every audition icon.
constexpr int kAuditionIconSize = 32;

QImage AuditionIconImage(AuditionIcon icon);

} // namespace cantrix
