#include "ui/audition_icon.h"

namespace cantrix {

namespace {

// Palette indices; the image's colour table holds exactly these four colours.
constexpr uint kClear = 0;
constexpr uint kBlack = 1;
constexpr uint kGrey = 2;
constexpr uint kWhite = 3;
constexpr int kColours = 4;

// The drawing's rows: the middle twelve of the 32.
constexpr int kTop = 10;
constexpr int kBottom = 21;
// Columns. The drawings span columns 8 to 23, centred in the icon like their rows.
constexpr int kLeftBar = 8;
constexpr int kPlaySecondBar = 10;
constexpr int kTriangleLeft = 12;
constexpr int kTriangleTip = 23;
constexpr int kSquareLeft = 10;
constexpr int kSquareRight = 21;
constexpr int kStopRightBar = 23;

QImage BlankIcon()
{
    QImage image(kAuditionIconSize, kAuditionIconSize, QImage::Format_Indexed8);
    image.setColorCount(kColours);
    image.setColor(kClear, qRgba(0, 0, 0, 0));
    image.setColor(kBlack, qRgb(0, 0, 0));
    image.setColor(kGrey, qRgb(128, 128, 128));
    image.setColor(kWhite, qRgb(255, 255, 255));
    image.fill(kClear);
    return image;
}

void VerticalLine(QImage& image, int x)
{
    for (int y = kTop; y <= kBottom; ++y)
        image.setPixel(x, y, kBlack);
}

void DrawPlay(QImage& image)
{
    VerticalLine(image, kLeftBar);
    VerticalLine(image, kPlaySecondBar);
    // The tip spans the two middle rows; each row further out ends two columns earlier, and the
    // outline is two pixels wide along those slopes so that it stays unbroken.
    constexpr int kUpperMiddle = (kTop + kBottom) / 2;
    for (int y = kTop; y <= kBottom; ++y) {
        const int fromMiddle = y <= kUpperMiddle ? kUpperMiddle - y : y - kUpperMiddle - 1;
        const int right = kTriangleTip - 2 * fromMiddle;
        const bool edgeRow = y == kTop || y == kBottom;
        for (int x = kTriangleLeft; x <= right; ++x) {
            const bool outline = edgeRow || x == kTriangleLeft || x >= right - 1;
            image.setPixel(x, y, outline ? kBlack : kGrey);
        }
    }
}

void DrawStop(QImage& image)
{
    VerticalLine(image, kLeftBar);
    VerticalLine(image, kStopRightBar);
    for (int y = kTop; y <= kBottom; ++y)
        for (int x = kSquareLeft; x <= kSquareRight; ++x) {
            const bool outline = y == kTop || y == kBottom || x == kSquareLeft || x == kSquareRight;
            image.setPixel(x, y, outline ? kBlack : kWhite);
        }
}

} // namespace

QImage AuditionIconImage(AuditionIcon icon)
{
    QImage image = BlankIcon();
    if (icon == AuditionIcon::Play)
        DrawPlay(image);
    else
        DrawStop(image);
    return image;
}

} // namespace cantrix
