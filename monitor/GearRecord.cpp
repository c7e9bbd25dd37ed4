// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/GearRecord.h"

#include "monitor/Report.h"

namespace monitor {

Gear gear_of(const Report& r) {
    switch (r.gear) {
    case 0: return r.minus != 0 ? Gear::Minus : Gear::Neutral;
    case 1: return Gear::G1;
    case 2: return Gear::G2;
    case 4: return Gear::G3;
    case 8: return Gear::G4;
    case 16: return Gear::G5;
    case 32: return Gear::G6;
    case 64: return Gear::Reverse;
    case 128: return Gear::Plus;
    default: return Gear::Between;
    }
}

const char* gear_name(Gear g) {
    static constexpr const char* kNames[kGearCount] = {"N", "1", "2", "3", "4", "5", "6", "R", "+", "-", "between"};
    return kNames[static_cast<int>(g)];
}

const char* gear_words(Gear g) {
    static constexpr const char* kWords[kGearCount] = {"neutral", "gear 1", "gear 2",  "gear 3", "gear 4",
                                                       "gear 5",  "gear 6", "reverse", "plus",   "minus",
                                                       "between two gears"};
    return kWords[static_cast<int>(g)];
}

void GearMap::clear() {
    cells_.fill(Gear::Neutral);
    for (std::uint32_t& c : changes_) ++c;
}

void GearRecord::add(std::uint8_t x, std::uint8_t y, Gear gear, std::uint8_t mode) {
    if (limit_ == 0) return;
    const RecordedReport r{x, y, gear, mode};
    if (kept_.size() < limit_) {
        kept_.push_back(r);
        return;
    }
    kept_[next_] = r;
    next_ = (next_ + 1) % limit_;
}

void GearRecord::add(const Report& r) { add(r.x, r.y, gear_of(r), r.mode()); }

void GearRecord::clear() {
    kept_.clear();
    next_ = 0;
}

}  // namespace monitor
