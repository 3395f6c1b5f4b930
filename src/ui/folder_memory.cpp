#include "ui/folder_memory.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace cantrix {

namespace {
constexpr const char* kGroup = "Last Folders";

const char* Key(Chooser chooser)
{
    switch (chooser) {
    case Chooser::Input:
        return "Input File";
    case Chooser::ConversionDir:
        return "Conversion Dir";
    case Chooser::Output:
        return "Output File";
    }
    return "";
}
} // namespace

QString FolderMemory::StartFolder(Chooser chooser, const QString& fallback) const
{
    // Never the folder Qt's dialogs showed last: that one is shared by every chooser.
    const QString last = settings != nullptr
                             ? settings->value(QStringLiteral("%1/%2").arg(kGroup, Key(chooser))).toString()
                             : QString();
    for (const QString& folder : {last, fallback}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::currentPath();
}

void FolderMemory::Remember(Chooser chooser, const QString& folder) const
{
    if (settings == nullptr || folder.isEmpty())
        return;
    settings->setValue(QStringLiteral("%1/%2").arg(kGroup, Key(chooser)), folder);
    settings->sync();
}

} // namespace cantrix
