#pragma once
// MainDialog: the program's one window (dialog template 102 with menu 129). It holds no audio
// logic: every command becomes a call on the engine, which it uses but does not own.
//
// Thread rules: everything here runs on the user-interface thread except PostNotify, which the
// conversion worker calls as its last act. The engine keeps pointers to this window (notify
// target) and its progress target while a run is on, so the window never goes away during a
// run: closing or destroying it cancels the run and waits, still processing events, for its end.
#include "engine/engine_targets.h"
#include "platform/codec_driver.h"
#include "ui/folder_memory.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QButtonGroup;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace cantrix {

class ConverterEngine;
class FormatList;
class HelpWindow;
class MainMenu;
class PathLabel;
class QtProgressTarget;

class MainDialog : public QDialog, public NotifyTarget, public DriverAboutHost {
    Q_OBJECT
public:
    // `conversionDir` is the program's conversion directory (empty: none); the window reads it
    // and the folder chooser replaces it. `presenter` shows the window's own messages and beeps.
    MainDialog(ConverterEngine& engine, std::string& conversionDir, MessagePresenter& presenter,
               QWidget* parent = nullptr);
    ~MainDialog() override;

    // Set before the window is shown. A pending input (a file named on the command line) is loaded
    // once the window is up, replaces the input chooser, and makes the window close after the
    // first run.
    void SetPendingInput(const std::string& path) { pendingInput = path; }
    const std::string& GetPendingInput() const { return pendingInput; }
    // The "Beep When Done" option as stored: any non-zero value is on and is kept as it is until
    // the user toggles it.
    void SetBeepWhenDone(std::int32_t value) { beepWhenDone = value; }
    std::int32_t GetBeepWhenDone() const { return beepWhenDone; }
    // Where the file choosers remember the folders they were last used in; without it they
    // remember nothing.
    void SetChooserSettings(QSettings* settings) { folders = FolderMemory(settings); }
    // The help page; HelpWindow::FindHelpFile() unless set.
    void SetHelpFile(const QString& file) { helpFile = file; }

    // Shows the window and runs the program's events until it has closed; returns its result.
    int Run();

    bool IsBusy() const { return busy; }
    int GetSelectedFormat() const { return selectedFormat; }

    // Analyses `path` and, when it is a usable input, shows it and applies the checked preset.
    void LoadInput(const std::string& path);
    // Checks preset radio `id` (1004 to 1007) and takes the catalogue index it stands for.
    void ApplyPreset(int id);
    void TakeListSelection();
    void StartEncoding();
    // The end-of-conversion message: leaves the busy state.
    void OnConversionDone();
    // Runs one command of the window: a button, a preset, a menu item.
    void Command(int id);

    void setVisible(bool visible) override;
    void done(int result) override;

    // NotifyTarget: posts OnConversionDone to the user-interface thread.
    void PostNotify(std::uint32_t message) override;
    // DriverAboutHost: the codec driver's About box, owned by this window.
    void ShowDriverAbout(const std::string& title, const std::string& text) override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls();
    void Initialize();
    void SelectInput();
    void SetOutput();
    void ToggleWriteRiff();
    void ToggleBeep();
    void ChooseConversionDirectory();
    void ShowAbout();
    void ShowHelp();
    void ShowOutputPath(const std::string& path);
    // Lets the events run until the current run has posted its end message.
    void WaitForRunEnd();
    void SetCommandsEnabled(bool enabled);

    ConverterEngine& engine;
    std::string& conversionDir;
    MessagePresenter& presenter;

    std::string pendingInput;
    bool busy = false;
    std::int32_t beepWhenDone = 1;
    // Index into the engine's catalogue; 0 until the first preset is applied.
    int selectedFormat = 0;
    bool initialized = false;
    QString helpFile;
    FolderMemory folders;

    MainMenu* menu = nullptr;
    QProgressBar* progressBar = nullptr;
    std::unique_ptr<QtProgressTarget> progress;
    QPushButton* encodeButton = nullptr;
    QLabel* inputFormat = nullptr;
    QLabel* outputFormat = nullptr;
    QButtonGroup* presets = nullptr;
    QPushButton* selectInputButton = nullptr;
    PathLabel* inputPathLabel = nullptr;
    PathLabel* outputPathLabel = nullptr;
    FormatList* formatList = nullptr;
    QPushButton* setOutputButton = nullptr;
    QPushButton* previewButton = nullptr;
    QMenu* contextMenu = nullptr;
    QPointer<HelpWindow> helpWindow;
};

} // namespace cantrix
