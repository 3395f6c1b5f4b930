#pragma once
#include "platform/mci_result.h"
#include "ui/custom_file_dialog.h"
#include "ui/folder_memory.h"

#include <QString>
#include <functional>
#include <memory>
#include <string_view>

class QLabel;
class QWidget;

namespace cantrix {

class DialogUnits;
class FormatReadout;
class MediaControl;

// Takes one media control string and answers with its result, as MediaControl::SendString does.
using MediaCommandSink = std::function<MciResult(std::string_view command)>;

// The input chooser: an open-file dialog for WAV files with a panel below the standard controls.
// The panel's readout says whether the file named in the dialog is plain PCM audio the converter
// accepts, and at which rate and channel mode; it follows every change of selection, folder, file
// type and typed name. Its PLAY and STOP buttons audition the named file, which may be any sound
// file, through media control under the alias "tonelPrev". Failures of the audition are silent.
// Closing the chooser in any way, or destroying it, stops and closes the audition.
class InputFileChooser : public CCustomFileDlg {
    Q_OBJECT

public:
    // The audition plays through a media control of the chooser's own.
    explicit InputFileChooser(QWidget* parent);
    // The audition's strings go to `media` instead, which must take them until the chooser is
    // destroyed.
    InputFileChooser(QWidget* parent, MediaCommandSink media);
    ~InputFileChooser() override;

    // The readout line of the panel.
    QString ReadoutText() const;
    FormatReadout& Readout() const { return *readout; }
    // The panel's right end, holding PLAY and STOP side by side.
    QWidget* AuditionArea() const { return auditionArea; }

protected:
    // Every way of closing the dialog (Open, Cancel, Escape, the close box) ends here.
    void done(int result) override;

private:
    // Collects the dialog's signals of one event into one readout update, run once the dialog
    // has finished updating its own controls.
    void ScheduleReadout();
    void UpdateFormatReadout();
    // Plays the named file from its start, after ending any earlier audition. With no file named
    // nothing happens, and an earlier audition plays on.
    void StartAudition();
    void StopAudition();
    // The file that Open would return now, or an empty string when the name field is empty.
    QString NamedPath() const;
    QWidget* BuildPanel();
    // PLAY and STOP side by side, their clicks connected.
    QWidget* BuildAuditionArea(const DialogUnits& units);

    // Declared before `media`, which may point into it.
    std::unique_ptr<MediaControl> ownMedia;
    MediaCommandSink media;
    FormatReadout* readout = nullptr;
    QLabel* readoutLabel = nullptr;
    QWidget* auditionArea = nullptr;
    bool readoutScheduled = false;
};

// Runs the input chooser: an open-file dialog for WAV files whose panel shows the format of the
// file named in it and can play it. It opens in the folder it was last used in (as `folders`
// remembers it) and remembers the chosen file's folder. Returns the chosen path, or an empty
// string when the user cancelled.
QString RunInputChooser(QWidget* parent, const FolderMemory& folders);

} // namespace cantrix
