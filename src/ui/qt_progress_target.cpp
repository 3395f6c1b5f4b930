#include "ui/qt_progress_target.h"

#include <QProgressBar>
#include <algorithm>
#include <climits>

namespace cantrix {

namespace {
// Often enough for a smooth bar, rarely enough to cost nothing.
constexpr int kRefreshMilliseconds = 50;
} // namespace

QtProgressTarget::QtProgressTarget(QProgressBar& bar, QObject* parent) : QObject(parent), bar(bar)
{
    timer.setInterval(kRefreshMilliseconds);
    connect(&timer, &QTimer::timeout, this, &QtProgressTarget::Sync);
}

void QtProgressTarget::SetRange(std::uint32_t maximum)
{
    range = maximum;
}

void QtProgressTarget::SetStep(std::uint32_t value)
{
    step = value;
}

void QtProgressTarget::StepIt()
{
    position.fetch_add(step.load());
}

void QtProgressTarget::SetPos(std::uint32_t value)
{
    position = value;
}

void QtProgressTarget::Start()
{
    timer.start();
}

void QtProgressTarget::Stop()
{
    timer.stop();
    Sync();
}

void QtProgressTarget::Sync()
{
    const std::uint32_t maximum = range.load();
    const std::uint32_t shown = std::min(position.load(), maximum);
    // The bar counts in int: a range beyond INT_MAX is scaled down by a power of two.
    int shift = 0;
    while ((maximum >> shift) > static_cast<std::uint32_t>(INT_MAX))
        ++shift;
    // A range of 0 shows an empty bar; the bar itself would show a busy animation.
    bar.setRange(0, std::max(static_cast<int>(maximum >> shift), 1));
    bar.setValue(static_cast<int>(shown >> shift));
}

} // namespace cantrix
