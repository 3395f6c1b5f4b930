#pragma once
#include <QString>
#include <QWidget>

class QTextBrowser;

namespace cantrix {

// The program's help window: the help page in a browser of its own, always opened at its top.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows `file` from its top and brings the window forward; false, with nothing shown, when
    // the file cannot be read.
    bool Open(const QString& file);

    // The help page: the program's base name with ".html", beside the program (a build tree) or
    // in the installed data folder. When neither exists, the first place, so opening it fails.
    static QString FindHelpFile();

private:
    QTextBrowser* browser;
};

} // namespace cantrix
