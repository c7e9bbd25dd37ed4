// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/Monitor.h"

#include <cmath>

#include "monitor/ThresholdEntry.h"

namespace monitor {

namespace {

// The window's own units for the label offsets: twips, 15 to a pixel.
constexpr float kTwipsPerPixel = 15.0f;
constexpr float kLblYAboveTick = 100.0f / kTwipsPerPixel;
constexpr float kLblXLeftOfTick = 496.0f / kTwipsPerPixel;

int to_pixel(float v) { return static_cast<int>(std::lround(v)); }

void set_top(QWidget* w, int top) { w->move(w->x(), top); }
void set_left(QWidget* w, int left) { w->move(left, w->y()); }

void show_text(QLineEdit* box, int value) { box->setText(QString::number(value)); }

// A label is repainted only when its text really changes.
void show_caption(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

std::optional<int> read_box(const QLineEdit* box) {
    return parse_threshold_text(box->text().toStdString());
}

// Where a box's line stands: at its text while that is a threshold (the
// draft being typed), else at the committed value.
int shown(const QLineEdit* box, int committed) { return shown_value(box->text().toStdString(), committed); }

void place_horizontal(GraphLine* line, int threshold, const GraphView& graph) {
    const double y = map_y(threshold, graph.ScaleHeight());
    line->set_points(line->X1, y, line->X2, y);
}

void place_vertical(GraphLine* line, int threshold, const GraphView& graph) {
    const double x = map_x(threshold, graph.ScaleWidth());
    line->set_points(x, line->Y1, x, line->Y2);
}

void show_mode_lines(std::uint8_t mode, GraphView& g) {
    const bool h = mode != kModeSequential;
    g.line_v2->setVisible(h);
    g.line_v1->setVisible(h);
    g.line_h1->setVisible(h);
    g.line_h2->setVisible(h);
    g.line_s2->setVisible(!h);
    g.line_s1->setVisible(!h);
}

// The markers sit beside the map in the window, so they follow its outer
// rectangle, not its drawing area.
void move_markers(Position first, const MonitorControls& c) {
    const QRect graph = c.map->geometry();
    const float tick_top = graph.top() + (255 - first.y) * static_cast<float>(graph.height()) / 255.0f;
    set_top(c.y_marker_left, to_pixel(tick_top));
    set_top(c.y_marker_right, to_pixel(tick_top));
    set_top(c.y_value, to_pixel(tick_top - kLblYAboveTick));
    const float tick_left = graph.left() + first.x * static_cast<float>(graph.width()) / 255.0f;
    set_left(c.x_marker_top, to_pixel(tick_left));
    set_left(c.x_marker_bottom, to_pixel(tick_left));
    set_left(c.x_value, to_pixel(tick_left - kLblXLeftOfTick));
}

void lay_out(std::uint8_t mode, MonitorState& s, const Thresholds& t, const MonitorControls& c) {
    if (c.before_layout) c.before_layout(s.shown_mode, mode);
    c.map->clear();
    s.shown_mode = mode;
    show_mode_lines(mode, *c.map);
    const bool h = mode != kModeSequential;
    c.upper_box->setVisible(true);
    c.lower_box->setVisible(true);
    c.h1_box->setVisible(h);
    c.h2_box->setVisible(h);
    fill_mode_texts(mode, t, c);
}

void read_back_h_pattern(bool changed, const Thresholds& t, const MonitorControls& c) {
    // The boxes' texts move the lines only; the thresholds take a text when
    // its box commits it (commit_box). An accepted box counts as a change
    // even when its value is the old one.
    for (const QLineEdit* box : {c.upper_box, c.lower_box, c.h1_box, c.h2_box})
        if (read_box(box)) changed = true;
    if (!changed) return;
    GraphView& g = *c.map;
    place_horizontal(g.line_v2, shown(c.upper_box, t.v2), g);
    place_horizontal(g.line_v1, shown(c.lower_box, t.v1), g);
    place_vertical(g.line_h1, shown(c.h1_box, t.h1), g);
    place_vertical(g.line_h2, shown(c.h2_box, t.h2), g);
}

void read_back_sequential(const Thresholds& t, const MonitorControls& c) {
    GraphView& g = *c.map;
    if (read_box(c.upper_box)) place_horizontal(g.line_s2, shown(c.upper_box, t.s2), g);
    if (read_box(c.lower_box)) place_horizontal(g.line_s1, shown(c.lower_box, t.s1), g);
}

GraphLine* line_of(int index, const GraphView& g) {
    GraphLine* const lines[] = {g.line_h1, g.line_h2, g.line_v1, g.line_v2, g.line_s1, g.line_s2};
    return index >= 0 && index < device::kSettingCount ? lines[index] : nullptr;
}

}  // namespace

int box_threshold(std::uint8_t mode, const MonitorControls& c, const QLineEdit* box) {
    const bool sequential = mode == kModeSequential;
    if (box == c.upper_box) return sequential ? device::kS2 : device::kV2;
    if (box == c.lower_box) return sequential ? device::kS1 : device::kV1;
    if (sequential) return -1;
    if (box == c.h1_box) return device::kH1;
    if (box == c.h2_box) return device::kH2;
    return -1;
}

std::vector<UntakenText> untaken_texts(std::uint8_t mode, const MonitorControls& c) {
    std::vector<UntakenText> untaken;
    for (const QLineEdit* box : {c.h1_box, c.h2_box, c.lower_box, c.upper_box}) {
        const int index = box_threshold(mode, c, box);
        if (index < 0) continue;
        const ThresholdText checked = check_threshold_text(box->text().toStdString());
        if (!checked.value) untaken.push_back({index, box->text(), checked.problem});
    }
    return untaken;
}

void place_markers(const MonitorState& s, const MonitorControls& c) {
    if (s.marked) move_markers(*s.marked, c);
}

void place_threshold_line(int index, int value, const MonitorControls& c) {
    GraphView& g = *c.map;
    GraphLine* line = line_of(index, g);
    if (!line) return;
    if (index == device::kH1 || index == device::kH2)
        place_vertical(line, value, g);
    else
        place_horizontal(line, value, g);
}

std::optional<Commit> commit_box(std::uint8_t mode, Thresholds& t, const MonitorControls& c, QLineEdit* box) {
    const int index = box_threshold(mode, c, box);
    if (index < 0) return std::nullopt;
    const Commit done = commit_text(index, box->text().toStdString(), t);
    // The line shows what the threshold holds now.
    place_threshold_line(index, done.value, c);
    return done;
}

void revert_box(std::uint8_t mode, const Thresholds& t, const MonitorControls& c, QLineEdit* box) {
    const int index = box_threshold(mode, c, box);
    if (index < 0) return;
    show_text(box, t.get(index));
    place_threshold_line(index, t.get(index), c);
}

void initialise_values(MonitorState& s, GraphView& graph) {
    s.h_pattern_trace.reset();
    s.sequential_trace.reset();
    s.h_pattern_gears.clear();
    s.sequential_gears.clear();
    s.gear_record.clear();
    s.x_min = 255;
    s.x_max = 0;
    s.y_min = 255;
    s.y_max = 0;
    s.h_pattern_range = {};
    s.sequential_range = {};
    const double w = graph.ScaleWidth();
    const double h = graph.ScaleHeight();
    for (GraphLine* l : {graph.line_h1, graph.line_h2}) l->set_points(l->X1, 0, l->X2, h);
    for (GraphLine* l : {graph.line_v2, graph.line_v1, graph.line_s2, graph.line_s1}) l->set_points(0, l->Y1, w, l->Y2);
}

void show_gear_view(bool on, const MonitorState& s, GraphView& graph) {
    graph.set_gear_view(on);
    if (s.shown_mode == kModeSequential)
        graph.replot(s.sequential_trace, s.sequential_gears);
    else if (s.shown_mode == kModeH)
        graph.replot(s.h_pattern_trace, s.h_pattern_gears);
}

void fill_mode_texts(std::uint8_t mode, const Thresholds& t, const MonitorControls& c) {
    if (mode == kModeSequential) {
        show_text(c.upper_box, t.s2);
        show_text(c.lower_box, t.s1);
    } else {
        show_text(c.upper_box, t.v2);
        show_text(c.lower_box, t.v1);
    }
}

std::optional<std::uint8_t> process_batch(const std::uint8_t* buffer, int bytes_read, int report_length,
                                          MonitorState& s, Thresholds& t, const MonitorControls& c) {
    const std::vector<Report> reports = cut_batch(buffer, bytes_read, report_length);
    if (reports.empty()) return std::nullopt;
    GraphView& graph = *c.map;

    bool changed = false;
    for (const Report& r : reports) {
        if (capture_range(s, r.x, r.y, r.mode())) changed = true;
        const Gear gear = gear_of(r);
        const std::size_t cell = static_cast<std::size_t>(r.x) * 256 + r.y;
        (r.sequential() ? s.sequential_trace : s.h_pattern_trace).set(cell);
        (r.sequential() ? s.sequential_gears : s.h_pattern_gears).set(cell, gear);
        s.gear_record.add(r.x, r.y, gear, r.mode());
    }
    // Every report's point, with a single repaint for the batch.
    graph.draw_positions(reports);

    // The oldest report of the batch speaks for the whole tick.
    const Report& first = reports.front();
    const std::uint8_t mode = first.mode();

    if (s.auto_calibrating) {
        // Lay the display out again on every tick of a calibration, so the
        // map shows only the trace gathered since it started.
        s.shown_mode = kModeNone;
        t = derive_thresholds(s, mode, t);
        fill_mode_texts(mode, t, c);
        if (mode != kModeSequential) {
            show_text(c.h1_box, t.h1);
            show_text(c.h2_box, t.h2);
        }
        for (QLineEdit* box : {c.upper_box, c.lower_box, c.h1_box, c.h2_box}) box->setEnabled(false);
    }

    if (s.auto_calibrating) {
        show_caption(c.gear, QString());
    } else if (auto caption = gear_caption(first)) {
        show_caption(c.gear, QString::fromStdString(*caption));
    }
    show_caption(c.x_value, QString::number(first.x));
    show_caption(c.y_value, QString::number(first.y));

    s.marked = Position{first.x, first.y};
    move_markers(*s.marked, c);

    if (mode != s.shown_mode) lay_out(mode, s, t, c);

    show_mode_lines(mode, graph);
    if (mode == kModeSequential) {
        graph.replot(s.sequential_trace, s.sequential_gears);
        read_back_sequential(t, c);
    } else {
        graph.set_draw_width(2);
        graph.replot(s.h_pattern_trace, s.h_pattern_gears);
        read_back_h_pattern(changed, t, c);
    }
    return mode;
}

}  // namespace monitor
