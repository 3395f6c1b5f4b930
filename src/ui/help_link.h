#pragma once
#include <QObject>
#include <QString>
#include <vector>

class QTextDocument;

namespace cantrix {

// One link of the help page: its text, the address it leads to and the characters of the page it
// covers. The help window keeps one per link, so that the accessibility bus can list them.
class HelpLink : public QObject {
    Q_OBJECT
public:
    HelpLink(const QString& text, const QString& target, int start, int end, QObject* parent);

    const QString& Text() const { return text; }
    const QString& Target() const { return target; }
    int Start() const { return start; }
    int End() const { return end; }

private:
    QString text;
    QString target;
    int start;
    int end;
};

// The links of `page` in reading order, each once, as children of `parent`.
std::vector<HelpLink*> FindHelpLinks(const QTextDocument& page, QObject* parent);

} // namespace cantrix
