// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Automatic calibration, save and factory reset, driven through the window
// against the emulated box.
#include <QTemporaryDir>
#include <QTest>

#include "emulator/DemoStick.h"
#include "app/ThresholdBox.h"
#include <QCheckBox>

#include "tests/WindowFixture.h"

using namespace Qt::StringLiterals;

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);

void expect_idle_look(frmMain& w) {
    EXPECT_EQ(control<QPushButton>(w, "cmd_auto_cal")->text(), "Start calibration");
    for (monitor::GraphLine* l : {control<monitor::GraphLine>(w, "lineH1"), control<monitor::GraphLine>(w, "LineH2"), control<monitor::GraphLine>(w, "lineV1"), control<monitor::GraphLine>(w, "lineV2")})
        EXPECT_EQ(l->color(), kBlue) << l->objectName().toStdString();
    for (monitor::GraphLine* l : {control<monitor::GraphLine>(w, "SeqH1"), control<monitor::GraphLine>(w, "SeqH2")})
        EXPECT_EQ(l->color(), kGreen) << l->objectName().toStdString();
    for (QLineEdit* t : {control<QLineEdit>(w, "Text7"), control<QLineEdit>(w, "Text8"), control<QLineEdit>(w, "Text9"), control<QLineEdit>(w, "Text10")}) EXPECT_TRUE(t->isEnabled());
    EXPECT_FALSE(w.mon().auto_calibrating);
}

// Sweeps the corners of a travel range in one mode, a tick after each report.
// It starts in the middle: a range opens 10 wide around its first report, so a
// first report in a corner would reach 5 past it.
void sweep(frmMain& w, emulator::BoxModel& box, int x0, int x1, int y0, int y1, bool sequential = false) {
    box.move_stick(static_cast<std::uint8_t>((x0 + x1) / 2), static_cast<std::uint8_t>((y0 + y1) / 2), sequential);
    tick(w);
    for (int x : {x0, x1})
        for (int y : {y0, y1}) {
            box.move_stick(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), sequential);
            tick(w);
        }
}

}  // namespace

using Calibration = WindowFixture;

TEST_F(Calibration, StartShowsTheMessageAndLocksTheThresholds) {
    add_box();
    frmMain& w = open();
    click(w, "cmd_auto_cal");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "information");
    EXPECT_EQ(dialogs.shown[0].title, "Automatic calibration");
    EXPECT_EQ(dialogs.shown[0].text,
              "Move shifter through all gears several times\r\n\r\nThen click \"Save calibration\" button");
    EXPECT_TRUE(w.mon().auto_calibrating);
    EXPECT_EQ(control<QPushButton>(w, "cmd_auto_cal")->text(), "Cancel calibration");
    for (monitor::GraphLine* l : {control<monitor::GraphLine>(w, "lineH1"), control<monitor::GraphLine>(w, "LineH2"), control<monitor::GraphLine>(w, "lineV1"), control<monitor::GraphLine>(w, "lineV2"),
                                  control<monitor::GraphLine>(w, "SeqH1"), control<monitor::GraphLine>(w, "SeqH2")})
        EXPECT_EQ(l->color(), kRed);
    for (QLineEdit* t : {control<QLineEdit>(w, "Text7"), control<QLineEdit>(w, "Text8"), control<QLineEdit>(w, "Text9"), control<QLineEdit>(w, "Text10")}) EXPECT_FALSE(t->isEnabled());
}

TEST_F(Calibration, TicksWhileTheMessageIsOpenAlreadyCalibrate) {
    auto& box = add_box();
    frmMain& w = open();
    dialogs.while_open = [&] {
        box.move_stick(125, 125);
        box.move_stick(20, 10);
        box.move_stick(230, 240);
        tick(w);
    };
    click(w, "cmd_auto_cal");
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "");
    EXPECT_EQ(w.mon().x_min, 20);
    EXPECT_EQ(w.mon().x_max, 230);
    EXPECT_EQ(w.thresholds().h1, 72);
    EXPECT_EQ(w.thresholds().h2, 177);
    EXPECT_EQ(w.thresholds().v1, 56);
    EXPECT_EQ(w.thresholds().v2, 194);
    EXPECT_EQ(control<QLineEdit>(w, "Text9")->text(), "72");
    EXPECT_EQ(control<QLineEdit>(w, "Text7")->text(), "194");
}

TEST_F(Calibration, CancelReloadsTheBoxThresholdsAndAFreshStartForgetsTheRange) {
    auto& box = add_box();
    frmMain& w = open();
    click(w, "cmd_auto_cal");
    sweep(w, box, 20, 230, 10, 240);
    ASSERT_EQ(w.thresholds().h1, 72);
    click(w, "cmd_auto_cal");  // cancel
    expect_idle_look(w);
    EXPECT_EQ(w.thresholds().h1, 102);
    EXPECT_EQ(control<QLineEdit>(w, "Text9")->text(), "102");
    EXPECT_EQ(control<QLineEdit>(w, "Text10")->text(), "152");
    EXPECT_EQ(control<QLineEdit>(w, "Text7")->text(), "190");
    EXPECT_EQ(control<QLineEdit>(w, "Text8")->text(), "64");
    EXPECT_TRUE(setting_writes(box).empty());

    click(w, "cmd_auto_cal");
    EXPECT_EQ(w.mon().x_min, 255);
    EXPECT_EQ(w.mon().x_max, 0);
    EXPECT_EQ(w.mon().h_pattern_trace.count(), 0u);
    sweep(w, box, 100, 110, 100, 110);
    EXPECT_EQ(w.thresholds().h1, 102);  // 100 + 10 * 0.25, not the first range's
}

TEST_F(Calibration, RemovalDuringACalibrationKeepsItRunning) {
    auto& box = add_box();
    frmMain& w = open();
    click(w, "cmd_auto_cal");
    sweep(w, box, 20, 230, 10, 240);
    box.unplug();
    tick(w);
    EXPECT_TRUE(w.mon().auto_calibrating);
    EXPECT_EQ(control<QPushButton>(w, "cmd_auto_cal")->text(), "Cancel calibration");
    EXPECT_FALSE(control<QPushButton>(w, "cmd_auto_cal")->isEnabled());
    EXPECT_EQ(w.mon().x_min, 255);

    emulator::BoxSettings s;
    s.value[device::kH1] = 90;
    box.set_settings(s);
    box.plug();
    tick(w);
    ASSERT_TRUE(w.conn().device_found);
    EXPECT_EQ(w.thresholds().h1, 90);  // the readout loads the box's settings
    sweep(w, box, 40, 200, 30, 220);
    EXPECT_EQ(w.thresholds().h1, 80);   // 40 + 160 * 0.25: the new range only
    EXPECT_EQ(w.thresholds().v2, 182);  // 30 + 190 * 0.8
}

TEST_F(Calibration, ClosingDuringACalibrationLeavesTheBoxAsItWas) {
    auto& box = add_box();
    frmMain& w = open();
    click(w, "cmd_auto_cal");
    sweep(w, box, 20, 230, 10, 240);
    ASSERT_EQ(w.thresholds().h1, 72);
    w.close();
    const emulator::BoxSettings factory;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(box.settings().value[i], factory.value[i]) << i;
}

TEST_F(Calibration, TheGearViewChecksEachGearAndSaveAsksBeforeALineTakesOne) {
    auto& box = add_box();
    frmMain& w = open();
    w.show();
    const int plain_width = w.width();
    EXPECT_FALSE(control<monitor::GraphView>(w, "Graph")->gear_view());  // the plain trace by default
    QTest::mouseClick(control<QCheckBox>(w, "chkGearView"), Qt::LeftButton);
    ASSERT_TRUE(control<monitor::GraphView>(w, "Graph")->gear_view());
    EXPECT_GT(w.width(), plain_width);  // the check beside the map, the map as it was
    // Neutral, then gear 3 at (128, 200), above v2 (190).
    const QLabel* check = w.findChild<QLabel*>("lblGearCheck");
    for (int i = 0; i < 3; ++i) {
        box.move_stick(128, 127);
        tick(w);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] {
        box.move_stick(128, 200);
        tick(w);
        return !check->text().contains("Gear 3: not reached");
    }));
    EXPECT_EQ(check->accessibleDescription(), check->text());
    // Suggest puts its lines into the boxes of the mode; nothing reaches the
    // box before Save.
    box.clear_log();
    QTest::mouseClick(w.findChild<QPushButton*>("cmdSuggest"), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(w, "Text7")->text(), "163");
    EXPECT_EQ(w.thresholds().v2, 163);
    EXPECT_TRUE(box.feature_log().empty());
    EXPECT_TRUE(w.findChild<QLabel*>("lblSuggestion")
                    ->text()
                    .contains("Gear 3: margin 10 now, 25 suggested"));
    // A v2 above where the stick rests would take gear 3's points away.
    w.thresholds().v2 = 210;
    box.clear_log();
    dialogs.shown.clear();
    dialogs.answer = false;
    click(w, "btnUpdate");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "confirm");
    EXPECT_TRUE(dialogs.shown[0].text.contains("(X 128, Y 200) would be in neutral."))
        << dialogs.shown[0].text.toStdString();
    EXPECT_TRUE(setting_writes(box).empty());
}

TEST_F(Calibration, SaveWritesTheFourHPatternThresholds) {
    auto& box = add_box();
    frmMain& w = open();
    click(w, "cmd_auto_cal");
    sweep(w, box, 20, 230, 10, 240);
    box.clear_log();
    click(w, "btnUpdate");
    expect_idle_look(w);
    EXPECT_EQ(setting_writes(box), (std::vector<int>{3, 2, 0, 1}));
    // Then, after them, the settings are read back.
    ASSERT_EQ(box.feature_log().size(), 5u);
    EXPECT_EQ(box.feature_log()[4][1], 0xF0);
    EXPECT_EQ(control<QLabel>(w, "lblSaved")->text(), "Saved h1=72 h2=177 v1=56 v2=194 (H-pattern) to the box");
    EXPECT_EQ(box.settings().value[device::kH1], 72);
    EXPECT_EQ(box.settings().value[device::kH2], 177);
    EXPECT_EQ(box.settings().value[device::kV1], 56);
    EXPECT_EQ(box.settings().value[device::kV2], 194);
    EXPECT_EQ(box.settings().value[device::kS1], 100);  // the other mode is left alone
    EXPECT_TRUE(dialogs.shown.size() == 1u);            // only the start message
}

// Start calibration, one turn of the demo's hand through every gate of both
// modes resting in each, Save: no question, on each way a box tells reverse.
TEST_F(Calibration, ACalibrationThroughEveryGateSavesWithoutAQuestion) {
    auto& box = add_box();
    frmMain& w = open();
    for (const emulator::ReverseRule rule : emulator::kReverseRules) {
        SCOPED_TRACE(emulator::reverse_rule_name(rule));
        box.reverse_rule = rule;
        box.set_settings({});
        dialogs.shown.clear();
        click(w, "cmd_auto_cal");
        for (std::int64_t ms = 0; ms < emulator::DemoStick::cycle_length(); ms += 10) {
            const emulator::StickPosition p = emulator::DemoStick::position_at(ms);
            box.move_stick(p.x, p.y, p.sequential, p.reverse);
            if (ms % 50 == 40) tick(w);
        }
        box.move_stick(127, 127);  // back in the H gate's neutral: Save writes its four
        tick(w);
        // Each mode from its own travel: minus stays within reach.
        EXPECT_EQ(std::tuple(w.thresholds().s1, w.thresholds().s2), std::tuple(79, 175));
        box.clear_log();
        click(w, "btnUpdate");
        EXPECT_EQ(dialogs.shown.size(), 1u) << dialogs.shown.back().text.toStdString();  // the start message only
        EXPECT_EQ(setting_writes(box), (std::vector<int>{3, 2, 0, 1}));
    }
}

TEST_F(Calibration, SaveInSequentialModeWritesTwoThresholds) {
    auto& box = add_box();
    frmMain& w = open();
    click(w, "cmd_auto_cal");
    sweep(w, box, 120, 130, 30, 220, true);
    EXPECT_EQ(w.thresholds().s1, 68);   // 30 + 190 * 0.2
    EXPECT_EQ(w.thresholds().s2, 182);  // 30 + 190 * 0.8
    EXPECT_EQ(w.thresholds().h1, 102);  // H-pattern thresholds untouched
    box.clear_log();
    click(w, "btnUpdate");
    EXPECT_EQ(setting_writes(box), (std::vector<int>{5, 4}));
    EXPECT_EQ(box.settings().value[device::kS2], 182);
    EXPECT_EQ(box.settings().value[device::kS1], 68);
    EXPECT_EQ(control<QLabel>(w, "lblSaved")->text(), "Saved s1=68 s2=182 (sequential) to the box");
}

TEST_F(Calibration, ATypedValueThatIsNotAThresholdIsMarkedAndSaveWritesNothing) {
    auto& box = add_box();
    frmMain& w = open();
    box.move_stick(128, 128);
    tick(w);
    control<QLineEdit>(w, "Text8")->setFocus();
    control<QLineEdit>(w, "Text8")->selectAll();
    QTest::keyClicks(control<QLineEdit>(w, "Text8"), "abc");
    auto* v1 = static_cast<ThresholdBox*>(control<QLineEdit>(w, "Text8"));
    EXPECT_TRUE(control<QLineEdit>(w, "Text8")->accessibleDescription().startsWith("Not taken: \"abc\" is not a number; v1 keeps its last valid value."))
        << control<QLineEdit>(w, "Text8")->accessibleDescription().toStdString();
    EXPECT_FALSE(v1->problem().isEmpty());
    box.move_stick(128, 128);
    tick(w);
    box.clear_log();
    QTest::mouseClick(control<QPushButton>(w, "btnUpdate"), Qt::LeftButton);
    EXPECT_TRUE(setting_writes(box).empty());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "v1 holds \"abc\", which is not a number: nothing was saved.");
    // A value it takes clears the mark.
    control<QLineEdit>(w, "Text8")->selectAll();
    QTest::keyClicks(control<QLineEdit>(w, "Text8"), "70");
    EXPECT_TRUE(v1->problem().isEmpty());
    EXPECT_FALSE(control<QLineEdit>(w, "Text8")->accessibleDescription().contains("Not taken"));
}

// With no box the calibration's buttons take no click.
TEST_F(Calibration, WithoutABoxCalibrationCannotStartOrSave) {
    frmMain& w = open();
    for (const char* name : {"cmd_auto_cal", "btnUpdate", "cmd_factory_reset"}) {
        EXPECT_FALSE(control<QPushButton>(w, name)->isEnabled()) << name;
        click(w, name);
    }
    EXPECT_EQ(control<QPushButton>(w, "cmd_auto_cal")->text(), "Start calibration");
    EXPECT_FALSE(w.mon().auto_calibrating);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(Calibration, AThresholdOutsideAByteIsNotSavedAndTheUserIsTold) {
    auto& box = add_box();
    frmMain& w = open();
    click(w, "cmd_auto_cal");
    // A stick that only ever reported X = 0.
    for (int y : {10, 240}) {
        box.move_stick(0, static_cast<std::uint8_t>(y));
        tick(w);
    }
    ASSERT_EQ(w.thresholds().h1, -3);
    EXPECT_EQ(control<QLineEdit>(w, "Text9")->text(), "-3");
    box.clear_log();
    click(w, "btnUpdate");
    EXPECT_TRUE(box.feature_log().empty());
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].kind, "critical");
    EXPECT_TRUE(dialogs.shown[1].text.contains("h1"));
    EXPECT_TRUE(dialogs.shown[1].text.contains("-3"));
    EXPECT_TRUE(dialogs.shown[1].text.contains("Move the shifter through all gears"));
    // The calibration goes on: widening the travel makes the save succeed.
    EXPECT_TRUE(w.mon().auto_calibrating);
    sweep(w, box, 20, 230, 10, 240);
    click(w, "btnUpdate");
    EXPECT_EQ(setting_writes(box), (std::vector<int>{3, 2, 0, 1}));
}

TEST_F(Calibration, AFailedSaveIsReported) {
    auto& box = add_box();
    frmMain& w = open();
    box.fail_feature_writes = true;
    click(w, "btnUpdate");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "critical");
}

TEST_F(Calibration, FactoryResetWritesAllSixThenReadsThemBack) {
    auto& box = add_box();
    emulator::BoxSettings odd;
    for (int i = 0; i < 6; ++i) odd.value[i] = static_cast<std::uint8_t>(10 + i);
    box.set_settings(odd);
    frmMain& w = open();
    box.move_stick(128, 128, true);  // the box reports sequential mode
    tick(w);
    click(w, "cmd_auto_cal");
    box.clear_log();
    click(w, "cmd_factory_reset");
    expect_idle_look(w);
    const auto& log = box.feature_log();
    ASSERT_EQ(log.size(), 9u);
    const std::pair<int, int> expected[] = {{3, 190}, {2, 64}, {0, 102}, {1, 152}, {5, 155}, {4, 100}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(log[i][1], 0xEE);
        EXPECT_EQ(log[i][2], expected[i].first);
        EXPECT_EQ(log[i][3], expected[i].second);
    }
    EXPECT_EQ(log[6][1], 0xF0);  // the write's read-back
    EXPECT_EQ(log[7][1], 0xDB);  // the readout follows
    EXPECT_EQ(log[8][1], 0xF0);
    EXPECT_EQ(w.thresholds().h1, 102);
    EXPECT_EQ(w.thresholds().s2, 155);
    EXPECT_EQ(control<QLineEdit>(w, "Text9")->text(), "102");
    EXPECT_EQ(w.mon().x_min, 255);
}

TEST_F(Calibration, FactoryResetWithoutABoxSendsNothingAndKeepsTheTexts) {
    frmMain& w = open();
    control<QLineEdit>(w, "Text9")->setText("77");
    const device::Thresholds before = w.thresholds();
    const QString title = w.windowTitle();
    ASSERT_FALSE(control<QPushButton>(w, "cmd_factory_reset")->isEnabled());
    click(w, "cmd_factory_reset");
    EXPECT_EQ(control<QLineEdit>(w, "Text9")->text(), "77");
    EXPECT_EQ(w.thresholds().v2, before.v2);
    EXPECT_EQ(w.windowTitle(), title);
}

// Start, move the stick through every gate, save: the box now decides gears
// with the derived thresholds.
TEST_F(Calibration, EndToEndTheBoxDecodesWithTheSavedThresholds) {
    auto& box = add_box();
    frmMain& w = open();
    click(w, "cmd_auto_cal");
    const int gates[][2] = {{128, 128}, {40, 230}, {40, 20}, {128, 230}, {128, 20}, {216, 230}, {216, 20}, {216, 4}, {128, 128}};
    for (int round = 0; round < 3; ++round)
        for (const auto& g : gates) {
            box.move_stick(static_cast<std::uint8_t>(g[0]), static_cast<std::uint8_t>(g[1]));
            tick(w);
        }
    click(w, "btnUpdate");
    // X 40..216 gives h1 84, h2 172; Y 4..230 gives v1 49, v2 184.
    EXPECT_EQ(box.settings().value[device::kH1], 84);
    EXPECT_EQ(box.settings().value[device::kH2], 172);
    EXPECT_EQ(box.settings().value[device::kV1], 49);
    EXPECT_EQ(box.settings().value[device::kV2], 184);

    // X = 95 lies in the first column under the factory thresholds (h1 102)
    // and in the middle one now.
    box.move_stick(95, 200);
    tick(w);
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "3");
    // Y = 55 is in the lower row under the factory thresholds (v1 64) and
    // neutral now.
    box.move_stick(180, 55);
    tick(w);
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "N");
    box.move_stick(180, 30);
    tick(w);
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "6");
}

TEST_F(Calibration, SaveReadsTheThresholdsBackAndNamesWhatTheBoxDidNotKeep) {
    // A box that keeps every value, and one that takes h2 without keeping it.
    for (const int ignored : {-1, int{device::kH2}}) {
        SCOPED_TRACE(ignored);
        auto& box = add_box();
        box.ignored_setting = ignored;
        frmMain& w = open();
        dialogs.shown.clear();
        w.thresholds() = {90, 160, 60, 200, 100, 155};
        click(w, "btnUpdate");
        const bool kept = ignored < 0;
        EXPECT_EQ(control<QLabel>(w, "lblSaved")->text(), kept ? "Saved h1=90 h2=160 v1=60 v2=200 (H-pattern) to the box" : "");
        ASSERT_EQ(dialogs.shown.size(), kept ? 0u : 1u);
        if (!kept) {
            EXPECT_EQ(dialogs.shown[0].kind, "critical");
            EXPECT_EQ(dialogs.shown[0].title, "Save calibration");
            EXPECT_TRUE(dialogs.shown[0].text.contains("h2 152 instead of 160")) << dialogs.shown[0].text.toStdString();
            EXPECT_FALSE(dialogs.shown[0].text.contains("h1"));
            EXPECT_EQ(w.thresholds().h2, 160);  // as typed, for a second try
        }
        // The confirmation goes with the next change.
        control<QLineEdit>(w, "Text9")->setFocus();
        QTest::keyClicks(control<QLineEdit>(w, "Text9"), "1");
        EXPECT_EQ(control<QLabel>(w, "lblSaved")->text(), "");
        // What was read back is kept for the box, by its serial number.
        const auto kept_file = calibration::BoxStore(store_dir.path()).last_read("KV-000123");
        ASSERT_TRUE(kept_file);
        EXPECT_EQ(kept_file->thresholds.h2, kept ? 160 : 152);
        w.close();
        window.reset();
        bus.boxes().clear();
    }
}

TEST_F(Calibration, ACrossedPairIsSavedOnlyWhenTheUserSaysSo) {
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        auto& box = add_box();
        frmMain& w = open();
        click(w, "cmd_auto_cal");
        dialogs.shown.clear();
        w.thresholds().v1 = 200;  // not below v2 (190)
        box.clear_log();
        dialogs.answer = yes;
        click(w, "btnUpdate");
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].kind, "confirm");  // Yes / No, No by default
        EXPECT_TRUE(dialogs.shown[0].text.startsWith("v1 (200) is not below v2 (190)"));
        EXPECT_EQ(setting_writes(box), yes ? (std::vector<int>{3, 2, 0, 1}) : std::vector<int>{});
        EXPECT_EQ(w.mon().auto_calibrating, !yes);  // declined: the calibration goes on
        window.reset();
        bus.boxes().clear();
    }
}
