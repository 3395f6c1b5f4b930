#include "ui/custom_file_dialog.h"

#include "ui/dialog_units.h"

#include <QDateTime>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>
#include <utility>

namespace cantrix {

namespace {
constexpr QLatin1String kAllFilesFilter("All Files (*.*)");
// The dialog's labels and the drop-down lists beside them, which screen readers name by their
// current entry and label by the text tied to them.
constexpr std::pair<const char*, const char*> kListLabels[] = {{"lookInLabel", "lookInCombo"},
                                                               {"fileTypeLabel", "fileTypeCombo"}};

// The detail view's columns, as the file system model numbers them.
constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 1;
constexpr int kTypeColumn = 2;
constexpr int kDateColumn = 3;
// Room for a name of about 50 characters, and for 16 rows of the file list.
constexpr int kNameColumnUnits = 200;
constexpr int kShortestNameUnits = 80;
constexpr int kListRows = 16;
// No more of the screen than this share, so the dialog keeps clear of panels and docks.
constexpr double kMaxScreenShare = 0.9;

// The widest texts of the size and date columns: a size just below each power of 1024, written
// as the model writes sizes, and late dates and times of both halves of the day.
QStringList WidestSizes()
{
    QStringList sizes;
    for (qint64 unit = 1024; unit <= (qint64{1} << 50); unit *= 1024)
        sizes.append(QLocale::system().formattedDataSize(unit - 1));
    return sizes;
}

QStringList WidestDates()
{
    QStringList dates;
    for (const QTime& time : {QTime(11, 58, 58), QTime(23, 58, 58)})
        dates.append(QLocale::system().toString(QDateTime(QDate(2000, 12, 28), time), QLocale::ShortFormat));
    return dates;
}
} // namespace

CCustomFileDlg::CCustomFileDlg(QWidget* parent) : QFileDialog(parent)
{
    // Must come before any other setting, or a native dialog may already have been chosen.
    setOption(QFileDialog::DontUseNativeDialog);
    setViewMode(QFileDialog::Detail);
    for (const auto& [label, list] : kListLabels)
        if (auto* text = findChild<QLabel*>(QLatin1String(label)))
            text->setBuddy(findChild<QWidget*>(QLatin1String(list)));
    connect(this, &QFileDialog::filterSelected, this, &CCustomFileDlg::ApplyAllFilesPattern);
    if (auto* model = findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model")))
        connect(model, &QFileSystemModel::directoryLoaded, this, &CCustomFileDlg::WidenColumns);
}

void CCustomFileDlg::SetFileTypes(const QString& typeFilter)
{
    setNameFilters({typeFilter, QString(kAllFilesFilter)});
}

int CCustomFileDlg::exec()
{
    // Blocks its owner only, so the help window stays usable.
    setWindowModality(Qt::WindowModal);
    return QFileDialog::exec();
}

void CCustomFileDlg::setVisible(bool visible)
{
    // Before the first showing, which centres the dialog at the size it has then.
    const bool first = visible && !fitted;
    if (first) {
        fitted = true;
        FitToContents();
    }
    QFileDialog::setVisible(visible);
    // Once laid out, the view's real width is known.
    if (first)
        QMetaObject::invokeMethod(this, &CCustomFileDlg::WidenColumns, Qt::QueuedConnection);
}

void CCustomFileDlg::AddPanel(QWidget* panel)
{
    // Qt's dialog lays out its standard controls in one grid; a new last row spanning every
    // column sits below all of them.
    auto* grid = qobject_cast<QGridLayout*>(layout());
    if (grid == nullptr) {
        // Only a native dialog has no layout, and the constructor rules that out; the panel
        // still belongs to the dialog.
        panel->setParent(this);
        return;
    }
    grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
}

void CCustomFileDlg::ApplyAllFilesPattern()
{
    // "*.*" means every file where this filter comes from, but only names with a dot to Qt.
    if (selectedNameFilter() != kAllFilesFilter)
        return;
    if (auto* model = findChild<QFileSystemModel*>(QStringLiteral("qt_filesystem_model")))
        model->setNameFilters({QStringLiteral("*")});
}

void CCustomFileDlg::FitToContents()
{
    auto* view = findChild<QTreeView*>(QStringLiteral("treeView"));
    if (view == nullptr)
        return;
    QHeaderView* header = view->header();
    // A cell needs its text and the margins the style puts around it.
    const int cellMargins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    const auto widest = [&](const QStringList& texts) {
        int width = 0;
        for (const QString& text : texts)
            width = std::max(width, view->fontMetrics().horizontalAdvance(text) + cellMargins);
        return width;
    };
    header->resizeSection(kNameColumn, DialogUnits(view->font()).X(kNameColumnUnits));
    header->resizeSection(kSizeColumn, std::max(header->sectionSizeHint(kSizeColumn), widest(WidestSizes())));
    header->resizeSection(kTypeColumn, header->sectionSizeHint(kTypeColumn));
    header->resizeSection(kDateColumn, std::max(header->sectionSizeHint(kDateColumn), widest(WidestDates())));

    // The view as wide as its columns and a scroll bar, as tall as its rows; the rest of the
    // dialog as Qt lays it out.
    const QSize viewHint = view->sizeHint();
    const int columns = header->sectionSize(kNameColumn) + header->sectionSize(kSizeColumn) +
                        header->sectionSize(kTypeColumn) + header->sectionSize(kDateColumn);
    const int viewWidth = columns + view->verticalScrollBar()->sizeHint().width() + 2 * view->frameWidth();
    const int iconHeight = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view);
    const int rowHeight = std::max(view->fontMetrics().height(), iconHeight) + cellMargins;
    const int viewHeight = header->sizeHint().height() + kListRows * rowHeight + 2 * view->frameWidth();
    const QSize rest = sizeHint() - viewHint;
    QSize wanted(rest.width() + std::max(viewWidth, viewHint.width()),
                 rest.height() + std::max(viewHeight, viewHint.height()));
    resize(wanted.boundedTo(Room()).expandedTo(minimumSizeHint()));
}

QSize CCustomFileDlg::Room() const
{
    const QScreen* shown = parentWidget() != nullptr ? parentWidget()->screen() : screen();
    return shown->availableGeometry().size() * kMaxScreenShare;
}

void CCustomFileDlg::WidenColumns()
{
    auto* view = findChild<QTreeView*>(QStringLiteral("treeView"));
    if (view == nullptr)
        return;
    // What the rows shown need; only wider, so a column the user has widened stays so.
    QHeaderView* header = view->header();
    const QAbstractItemView* rows = view;
    for (const int column : {kSizeColumn, kTypeColumn, kDateColumn})
        header->resizeSection(column, std::max(header->sectionSize(column), rows->sizeHintForColumn(column)));
    // The dialog grows, as far as the screen allows, until every column is in sight; on a screen
    // too small for that, the name column gives up room, down to a short name.
    if (!isVisible())
        return;
    const int missing = header->length() - view->viewport()->width();
    if (missing <= 0)
        return;
    const int growth = std::max(std::min(missing, Room().width() - width()), 0);
    if (growth > 0)
        setGeometry(x() - growth / 2, y(), width() + growth, height());
    const int shortest = DialogUnits(view->font()).X(kShortestNameUnits);
    header->resizeSection(kNameColumn,
                          std::max(header->sectionSize(kNameColumn) - (missing - growth), shortest));
}

} // namespace cantrix
