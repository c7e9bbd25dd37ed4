// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The live monitor's work on the window's controls: what one batch of input
// reports does to the gear caption, the value labels, the markers, the travel
// map, the threshold lines and text boxes. The window owns the controls and
// hands them over by pointer.

#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <functional>

#include "monitor/GraphView.h"
#include "monitor/MonitorState.h"
#include "monitor/ThresholdEntry.h"

namespace monitor {

struct MonitorControls {
    QLabel* gear = nullptr;             // the decoded gear
    QLabel* x_value = nullptr;          // the stick's X, follows the X markers
    QLabel* y_value = nullptr;          // the stick's Y, follows the Y markers
    QLineEdit* upper_box = nullptr;     // v2, or s2 in sequential mode
    QLineEdit* lower_box = nullptr;     // v1, or s1 in sequential mode
    QLineEdit* h1_box = nullptr;
    QLineEdit* h2_box = nullptr;
    GraphView* map = nullptr;
    QWidget* y_marker_left = nullptr;
    QWidget* y_marker_right = nullptr;
    QWidget* x_marker_top = nullptr;
    QWidget* x_marker_bottom = nullptr;
    // Called before a change of mode lays the display out anew, with the
    // mode on show until then and the new one (the window moves the keyboard
    // out of a box whose threshold changes with it, which commits its draft).
    std::function<void(std::uint8_t from, std::uint8_t to)> before_layout;
};

// Clears both traces with their gears and the record of reports, restarts
// the range and stretches the threshold lines across the whole map.
// Thresholds, text boxes and drawing are left alone.
void initialise_values(MonitorState& s, GraphView& graph);

// Switches the map between the plain trace and the trace coloured by gear,
// and draws the trace of the mode on show again at once, the new way (points
// of the other mode drawn since the last change of mode are not kept).
void show_gear_view(bool on, const MonitorState& s, GraphView& graph);

// One batch of input reports, already in the buffer with a leading report-ID
// byte per report: range capture, points, trace cells with their gears and
// the record of reports for every report, derivation while
// calibrating, captions and markers from the first report, layout on a change
// of mode, the per-tick replot, text read-back and line placement. Answers the
// mode the first report gives (kModeH or kModeSequential), which speaks for
// the whole batch; nullopt when the batch held no whole report.
std::optional<std::uint8_t> process_batch(const std::uint8_t* buffer, int bytes_read, int report_length,
                                          MonitorState& s, Thresholds& t, const MonitorControls& c);

// A box of the mode commits its text into its threshold (Enter, Tab,
// leaving the box, a save or a close while it is edited), and its line shows
// what the threshold holds then; nullopt for a box the mode does not read.
std::optional<Commit> commit_box(std::uint8_t mode, Thresholds& t, const MonitorControls& c, QLineEdit* box);
// The box shows its committed value again, and its line with it (Escape).
void revert_box(std::uint8_t mode, const Thresholds& t, const MonitorControls& c, QLineEdit* box);
// Threshold `index`'s line at `value`.
void place_threshold_line(int index, int value, const MonitorControls& c);

// The threshold text boxes of a mode, refilled from the working values
// (used on a change of layout).
void fill_mode_texts(std::uint8_t mode, const Thresholds& t, const MonitorControls& c);

// The threshold (device::SettingIndex) a text box holds in a mode; -1 for a
// box the mode does not read.
int box_threshold(std::uint8_t mode, const MonitorControls& c, const QLineEdit* box);

// A text box of the mode whose text the read-back does not take, so that the
// threshold keeps its last valid value.
struct UntakenText {
    int index;            // device::SettingIndex
    QString text;         // as typed
    std::string problem;  // "is not a number", ...
};
// Every such box of the mode, by threshold (h1, h2, v1, v2, or s1, s2).
std::vector<UntakenText> untaken_texts(std::uint8_t mode, const MonitorControls& c);

// The markers and value labels at the last position the monitor showed, after
// the map moved or changed its size; nothing before the first batch.
void place_markers(const MonitorState& s, const MonitorControls& c);

}  // namespace monitor
