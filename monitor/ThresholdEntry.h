// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a text typed into a threshold box does to its threshold. The box's
// text is only a draft while it is typed: its line may show it while it is a
// threshold, but the threshold itself (what a save, closing the window, the
// calibration check and the kept copy use) takes it only when the box commits
// it (Enter, Tab, leaving the box, or a save or close with the box being
// edited). A text that is not a threshold never commits, so the keys typed on
// the way to a value ("3", "30" on the way to "300") never reach a threshold.

#include <string>
#include <string_view>
#include <vector>

#include "monitor/MonitorState.h"

namespace monitor {

struct Commit {
    bool taken = false;   // the threshold now holds the text's value
    int value = 0;        // what the threshold holds afterwards
    std::string problem;  // why the text was not taken ("is not a number", ...)
};

// Commits `text` into threshold `index` (device::SettingIndex) of t.
Commit commit_text(int index, std::string_view text, Thresholds& t);

// Where the line of a box stands while its text is typed: at the text's value
// while it is a threshold, otherwise at the committed one.
int shown_value(std::string_view text, int committed);

// A box whose text is not a threshold.
struct Untaken {
    int index;            // device::SettingIndex
    std::string text;     // as typed
    std::string problem;  // "is not a number", ...
};
// The one sentence a save says instead of writing when boxes hold texts that
// are not thresholds: `h1 holds "300", which is not within 0 to 254: nothing
// was saved.`, the boxes joined with "and".
std::string refusal_sentence(const std::vector<Untaken>& untaken);

// The other threshold of index's pair: h1 with h2, v1 with v2, s1 with s2.
int partner_of(int index);

// A value dragged or stepped for threshold `index`, kept within 0..254 and
// short of its partner, so that a line never passes it (h1 < h2, v1 < v2,
// s1 < s2).
int keep_from_partner(int index, int value, const Thresholds& t);

}  // namespace monitor
