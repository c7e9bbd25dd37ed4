// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The gear the box decoded for each report, as the monitor keeps it: per cell
// of the travel map for drawing, and as a bounded record of reports for the
// calibration check.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace monitor {

struct Report;

// What input bytes 3 and 4 say. Between: more than one gear bit (or a value
// the box never sends): the box was between two gears, no single one.
enum class Gear : std::uint8_t { Neutral, G1, G2, G3, G4, G5, G6, Reverse, Plus, Minus, Between };
inline constexpr int kGearCount = 11;

// Read as the Gear caption reads bytes 3 and 4: byte 3 decides whenever it
// is not 0.
Gear gear_of(const Report& r);
// "1" .. "6", "R", "N", "+", "-", "between" (the caption's words; stable keys for JSON).
const char* gear_name(Gear g);
// In a sentence: "gear 3", "reverse", "neutral", "plus", "minus", "between two gears".
const char* gear_words(Gear g);

// The gear last decoded at each stick position, indexed x * 256 + y like a
// trace; a cell that is not in the trace holds Neutral. It counts the changes
// of every 64 cells (a trace's word), so that the map's drawing finds the few
// cells whose gear changed without comparing all 65,536 on every tick.
class GearMap {
public:
    static constexpr std::size_t kCells = 256 * 256;
    static constexpr std::size_t kWords = kCells / 64;

    Gear operator[](std::size_t cell) const { return cells_[cell]; }
    void set(std::size_t cell, Gear gear) {
        if (cells_[cell] == gear) return;
        cells_[cell] = gear;
        ++changes_[cell / 64];
    }
    // Every cell neutral again; counts as a change of every word.
    void clear();
    const Gear* data() const { return cells_.data(); }
    const std::array<std::uint32_t, kWords>& changes() const { return changes_; }

private:
    std::array<Gear, kCells> cells_{};
    std::array<std::uint32_t, kWords> changes_{};
};

struct RecordedReport {
    std::uint8_t x = 0;
    std::uint8_t y = 0;
    Gear gear = Gear::Neutral;
    std::uint8_t mode = 0;  // kModeH or kModeSequential
};

// The newest reports, at most `limit`. 100,000 reports are a quarter of an
// hour of a box that reports every 10 ms (a minute and a half at 1 ms): many
// turns through every gear, while reports from long before the user's last
// adjustments drop out. They take 400 KB, and a check of all of them about
// half a millisecond, so the window can check on every tick if it likes.
inline constexpr std::size_t kGearRecordLimit = 100'000;

class GearRecord {
public:
    explicit GearRecord(std::size_t limit = kGearRecordLimit) : limit_(limit) {}

    void add(std::uint8_t x, std::uint8_t y, Gear gear, std::uint8_t mode);
    void add(const Report& r);
    void clear();
    // The kept reports, in no particular order once the oldest are being
    // replaced.
    std::span<const RecordedReport> reports() const { return kept_; }
    std::size_t size() const { return kept_.size(); }
    std::size_t limit() const { return limit_; }

private:
    std::size_t limit_;
    std::vector<RecordedReport> kept_;
    std::size_t next_ = 0;  // the slot the next report replaces once full
};

}  // namespace monitor
