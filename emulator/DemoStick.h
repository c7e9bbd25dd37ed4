// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A hand on the shifter for --demo: moves the emulated box's stick through the
// H gate, neutral -> 1 -> neutral -> 2 ... 6 -> R, then once up and down in
// sequential mode, and round again, so the monitor has something to show and
// every gear of both modes is reached in each turn.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>

#include "emulator/BoxModel.h"

namespace emulator {

struct StickPosition {
    std::uint8_t x = 0;
    std::uint8_t y = 0;
    bool sequential = false;
    // The stick's reverse push-down, held on the way into reverse and while
    // it rests there (read by a box that tells reverse by a flag).
    bool reverse = false;
};

// A gate that ends close to a line, as on a worn shifter or a loose mounting:
// the stick rests in `gear` only `counts` counts past the line it crosses into
// that gear under the factory thresholds (v2 for 1, 3 and 5, v1 for 2, 4 and
// 6, v1 / 4 for R, s2 for plus, s1 for minus). The hand's jitter of 2 counts
// either way comes on top, so at 2 counts or fewer the box drops out of that
// gear now and then.
struct ShallowGate {
    char gear = 0;  // '1' .. '6', 'R', '+', '-'; 0: every gate as deep as usual
    int counts = 0;
};

class DemoStick : public QObject {
    Q_OBJECT
public:
    explicit DemoStick(BoxModel& box, QObject* parent = nullptr);

    // Where the stick is ms milliseconds into the demo. The path, jitter
    // included, repeats every cycle_length() ms.
    static StickPosition position_at(std::int64_t ms, ShallowGate shallow = {});
    static std::int64_t cycle_length();

    // The gate the hand moves through from now on.
    void set_shallow_gate(ShallowGate shallow) { shallow_ = shallow; }
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
    ShallowGate shallow_;
    int reports_ = 0;
};

}  // namespace emulator
