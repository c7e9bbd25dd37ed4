// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/DemoStick.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace emulator {

namespace {

// The stick rests at a waypoint for hold_ms after travelling there from the
// previous one for travel_ms; `gear` names the gear it rests in, if any.
struct Waypoint {
    int x;
    int y;
    bool sequential;
    int travel_ms;
    int hold_ms;
    char gear = 0;
};

// Gate positions of a typical shifter, well inside the factory thresholds
// (columns split at X 102/152, rows at Y 64/190, reverse below Y 16): every
// gear rests at least 11 counts from its lines.
constexpr int kLeft = 30, kCentre = 127, kRight = 212, kReverseX = 226;
constexpr int kUpper = 234, kLane = 127, kLower = 26, kReverseY = 4;
constexpr int kPlusY = 205, kMinusY = 50;

constexpr std::array kPath{
    Waypoint{kCentre, kLane, false, 0, 500},
    // 1 and 2 in the left column.
    Waypoint{kLeft, kLane, false, 400, 100},
    Waypoint{kLeft, kUpper, false, 350, 700, '1'},
    Waypoint{kLeft, kLane, false, 350, 100},
    Waypoint{kLeft, kLower, false, 350, 700, '2'},
    Waypoint{kLeft, kLane, false, 350, 100},
    // 3 and 4.
    Waypoint{kCentre, kLane, false, 400, 100},
    Waypoint{kCentre, kUpper, false, 350, 700, '3'},
    Waypoint{kCentre, kLane, false, 350, 100},
    Waypoint{kCentre, kLower, false, 350, 700, '4'},
    Waypoint{kCentre, kLane, false, 350, 100},
    // 5 and 6.
    Waypoint{kRight, kLane, false, 400, 100},
    Waypoint{kRight, kUpper, false, 350, 700, '5'},
    Waypoint{kRight, kLane, false, 350, 100},
    Waypoint{kRight, kLower, false, 350, 700, '6'},
    Waypoint{kRight, kLane, false, 350, 100},
    // Reverse: pushed further right, then down past sixth.
    Waypoint{kReverseX, kLane, false, 250, 100},
    Waypoint{kReverseX, kReverseY, false, 450, 800, 'R'},
    Waypoint{kReverseX, kLane, false, 450, 100},
    Waypoint{kCentre, kLane, false, 400, 500},
    // The mode switch flips in neutral; one tap up and one tap down.
    Waypoint{kCentre, kLane, true, 0, 500},
    Waypoint{kCentre, kPlusY, true, 300, 500, '+'},
    Waypoint{kCentre, kLane, true, 300, 400},
    Waypoint{kCentre, kMinusY, true, 300, 500, '-'},
    Waypoint{kCentre, kLane, true, 300, 400},
    Waypoint{kCentre, kLane, false, 0, 0},
};

constexpr std::int64_t total_ms() {
    std::int64_t t = 0;
    for (const Waypoint& w : kPath) t += w.travel_ms + w.hold_ms;
    return t;
}

// A hand never holds still: up to 2 counts either way, changing every 10 ms.
int jitter(std::int64_t ms, std::uint32_t salt) {
    std::uint32_t h = static_cast<std::uint32_t>(ms / 10) * 0x9E3779B1u ^ salt;
    h ^= h >> 15;
    h *= 0x85EBCA77u;
    h ^= h >> 13;
    return static_cast<int>(h % 5) - 2;
}

std::uint8_t to_byte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// Where the stick rests at a waypoint: a shallow gate moves its gear's rest to
// the given distance from the line into that gear.
int rest_y(const Waypoint& w, ShallowGate shallow) {
    if (w.gear == 0 || w.gear != shallow.gear) return w.y;
    const BoxSettings factory;
    const int v1 = factory.value[2], v2 = factory.value[3], s1 = factory.value[4], s2 = factory.value[5];
    switch (w.gear) {
    case '1': case '3': case '5': return v2 + shallow.counts;
    case '2': case '4': case '6': return v1 - shallow.counts;
    // The first position above reverse is the smallest Y with 4 Y >= v1.
    case 'R': return (v1 + 3) / 4 - shallow.counts;
    case '+': return s2 + shallow.counts;
    case '-': return s1 - shallow.counts;
    default: return w.y;
    }
}

}  // namespace

DemoStick::DemoStick(BoxModel& box, QObject* parent) : QObject(parent), box_(box) {
    // The box sends a report every 10 ms (a slow box, plenty for the plot).
    // The host keeps a real box's reports until the tool reads them, so the
    // tool is not woken for each one; the hand here likewise queues what the
    // box sent since it last moved, as often as the tool reads.
    timer_.setInterval(kWakeMs);
    connect(&timer_, &QTimer::timeout, this, &DemoStick::tick);
}

std::int64_t DemoStick::cycle_length() { return total_ms(); }

StickPosition DemoStick::position_at(std::int64_t ms, ShallowGate shallow) {
    const std::int64_t cycle = total_ms();
    const std::int64_t in_cycle = ((ms % cycle) + cycle) % cycle;
    std::int64_t t = in_cycle;
    const Waypoint* from = &kPath.back();
    double x = from->x, y = rest_y(*from, shallow);
    bool sequential = from->sequential;
    bool reverse = false;
    for (const Waypoint& to : kPath) {
        reverse = to.gear == 'R';
        if (t < to.travel_ms) {
            // Smoothstep: the hand speeds up and slows down into the gate.
            const double f = static_cast<double>(t) / to.travel_ms;
            const double s = f * f * (3 - 2 * f);
            x = from->x + (to.x - from->x) * s;
            y = rest_y(*from, shallow) + (rest_y(to, shallow) - rest_y(*from, shallow)) * s;
            sequential = to.sequential;
            break;
        }
        t -= to.travel_ms;
        x = to.x;
        y = rest_y(to, shallow);
        sequential = to.sequential;
        if (t < to.hold_ms) break;
        t -= to.hold_ms;
        from = &to;
    }
    return {to_byte(x + jitter(in_cycle, 0x1234u)), to_byte(y + jitter(in_cycle, 0xBEEFu)), sequential, reverse};
}

void DemoStick::start() {
    elapsed_.start();
    sent_ms_ = 0;
    timer_.start();
}

void DemoStick::stop() { timer_.stop(); }

void DemoStick::tick() {
    ++ticks_;
    const std::int64_t now = elapsed_.elapsed();
    // The bootloader and an absent box send nothing, and keep nothing back.
    if (!box_.present() || box_.in_bootloader()) {
        sent_ms_ = now - now % kReportMs;
        return;
    }
    for (; sent_ms_ + kReportMs <= now; ++reports_) {
        sent_ms_ += kReportMs;
        const StickPosition p = position_at(sent_ms_, shallow_);
        box_.move_stick(p.x, p.y, p.sequential, p.reverse);
    }
}

}  // namespace emulator
