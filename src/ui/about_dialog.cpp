#include "ui/about_dialog.h"

#include "ui/app_icon.h"
#include "ui/dialog_face.h"
#include "ui/dialog_units.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>

namespace cantrix {

namespace {
constexpr int kWidthUnits = 221;
constexpr int kHeightUnits = 132;
constexpr int kWarningTop = 47;
constexpr int kWarningLineStep = 8;
constexpr int kIconPixels = 32;

constexpr const char* kVersionLine = "MPEG Layer-3 Cantrix v1.1b1";
constexpr const char* kNotice = "Copyright \u00A9 Quillonics. All rights reserved.";
constexpr std::array<const char*, 6> kWarning = {
    "Warning: this computer program is protected by",   "copyright law and international treaties.",
    "Unauthorised reproduction or distribution of",     "this program, or of any part of it, may result",
    "in severe civil and criminal penalties, and will", "be prosecuted to the maximum extent possible.",
};

QLabel* AddText(QWidget* face, const DialogUnits& units, const QString& text, int x, int y, int width)
{
    auto* label = new QLabel(text, face);
    PlaceControl(label, units, 0, x, y, width, 8);
    WidenToFit(label);
    return label;
}
} // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About MPEG Layer-3 Cantrix"));
    setObjectName(QStringLiteral("100"));
    // Blocks the main window only, so the help window stays usable.
    setWindowModality(Qt::WindowModal);
    const DialogUnits units(font());
    auto* face = new DialogFace(QSize(units.X(kWidthUnits), units.Y(kHeightUnits)), false, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(face);

    auto* frame = new QGroupBox(face);
    PlaceControl(frame, units, 0, 7, 39, 207, 61);

    auto* icon = new QLabel(face);
    icon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(AppIcon().pixmap(kIconPixels, kIconPixels));
    icon->setAccessibleName(QStringLiteral("Cantrix icon"));
    PlaceControl(icon, units, 0, 7, 9, 18, 20);

    AddText(face, units, QString::fromUtf8(kVersionLine), 37, 9, 123);
    AddText(face, units, QString::fromUtf8(kNotice), 37, 20, 177);
    for (std::size_t i = 0; i < kWarning.size(); ++i)
        AddText(face, units, QString::fromUtf8(kWarning[i]), 25,
                kWarningTop + static_cast<int>(i) * kWarningLineStep, 170);

    auto* ok = new QPushButton(QStringLiteral("OK"), face);
    PlaceControl(ok, units, 1, 90, 111, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace cantrix
