#pragma once
#include "engine/engine_targets.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdint>

class QProgressBar;

namespace cantrix {

// The progress target of the main window. The worker only stores numbers in atomics, so a
// progress step never waits for the window; a timer on the user-interface thread copies them to
// the bar while a run is on, and Stop copies the final state.
//
// Thread rules: SetRange, SetStep, StepIt and SetPos may come from any thread; Start, Stop and
// Sync only from the user-interface thread. The bar must outlive this object.
class QtProgressTarget : public QObject, public ProgressTarget {
    Q_OBJECT
public:
    explicit QtProgressTarget(QProgressBar& bar, QObject* parent = nullptr);

    void SetRange(std::uint32_t maximum) override;
    void SetStep(std::uint32_t step) override;
    void StepIt() override;
    void SetPos(std::uint32_t position) override;

    void Start();
    void Stop();
    // Shows the stored range and position on the bar. Past its maximum the bar stays full.
    void Sync();

private:
    QProgressBar& bar;
    QTimer timer;
    // The stock progress control starts at 0 to 100 in steps of 10.
    std::atomic<std::uint32_t> range{100};
    std::atomic<std::uint32_t> step{10};
    std::atomic<std::uint32_t> position{0};
};

} // namespace cantrix
