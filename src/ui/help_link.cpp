#include "ui/help_link.h"

#include <QTextBlock>
#include <QTextDocument>

namespace cantrix {

HelpLink::HelpLink(const QString& text, const QString& target, int start, int end, QObject* parent)
    : QObject(parent), text(text), target(target), start(start), end(end)
{
}

std::vector<HelpLink*> FindHelpLinks(const QTextDocument& page, QObject* parent)
{
    // A link is a run of fragments with the same target; a word set in bold inside it starts a
    // fragment of its own.
    struct Run {
        QString text;
        QString target;
        int start = 0;
        int end = 0;
    };
    std::vector<Run> runs;
    for (QTextBlock block = page.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QString target = fragment.charFormat().anchorHref();
            if (!fragment.charFormat().isAnchor() || target.isEmpty())
                continue;
            if (!runs.empty() && runs.back().target == target && runs.back().end == fragment.position()) {
                runs.back().text += fragment.text();
                runs.back().end += fragment.length();
                continue;
            }
            runs.push_back(
                {fragment.text(), target, fragment.position(), fragment.position() + fragment.length()});
        }
    }
    std::vector<HelpLink*> links;
    for (const Run& run : runs)
        links.push_back(new HelpLink(run.text, run.target, run.start, run.end, parent));
    return links;
}

} // namespace cantrix
