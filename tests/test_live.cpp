// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The polling tick against the emulated box: reading, decoding, removal and
// return, and the travel map as a user sees it.
#include <set>

#include "emulator/DemoStick.h"
#include "tests/WindowFixture.h"

namespace {

int cells(const monitor::Trace& t) { return static_cast<int>(t.count()); }
bool cell(const monitor::Trace& t, int x, int y) { return t.test(static_cast<std::size_t>(x) * 256 + y); }

}  // namespace

using Live = WindowFixture;

TEST_F(Live, ABatchShowsItsFirstReportAndPlotsEveryOne) {
  // Reports longer than the five bytes the monitor reads are cut at their
  // declared length, not at six.
  for (int length : {9, 65, 6}) {
    SCOPED_TRACE(length);
    window.reset();
    bus.boxes().clear();
    auto& box = add_box();
    box.app_caps.input_report_length = length;
    frmMain& w = open();
    box.queue_raw(30, 220, 1, 0, 0);   // "1"
    box.queue_raw(31, 20, 2, 0, 0);    // "2"
    box.queue_raw(128, 230, 4, 0, 0);  // "3"
    tick(w);
    EXPECT_EQ(w.conn().bytes_read, 3 * length);
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "1");
    EXPECT_EQ(control<QLabel>(w, "lblX")->text(), "30");
    EXPECT_EQ(control<QLabel>(w, "lblY")->text(), "220");
    EXPECT_EQ(cells(w.mon().h_pattern_trace), 3);
    EXPECT_TRUE(cell(w.mon().h_pattern_trace, 128, 230));
    // The first report opens the range 10 wide (25..35); the others widen it.
    EXPECT_EQ(w.mon().x_min, 25);
    EXPECT_EQ(w.mon().x_max, 128);
    EXPECT_EQ(w.mon().y_min, 20);
    EXPECT_EQ(w.mon().y_max, 230);
    EXPECT_EQ(control<QTimer>(w, "Timer")->interval(), 50);
  }
}

TEST_F(Live, GearCaptionsFollowTheBoxAndKeepTheLastOnUnlistedValues) {
    auto& box = add_box();
    frmMain& w = open();
    struct Step { int gear, minus; const char* caption; };
    const Step steps[] = {
        // The whole table is GearCaption.Table's; the window shows what it says.
        {0, 1, "-"}, {32, 0, "6"}, {0xFF, 0, "6"},
    };
    for (const Step& s : steps) {
        box.queue_raw(0, 255, static_cast<std::uint8_t>(s.gear), static_cast<std::uint8_t>(s.minus), 0);
        tick(w);
        EXPECT_EQ(control<QLabel>(w, "Gear")->text(), s.caption) << s.gear << "/" << s.minus;
    }
    EXPECT_EQ(control<QLabel>(w, "lblX")->text(), "0");
    EXPECT_EQ(control<QLabel>(w, "lblY")->text(), "255");
}

TEST_F(Live, RemovalIsHandledWithinOneTickAndTheBoxIsFoundAgain) {
    auto& box = add_box();
    frmMain& w = open();
    box.move_stick(40, 230);
    tick(w);
    ASSERT_EQ(cells(w.mon().h_pattern_trace), 1);

    const int searches = bus.enumerations;
    box.unplug();
    tick(w);
    EXPECT_FALSE(w.conn().device_found);
    EXPECT_EQ(bus.open_handles(), 0);
    EXPECT_EQ(bus.enumerations - searches, 2);  // once after the removal, once more at the end
    EXPECT_EQ(cells(w.mon().h_pattern_trace), 0);
    EXPECT_EQ(w.mon().x_min, 255);
    EXPECT_EQ(w.mon().shown_mode, monitor::kModeNone);
    EXPECT_FALSE(control<QPushButton>(w, "btnUpdate")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "cmd_auto_cal")->isEnabled());
    EXPECT_TRUE(control<QLineEdit>(w, "Text7")->isHidden());
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "");
    EXPECT_EQ(control<QTimer>(w, "Timer")->interval(), 500);

    // Each tick without a box searches once.
    tick(w);
    EXPECT_EQ(bus.enumerations - searches, 3);

    box.plug();
    tick(w);
    EXPECT_TRUE(w.conn().device_found);
    EXPECT_EQ(control<QTimer>(w, "Timer")->interval(), 50);
    EXPECT_TRUE(control<QPushButton>(w, "btnUpdate")->isEnabled());
    box.move_stick(40, 20);
    tick(w);
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "2");
}

TEST_F(Live, ASilentBoxIsNotTakenForARemovedOne) {
    auto& box = add_box();
    frmMain& w = open();
    box.move_stick(128, 230);
    tick(w);
    const int searches = bus.enumerations;
    for (int i = 0; i < 20; ++i) tick(w);
    EXPECT_TRUE(w.conn().device_found);
    EXPECT_EQ(bus.enumerations, searches);
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "3");
    EXPECT_EQ(control<QTimer>(w, "Timer")->interval(), 50);
}

TEST_F(Live, TheBootloaderIsPolledButNothingIsDecoded) {
    auto& box = add_box(device::kPidBootloader);
    frmMain& w = open();
    box.queue_raw(10, 20, 1, 0, 0);
    tick(w);
    EXPECT_EQ(box.queued_inputs(), 0u);
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "");
    EXPECT_EQ(control<QLabel>(w, "lblX")->text(), "000");
    EXPECT_EQ(cells(w.mon().h_pattern_trace), 0);
    tick(w);  // nothing queued: the probe keeps it connected
    EXPECT_TRUE(w.conn().device_found);
    box.unplug();
    tick(w);
    EXPECT_FALSE(w.conn().device_found);
}

TEST_F(Live, ModesKeepTheirOwnTraceAndLayout) {
    auto& box = add_box();
    frmMain& w = open();
    // An H-pattern report first, a sequential one behind it in the same batch.
    box.queue_raw(50, 60, 0, 0, 0);
    box.queue_raw(128, 200, 0x80, 0, 2);
    tick(w);
    EXPECT_TRUE(cell(w.mon().h_pattern_trace, 50, 60));
    EXPECT_TRUE(cell(w.mon().sequential_trace, 128, 200));
    EXPECT_EQ(w.mon().shown_mode, monitor::kModeH);
    EXPECT_TRUE(control<monitor::GraphLine>(w, "lineV1")->isVisible());
    EXPECT_FALSE(control<monitor::GraphLine>(w, "SeqH1")->isVisible());
    EXPECT_FALSE(control<QLineEdit>(w, "Text9")->isHidden());

    // The box switches to sequential mode: the other trace and lines show.
    box.queue_raw(128, 210, 0x80, 0, 2);
    tick(w);
    EXPECT_EQ(w.mon().shown_mode, monitor::kModeSequential);
    EXPECT_FALSE(control<monitor::GraphLine>(w, "lineV1")->isVisible());
    EXPECT_TRUE(control<monitor::GraphLine>(w, "SeqH1")->isVisible());
    EXPECT_TRUE(control<QLineEdit>(w, "Text9")->isHidden());
    EXPECT_TRUE(control<QLineEdit>(w, "Text10")->isHidden());
    EXPECT_EQ(control<QLineEdit>(w, "Text7")->text(), QString::number(w.thresholds().s2));
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "+");

    // Texts put into the hidden X boxes do nothing in sequential mode, and
    // back in H-pattern only move the line: nobody typed them.
    const int h1 = w.thresholds().h1;
    control<QLineEdit>(w, "Text9")->setText("17");
    box.queue_raw(128, 205, 0, 0, 2);
    tick(w);
    EXPECT_EQ(w.thresholds().h1, h1);

    // Back to H-pattern: the earlier trace is still there.
    box.queue_raw(60, 70, 0, 0, 0);
    tick(w);
    EXPECT_EQ(w.mon().shown_mode, monitor::kModeH);
    EXPECT_TRUE(cell(w.mon().h_pattern_trace, 50, 60));
    EXPECT_EQ(w.thresholds().h1, h1);
    EXPECT_DOUBLE_EQ(control<monitor::GraphLine>(w, "lineV1")->X1, monitor::map_x(17, control<monitor::GraphView>(w, "Graph")->ScaleWidth()));
}

TEST_F(Live, TypedThresholdsMoveTheLinesOnTheNextTick) {
    auto& box = add_box();
    frmMain& w = open();
    box.move_stick(128, 128);
    tick(w);
    control<QLineEdit>(w, "Text9")->setText(" 12.5 ");
    control<QLineEdit>(w, "Text7")->setText("255");
    box.move_stick(128, 128);
    tick(w);
    EXPECT_EQ(w.thresholds().h1, 102);  // until its box commits it
    EXPECT_EQ(control<QLineEdit>(w, "Text7")->text(), "255");  // the text stays as typed
    EXPECT_DOUBLE_EQ(control<monitor::GraphLine>(w, "lineV1")->X1, monitor::map_x(12, control<monitor::GraphView>(w, "Graph")->ScaleWidth()));
    EXPECT_DOUBLE_EQ(control<monitor::GraphLine>(w, "lineV1")->X2, control<monitor::GraphLine>(w, "lineV1")->X1);
    EXPECT_DOUBLE_EQ(control<monitor::GraphLine>(w, "lineH1")->Y1, monitor::map_y(190, control<monitor::GraphView>(w, "Graph")->ScaleHeight()));  // 255 is not accepted
}

// The emulated hand moves the stick through the H gate at the box's own pace
// while the window ticks every 50 ms: every gear shows, and the map fills.
TEST_F(Live, MovingTheStickThroughTheGatesDrawsTheGateAndShowsTheGears) {
    auto& box = add_box();
    frmMain& w = open();
    std::set<QString> captions;
    for (std::int64_t ms = 0; ms < emulator::DemoStick::cycle_length(); ms += 10) {
        const emulator::StickPosition p = emulator::DemoStick::position_at(ms);
        box.move_stick(p.x, p.y, p.sequential);
        if (ms % 50 == 0) {
            tick(w);
            captions.insert(control<QLabel>(w, "Gear")->text());
        }
    }
    for (const char* gear : {"1", "2", "3", "4", "5", "6", "R", "N"}) EXPECT_TRUE(captions.count(gear)) << gear;
    EXPECT_GT(cells(w.mon().h_pattern_trace), 200);
    // The drawing shows the travel: the gate's corners are inked, the centre
    // of an empty quadrant is not.
    const QImage image = control<monitor::GraphView>(w, "Graph")->snapshot();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 64) ++dark;
    EXPECT_GT(dark, 300);
}
