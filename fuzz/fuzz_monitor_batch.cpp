// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The polling tick's read and report processing, driven by a scripted box: the
// fuzz input sets the declared input report length, the map's size, the text
// boxes and the calibration switch, then says what each read of each tick
// gets: a report of any length, nothing, or a failure. Every tick drains the
// box into input_report and, when reports came, runs the batch through the
// monitor with real controls, as the window does.
//
// Input: length (2 bytes: low, then high with bit 7 for "take all 15 bits"),
// flags (bit 0 calibrating from the start, bits 1-2 the shown mode, bit 3 the
// map's gear view), map width
// and height, four text boxes (a length byte, then that many bytes each), then
// one step per read: op % 8 == 0 nothing more queued this tick, 1 the read
// fails, 2 the user switches calibration before the next tick, anything else a
// report of the next byte's length whose bytes follow.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "device/Connection.h"
#include "fuzz/FuzzCheck.h"
#include "monitor/Monitor.h"
#include "device/Products.h"

namespace {

struct Script {
    const std::uint8_t* p;
    std::size_t n;
    bool empty() const { return n == 0; }
    std::uint8_t u8() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    std::span<const std::uint8_t> bytes(std::size_t k) {
        k = std::min(k, n);
        const std::span<const std::uint8_t> s(p, k);
        p += k;
        n -= k;
        return s;
    }
};

class ScriptedBox : public device::HidDevice {
public:
    explicit ScriptedBox(Script& script) : script_(script) {}

    void start_tick() {
        delivered.clear();
        failed = false;
        tick_over = false;
        switch_calibration = false;
    }

    std::vector<std::vector<std::uint8_t>> delivered;  // this tick's reports, as the box sent them
    bool failed = false;
    bool tick_over = false;
    bool switch_calibration = false;

    std::optional<device::HidCaps> caps() override { return std::nullopt; }
    bool send_feature_report(std::span<const std::uint8_t>) override { return false; }
    int get_feature_report(std::span<std::uint8_t>) override { return -1; }
    std::optional<std::u16string> manufacturer_string() override { return std::nullopt; }
    std::optional<std::u16string> product_string() override { return std::nullopt; }
    std::optional<std::u16string> serial_number_string() override { return std::nullopt; }
    bool probe() override { return true; }

    int read_input(std::span<std::uint8_t> out) override {
        FUZZ_CHECK(!tick_over);  // the drain stops at the first empty or failed read
        if (script_.empty()) return end_tick(0);
        const std::uint8_t op = script_.u8();
        switch (op % 8) {
        case 0: return end_tick(0);
        case 1: failed = true; return end_tick(-1);
        case 2: switch_calibration = true; return end_tick(0);
        default: break;
        }
        const auto bytes = script_.bytes(std::min<std::size_t>(script_.u8(), out.size()));
        if (bytes.empty()) return end_tick(0);  // a report of no bytes reads as nothing queued
        std::copy(bytes.begin(), bytes.end(), out.begin());
        delivered.emplace_back(bytes.begin(), bytes.end());
        return static_cast<int>(bytes.size());
    }

private:
    int end_tick(int result) {
        tick_over = true;
        return result;
    }
    Script& script_;
};

struct Controls {
    QWidget window;
    monitor::GraphView* graph = new monitor::GraphView(&window);
    QLabel* gear = new QLabel(&window);
    QLabel* x = new QLabel(&window);
    QLabel* y = new QLabel(&window);
    QLineEdit* text[4] = {new QLineEdit(&window), new QLineEdit(&window), new QLineEdit(&window),
                          new QLineEdit(&window)};
    QWidget* ticks[4] = {new QWidget(&window), new QWidget(&window), new QWidget(&window), new QWidget(&window)};

    monitor::MonitorControls view() {
        return {gear, x, y, text[0], text[1], text[2], text[3], graph, ticks[0], ticks[1], ticks[2], ticks[3]};
    }
};

void check_drain(const device::DeviceConnection& conn, device::DrainResult result, const ScriptedBox& box) {
    const int slot = std::max(conn.hid_caps.input_report_length, 2);
    FUZZ_CHECK(conn.bytes_read >= 0 && conn.bytes_read <= device::kMaxBatchBytes);
    // Every report the box handed over is in the batch; none was read and dropped.
    FUZZ_CHECK(conn.bytes_read == static_cast<int>(box.delivered.size()) * slot);
    FUZZ_CHECK((result == device::DrainResult::Reports) == (conn.bytes_read > 0));
    if (result == device::DrainResult::Failed) FUZZ_CHECK(box.failed && box.delivered.empty());
    FUZZ_CHECK(conn.last_result == (conn.bytes_read > 0));
    for (std::size_t k = 0; k < box.delivered.size(); ++k) {
        const std::uint8_t* s = conn.input_report.data() + k * static_cast<std::size_t>(slot);
        const std::vector<std::uint8_t>& sent = box.delivered[k];
        FUZZ_CHECK(s[0] == 0);
        FUZZ_CHECK(std::equal(sent.begin(), sent.end(), s + 1));
        FUZZ_CHECK(std::all_of(s + 1 + sent.size(), s + slot, [](std::uint8_t b) { return b == 0; }));
    }
}

void check_range(int lo, int hi) { FUZZ_CHECK(lo >= -5 && lo < hi && hi <= 255); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt keeps pointers to argc and argv for the life of the application.
    static int argc = 1;
    static char name[] = "fuzz_monitor_batch";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script script{data, size};
    int length = script.u8();
    if (const std::uint8_t high = script.u8(); high & 0x80) length |= (high & 0x7F) << 8;
    const std::uint8_t flags = script.u8();
    const int width = script.u8();
    const int height = script.u8();

    // Making the widgets takes longer than a whole run, so they are made once
    // and every run puts them back to how a fresh window has them.
    static Controls controls;
    const monitor::MonitorControls c = controls.view();
    controls.graph->setGeometry(10, 10, width + 2, height + 2);  // a one-pixel border around the drawing area
    controls.graph->set_draw_width(1);
    controls.graph->set_gear_view(flags & 8);
    controls.graph->clear();
    for (QLabel* label : {c.gear, c.x_value, c.y_value}) label->clear();
    for (QLineEdit* box : controls.text) {
        const auto text = script.bytes(std::min<std::size_t>(script.u8(), 8));
        box->setText(QString::fromLatin1(reinterpret_cast<const char*>(text.data()), static_cast<qsizetype>(text.size())));
        box->setEnabled(true);
    }

    device::DeviceConnection conn;
    conn.device_found = true;
    conn.product_id = device::kPidKelvo;
    conn.hid_caps = {length, 65};
    auto owned = std::make_unique<ScriptedBox>(script);
    ScriptedBox& box = *owned;
    conn.read_handle = std::move(owned);

    monitor::MonitorState mon;
    monitor::Thresholds thresholds;
    monitor::initialise_values(mon, *controls.graph);
    mon.auto_calibrating = flags & 1;
    mon.shown_mode = std::array<std::uint8_t, 4>{monitor::kModeH, monitor::kModeSequential, monitor::kModeNone,
                                                 monitor::kModeH}[(flags >> 1) & 3];
    std::vector<monitor::Report> seen;

    for (int tick = 0; tick < 32 && !script.empty(); ++tick) {
        const std::size_t before = script.n;
        box.start_tick();
        const device::DrainResult result = device::drain_input(conn);
        check_drain(conn, result, box);
        if (result == device::DrainResult::Reports) {
            const QString old_gear = c.gear->text();
            monitor::process_batch(conn.input_report.data(), conn.bytes_read, length, mon, thresholds, c);
            const auto reports = monitor::cut_batch(conn.input_report.data(), conn.bytes_read, length);
            if (length < device::kMinInputLength) {
                FUZZ_CHECK(reports.empty());
            } else {
                FUZZ_CHECK(reports.size() == box.delivered.size());
                seen.insert(seen.end(), reports.begin(), reports.end());
                const monitor::Report& first = reports.front();
                FUZZ_CHECK(c.x_value->text() == QString::number(first.x) && c.y_value->text() == QString::number(first.y));
                const auto caption = monitor::gear_caption(first);
                if (mon.auto_calibrating)
                    FUZZ_CHECK(c.gear->text().isEmpty());
                else
                    FUZZ_CHECK(c.gear->text() == (caption ? QString::fromStdString(*caption) : old_gear));
                FUZZ_CHECK(mon.shown_mode == first.mode());
                for (const monitor::Report& r : reports) {
                    const auto& trace = r.sequential() ? mon.sequential_trace : mon.h_pattern_trace;
                    FUZZ_CHECK(trace.test(static_cast<std::size_t>(r.x) * 256 + r.y));
                }
                FUZZ_CHECK(mon.gear_record.size() == seen.size());
                check_range(mon.x_min, mon.x_max);
                check_range(mon.y_min, mon.y_max);
                for (const monitor::Report& r : seen)
                    FUZZ_CHECK(mon.x_min <= r.x && r.x <= mon.x_max && mon.y_min <= r.y && r.y <= mon.y_max);
                if (mon.auto_calibrating) {
                    for (QLineEdit* t : controls.text) FUZZ_CHECK(!t->isEnabled());
                    // Derived thresholds lie inside the travel and keep their order.
                    if (first.sequential()) {
                        FUZZ_CHECK(mon.y_min <= thresholds.s1 && thresholds.s1 <= thresholds.s2 &&
                                   thresholds.s2 <= mon.y_max);
                    } else {
                        FUZZ_CHECK(mon.x_min <= thresholds.h1 && thresholds.h1 <= thresholds.h2 &&
                                   thresholds.h2 <= mon.x_max);
                        FUZZ_CHECK(mon.y_min <= thresholds.v1 && thresholds.v1 <= thresholds.v2 &&
                                   thresholds.v2 <= mon.y_max);
                    }
                }
            }
        }
        // The user's click lands between two ticks.
        if (box.switch_calibration) {
            mon.auto_calibrating = !mon.auto_calibrating;
            if (!mon.auto_calibrating)
                for (QLineEdit* t : controls.text) t->setEnabled(true);
        }
        if (script.n == before) break;  // a length too long for the buffer reads nothing, ever
    }
    return 0;
}
