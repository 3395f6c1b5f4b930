#include "ui/help_window.h"

#include "ui/accessible_widgets.h"
#include "ui/help_link.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDesktopServices>
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
    InstallAccessibleWidgets();
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
    browser->setAccessibleName(windowTitle());
    TakeLinks();
    show();
    raise();
    activateWindow();
    return true;
}

void HelpWindow::TakeLinks()
{
    for (HelpLink* link : links)
        delete link;
    links = FindHelpLinks(*browser->document(), this);
    QAccessibleEvent changed(this, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&changed);
}

void HelpWindow::FollowLink(const HelpLink& link)
{
    // As a click on the link would: the help's own pages in this window, others outside.
    const QUrl target = browser->source().resolved(QUrl(link.Target()));
    if (target.isLocalFile())
        browser->setSource(target);
    else
        QDesktopServices::openUrl(target);
}

QRect HelpWindow::LinkRect(const HelpLink& link) const
{
    QTextCursor cursor(browser->document());
    cursor.setPosition(link.Start());
    QRect area = browser->cursorRect(cursor);
    cursor.setPosition(link.End());
    area = area.united(browser->cursorRect(cursor));
    return area.translated(browser->viewport()->mapToGlobal(QPoint(0, 0)));
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
