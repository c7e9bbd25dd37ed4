// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/RestPositions.h"

#include <algorithm>
#include <cstdlib>

#include "monitor/MonitorState.h"

namespace monitor {

namespace {

// Reports are counted in bins of a quarter of the rest span, and a place is
// a window of two by two bins, so a resting stick falls into one window
// wherever its few counts lie against the bins.
constexpr int kBin = kRestSpan / 2;
constexpr int kBins = 256 / kBin;
constexpr int kWindows = kBins - 1;
constexpr int kAxisValues = 256;
// Enough for every gate of both modes and a few places in neutral.
constexpr std::size_t kMaxSpots = 24;

bool upper_gear(Gear g) { return g == Gear::G1 || g == Gear::G3 || g == Gear::G5 || g == Gear::Plus; }
bool lower_gear(Gear g) {
    return g == Gear::G2 || g == Gear::G4 || g == Gear::G6 || g == Gear::Reverse || g == Gear::Minus;
}

// The position below which `share` of the histogram's reports lie.
int quantile(const std::array<std::uint32_t, kAxisValues>& h, std::size_t total, double share) {
    const auto wanted = static_cast<std::size_t>(share * static_cast<double>(total));
    std::size_t seen = 0;
    for (int p = 0; p < kAxisValues; ++p) {
        seen += h[static_cast<std::size_t>(p)];
        if (seen > wanted) return p;
    }
    return kAxisValues - 1;
}

struct Counts {
    std::vector<std::uint32_t> cells = std::vector<std::uint32_t>(kAxisValues * kAxisValues, 0);
    // [bin][gear]
    std::vector<std::uint32_t> bins = std::vector<std::uint32_t>(kBins * kBins * kGearCount, 0);
    std::vector<std::uint32_t> bin_total = std::vector<std::uint32_t>(kBins * kBins, 0);
    std::array<std::array<std::uint32_t, kAxisValues>, kGearCount> xs{}, ys{};

    // Takes a bin's reports out, once they belong to a place found.
    void take_out(int a, int b) {
        bin_total[static_cast<std::size_t>(a * kBins + b)] = 0;
        for (int g = 0; g < kGearCount; ++g) bins[static_cast<std::size_t>((a * kBins + b) * kGearCount + g)] = 0;
        for (int x = a * kBin; x < (a + 1) * kBin; ++x)
            for (int y = b * kBin; y < (b + 1) * kBin; ++y) cells[static_cast<std::size_t>(x * kAxisValues + y)] = 0;
    }

    std::uint32_t window(int i, int j) const {
        auto b = [&](int a, int c) { return bin_total[static_cast<std::size_t>(a * kBins + c)]; };
        return b(i, j) + b(i + 1, j) + b(i, j + 1) + b(i + 1, j + 1);
    }
};

// The median X and Y of the reports in window (i, j), and its chief gear.
RestSpot spot_at(const Counts& c, int i, int j, std::size_t reports) {
    std::array<std::uint32_t, 2 * kBin> along_x{}, along_y{};
    for (int dx = 0; dx < 2 * kBin; ++dx)
        for (int dy = 0; dy < 2 * kBin; ++dy) {
            const std::uint32_t n = c.cells[static_cast<std::size_t>((i * kBin + dx) * kAxisValues + j * kBin + dy)];
            along_x[static_cast<std::size_t>(dx)] += n;
            along_y[static_cast<std::size_t>(dy)] += n;
        }
    auto median = [&](const auto& h) {
        std::size_t seen = 0;
        for (std::size_t k = 0; k < h.size(); ++k)
            if ((seen += h[k]) * 2 >= reports) return static_cast<int>(k);
        return static_cast<int>(h.size()) - 1;
    };
    std::array<std::uint32_t, kGearCount> gears{};
    for (int a = i; a <= i + 1; ++a)
        for (int b = j; b <= j + 1; ++b)
            for (int g = 0; g < kGearCount; ++g)
                gears[static_cast<std::size_t>(g)] += c.bins[static_cast<std::size_t>((a * kBins + b) * kGearCount + g)];
    // Between two gears is no gear of its own.
    gears[static_cast<std::size_t>(Gear::Between)] = 0;
    const auto chief = std::max_element(gears.begin(), gears.end()) - gears.begin();
    return {static_cast<std::uint8_t>(i * kBin + median(along_x)), static_cast<std::uint8_t>(j * kBin + median(along_y)),
            reports, static_cast<Gear>(chief)};
}

}  // namespace

Rests find_rests(std::span<const RecordedReport> reports, bool sequential) {
    Rests rests;
    rests.sequential = sequential;
    Counts c;
    std::size_t total = 0;
    const std::uint8_t mode = sequential ? kModeSequential : kModeH;
    for (const RecordedReport& r : reports) {
        if (r.mode != mode) continue;
        ++total;
        const int g = static_cast<int>(r.gear);
        ++rests.reports[static_cast<std::size_t>(g)];
        ++c.cells[static_cast<std::size_t>(r.x * kAxisValues + r.y)];
        const int bin = (r.x / kBin) * kBins + r.y / kBin;
        ++c.bins[static_cast<std::size_t>(bin * kGearCount + g)];
        ++c.bin_total[static_cast<std::size_t>(bin)];
        ++c.xs[static_cast<std::size_t>(g)][r.x];
        ++c.ys[static_cast<std::size_t>(g)][r.y];
    }
    if (total == 0) return rests;

    // The fullest window first; its bins are then taken out, so that the
    // next one found is another place.
    const std::size_t least = std::max(kRestReports, static_cast<std::size_t>(kRestShare * static_cast<double>(total)));
    std::vector<std::uint32_t> windows(static_cast<std::size_t>(kWindows * kWindows));
    for (int i = 0; i < kWindows; ++i)
        for (int j = 0; j < kWindows; ++j) windows[static_cast<std::size_t>(i * kWindows + j)] = c.window(i, j);
    while (rests.spots.size() < kMaxSpots) {
        const auto top = std::max_element(windows.begin(), windows.end());
        if (*top < least) break;
        const int i = static_cast<int>((top - windows.begin()) / kWindows), j = static_cast<int>((top - windows.begin()) % kWindows);
        rests.spots.push_back(spot_at(c, i, j, *top));
        for (int a = std::max(0, i - 1); a <= std::min(kBins - 1, i + 2); ++a)
            for (int b = std::max(0, j - 1); b <= std::min(kBins - 1, j + 2); ++b) c.take_out(a, b);
        for (int a = std::max(0, i - 2); a <= std::min(kWindows - 1, i + 2); ++a)
            for (int b = std::max(0, j - 2); b <= std::min(kWindows - 1, j + 2); ++b)
                windows[static_cast<std::size_t>(a * kWindows + b)] = c.window(a, b);
    }

    for (int g = 0; g < kGearCount; ++g) {
        const Gear gear = static_cast<Gear>(g);
        const std::size_t n = rests.reports[static_cast<std::size_t>(g)];
        if (n == 0 || gear == Gear::Between) continue;
        const auto spot = std::find_if(rests.spots.begin(), rests.spots.end(),
                                       [&](const RestSpot& s) { return s.gear == gear; });
        if (spot != rests.spots.end()) {
            rests.of_gear[static_cast<std::size_t>(g)] = Rest{spot->x, spot->y, true};
            continue;
        }
        // The far end of the gate, past a stray report or two: the gate runs
        // along Y, so X is where most of the way lies.
        const auto& xs = c.xs[static_cast<std::size_t>(g)];
        const auto& ys = c.ys[static_cast<std::size_t>(g)];
        const int y = upper_gear(gear) ? quantile(ys, n, 0.95) : lower_gear(gear) ? quantile(ys, n, 0.05) : quantile(ys, n, 0.5);
        rests.of_gear[static_cast<std::size_t>(g)] =
            Rest{static_cast<std::uint8_t>(quantile(xs, n, 0.5)), static_cast<std::uint8_t>(y), false};
    }
    return rests;
}

bool decoded_apart(const Rests& rests) {
    const std::optional<Rest>& neutral = rests.rest(Gear::Neutral);
    for (const RestSpot& p : rests.spots) {
        const std::optional<Rest>& own = rests.rest(p.gear);
        if (!own) continue;
        // A hand may pause on the way into a gear, and rest in neutral a
        // little higher or lower now and then; a gear in two columns, or on
        // both sides of neutral, is another thing.
        const int low = std::min(p.y, own->y), high = std::max(p.y, own->y);
        if (p.gear == Gear::Neutral) {
            if (high - low >= 4 * kRestSpan) return true;
        } else if (std::abs(p.x - own->x) >= 2 * kRestSpan || (neutral && low < neutral->y && neutral->y < high)) {
            return true;
        }
    }
    return false;
}

}  // namespace monitor
