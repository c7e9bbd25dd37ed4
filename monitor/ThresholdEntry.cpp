// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/ThresholdEntry.h"

#include <algorithm>

namespace monitor {

namespace {

constexpr int kLowest = 0;
constexpr int kHighest = 254;

bool is_lower(int index) { return index == device::kH1 || index == device::kV1 || index == device::kS1; }

}  // namespace

Commit commit_text(int index, std::string_view text, Thresholds& t) {
    const ThresholdText checked = check_threshold_text(text);
    if (!checked.value) return {false, t.get(index), checked.problem};
    t.set(index, *checked.value);
    return {true, t.get(index), {}};
}

int shown_value(std::string_view text, int committed) {
    return parse_threshold_text(text).value_or(committed);
}

std::string refusal_sentence(const std::vector<Untaken>& untaken) {
    std::string sentence;
    for (const Untaken& u : untaken) {
        if (!sentence.empty()) sentence += ", and ";
        sentence += std::string(device::setting_name(u.index)) + " holds \"" + u.text + "\", which " + u.problem;
    }
    return sentence + ": nothing was saved.";
}

int partner_of(int index) { return is_lower(index) ? index + 1 : index - 1; }

int keep_from_partner(int index, int value, const Thresholds& t) {
    const int partner = t.get(partner_of(index));
    // A pair already crossed (typed so) lets its line move freely within the
    // range rather than jump to the other side of its partner.
    const bool apart = is_lower(index) ? t.get(index) < partner : t.get(index) > partner;
    int low = kLowest;
    int high = kHighest;
    if (apart && is_lower(index)) high = std::min(high, partner - 1);
    if (apart && !is_lower(index)) low = std::max(low, partner + 1);
    return std::clamp(value, low, std::max(low, high));
}

}  // namespace monitor
