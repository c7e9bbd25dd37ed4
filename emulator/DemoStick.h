#pragma once
// A hand on the shifter for --demo: moves the emulated box's stick through the
// H gate, neutral -> 1 -> neutral -> 2 ... 6 -> R, then once up and down in
// sequential mode, and round again, so the monitor has something to show.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>

#include "BoxModel.h"

namespace emulator {

struct StickPosition {
    std::uint8_t x = 0;
    std::uint8_t y = 0;
    bool sequential = false;
};

class DemoStick : public QObject {
    Q_OBJECT
public:
    explicit DemoStick(BoxModel& box, QObject* parent = nullptr);

    // Where the stick is ms milliseconds into the demo. The path, jitter
    // included, repeats every cycle_length() ms.
    static StickPosition position_at(std::int64_t ms);
    static std::int64_t cycle_length();

    // A report every kReportMs of the path, queued kWakeMs at a time.
    static constexpr int kReportMs = 10;
    static constexpr int kWakeMs = 50;

    // Starts (or restarts) the path from its beginning.
    void start();
    void stop();
    bool running() const { return timer_.isActive(); }
    // How often the hand has moved (or would have, with the box away).
    int ticks() const { return ticks_; }
    // The reports queued in the box.
    int reports() const { return reports_; }

private:
    void tick();

    BoxModel& box_;
    QTimer timer_;
    QElapsedTimer elapsed_;
    std::int64_t sent_ms_ = 0;  // how far along the path the reports queued reach
    int ticks_ = 0;
    int reports_ = 0;
};

}  // namespace emulator
