#pragma once
#include "ui/custom_file_dialog.h"

#include <QString>

class QLabel;
class QWidget;

namespace cantrix {

class FormatReadout;

// The input chooser: an open-file dialog for WAV files with a panel below the standard controls
// whose readout says whether the file named in the dialog is plain PCM audio the converter
// accepts, and at which rate and channel mode. The readout follows every change of selection,
// folder, file type and typed name.
class InputFileChooser : public CCustomFileDlg {
    Q_OBJECT

public:
    explicit InputFileChooser(QWidget* parent);

    // The readout line of the panel.
    QString ReadoutText() const;
    FormatReadout& Readout() const { return *readout; }
    // Room at the right of the panel for the audition buttons, PLAY and STOP, side by side.
    QWidget* AuditionArea() const { return auditionArea; }

private:
    // Collects the dialog's signals of one event into one readout update, run once the dialog
    // has finished updating its own controls.
    void ScheduleReadout();
    void UpdateFormatReadout();
    void ApplyAllFilesPattern();
    QWidget* BuildPanel();

    FormatReadout* readout = nullptr;
    QLabel* readoutLabel = nullptr;
    QWidget* auditionArea = nullptr;
    bool readoutScheduled = false;
};

// Runs the input chooser: an open-file dialog for WAV files whose panel shows the format of the
// file named in it. Returns the chosen path, or an empty string when the user cancelled.
QString RunInputChooser(QWidget* parent);

} // namespace cantrix
