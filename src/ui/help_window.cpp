#include "ui/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace cantrix {

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 560;
constexpr double kMaxScreenShare = 0.9;
// The installed data folder, relative to the installed program's folder.
constexpr const char* kInstalledDataDir = "../share/cantrix";
} // namespace

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Cantrix Help"));
    browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    // No larger than most of the screen, however large the desktop scales windows.
    resize(QSize(kWidth, kHeight).boundedTo(screen()->availableGeometry().size() * kMaxScreenShare));
}

bool HelpWindow::Open(const QString& file)
{
    QFile page(file);
    if (!page.open(QIODevice::ReadOnly))
        return false;
    page.close();
    browser->clearHistory();
    browser->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    browser->moveCursor(QTextCursor::Start);
    if (!browser->documentTitle().isEmpty())
        setWindowTitle(browser->documentTitle());
    show();
    raise();
    activateWindow();
    return true;
}

QString HelpWindow::FindHelpFile()
{
    const QString name = QCoreApplication::applicationName() + QStringLiteral(".html");
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(name);
    const QString installed =
        QDir::cleanPath(programDir.filePath(QString::fromUtf8(kInstalledDataDir) + '/' + name));
    for (const QString& candidate : {beside, installed}) {
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return beside;
}

} // namespace cantrix
