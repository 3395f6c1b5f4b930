#pragma once
#include <QString>

class QSettings;

namespace cantrix {

// The three file choosers, each with a folder memory of its own.
enum class Chooser { Input, ConversionDir, Output };

// The folder each file chooser was last used in, so that it opens there the next time, also in
// the next run. Kept in the options file, in a group of its own apart from the options' group.
class FolderMemory {
public:
    // Without settings nothing is kept.
    explicit FolderMemory(QSettings* settings = nullptr) : settings(settings) {}

    // Where `chooser` opens: the folder it was last used in, if that still exists; else
    // `fallback`, if that is a folder; else the working folder.
    QString StartFolder(Chooser chooser, const QString& fallback = {}) const;
    void Remember(Chooser chooser, const QString& folder) const;

private:
    QSettings* settings;
};

} // namespace cantrix
