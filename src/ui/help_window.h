#pragma once
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

class QTextBrowser;

namespace cantrix {

class HelpLink;

// The program's help window: the help page in a browser of its own, always opened at its top.
// Screen readers find the page's text in the browser and its links beside it, each of which can
// be followed.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows `file` from its top and brings the window forward; false, with nothing shown, when
    // the file cannot be read.
    bool Open(const QString& file);

    // The page's links in reading order.
    const std::vector<HelpLink*>& Links() const { return links; }
    // Goes where `link` leads: a place in the program's help, or the desktop's browser for a page
    // elsewhere.
    void FollowLink(const HelpLink& link);
    // Where `link` stands on the screen.
    QRect LinkRect(const HelpLink& link) const;

    // The help page: the program's base name with ".html", beside the program (a build tree) or
    // in the installed data folder. When neither exists, the first place, so opening it fails.
    static QString FindHelpFile();

private:
    void TakeLinks();

    QTextBrowser* browser;
    std::vector<HelpLink*> links;
};

} // namespace cantrix
