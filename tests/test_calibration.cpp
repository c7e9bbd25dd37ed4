// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Automatic calibration, save and factory reset, driven through the window
// against the emulated box.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QStandardPaths>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>  // makedev; elsewhere in sys/types.h
#endif

#include "Backup.h"
#include "DemoStick.h"
#include "ThresholdBox.h"
#include "BoxStore.h"
#include <QCheckBox>

#include "BoxSession.h"
#include "SafeFile.h"
#include "Writes.h"
#include "WindowFixture.h"

using namespace Qt::StringLiterals;

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);

void expect_idle_look(frmMain& w) {
    EXPECT_EQ(w.cmd_auto_cal->text(), "Start calibration");
    for (monitor::GraphLine* l : {w.lineH1, w.LineH2, w.lineV1, w.lineV2})
        EXPECT_EQ(l->color(), kBlue) << l->objectName().toStdString();
    for (monitor::GraphLine* l : {w.SeqH1, w.SeqH2})
        EXPECT_EQ(l->color(), kGreen) << l->objectName().toStdString();
    for (QLineEdit* t : {w.Text7, w.Text8, w.Text9, w.Text10}) EXPECT_TRUE(t->isEnabled());
    EXPECT_FALSE(w.mon().auto_calibrating);
}

// Sweeps the corners of a travel range in one mode, a tick after each report.
// It starts in the middle: a range opens 10 wide around its first report, so a
// first report in a corner would reach 5 past it.
void sweep(frmMain& w, emulator::BoxModel& box, int x0, int x1, int y0, int y1, bool sequential = false) {
    box.move_stick(static_cast<std::uint8_t>((x0 + x1) / 2), static_cast<std::uint8_t>((y0 + y1) / 2), sequential);
    w.Timer_Timer();
    for (int x : {x0, x1})
        for (int y : {y0, y1}) {
            box.move_stick(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), sequential);
            w.Timer_Timer();
        }
}

}  // namespace

using Calibration = WindowFixture;

TEST_F(Calibration, StartShowsTheMessageAndLocksTheThresholds) {
    add_box();
    frmMain& w = open();
    w.cmd_auto_cal_Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "information");
    EXPECT_EQ(dialogs.shown[0].title, "Automatic calibration");
    EXPECT_EQ(dialogs.shown[0].text,
              "Move shifter through all gears several times\r\n\r\nThen click \"Save calibration\" button");
    EXPECT_TRUE(w.mon().auto_calibrating);
    EXPECT_EQ(w.cmd_auto_cal->text(), "Cancel calibration");
    for (monitor::GraphLine* l : {w.lineH1, w.LineH2, w.lineV1, w.lineV2,
                                  w.SeqH1, w.SeqH2})
        EXPECT_EQ(l->color(), kRed);
    for (QLineEdit* t : {w.Text7, w.Text8, w.Text9, w.Text10}) EXPECT_FALSE(t->isEnabled());
}

TEST_F(Calibration, TicksWhileTheMessageIsOpenAlreadyCalibrate) {
    auto& box = add_box();
    frmMain& w = open();
    dialogs.while_open = [&] {
        box.move_stick(125, 125);
        box.move_stick(20, 10);
        box.move_stick(230, 240);
        w.Timer_Timer();
    };
    w.cmd_auto_cal_Click();
    EXPECT_EQ(w.Gear->text(), "");
    EXPECT_EQ(w.mon().x_min, 20);
    EXPECT_EQ(w.mon().x_max, 230);
    EXPECT_EQ(w.thresholds().h1, 72);
    EXPECT_EQ(w.thresholds().h2, 177);
    EXPECT_EQ(w.thresholds().v1, 56);
    EXPECT_EQ(w.thresholds().v2, 194);
    EXPECT_EQ(w.Text9->text(), "72");
    EXPECT_EQ(w.Text7->text(), "194");
}

TEST_F(Calibration, CancelReloadsTheBoxThresholdsAndAFreshStartForgetsTheRange) {
    auto& box = add_box();
    frmMain& w = open();
    w.cmd_auto_cal_Click();
    sweep(w, box, 20, 230, 10, 240);
    ASSERT_EQ(w.thresholds().h1, 72);
    w.cmd_auto_cal_Click();  // cancel
    expect_idle_look(w);
    EXPECT_EQ(w.thresholds().h1, 102);
    EXPECT_EQ(w.Text9->text(), "102");
    EXPECT_EQ(w.Text10->text(), "152");
    EXPECT_EQ(w.Text7->text(), "190");
    EXPECT_EQ(w.Text8->text(), "64");
    EXPECT_TRUE(setting_writes(box).empty());

    w.cmd_auto_cal_Click();
    EXPECT_EQ(w.mon().x_min, 255);
    EXPECT_EQ(w.mon().x_max, 0);
    EXPECT_EQ(w.mon().h_pattern_trace.count(), 0u);
    sweep(w, box, 100, 110, 100, 110);
    EXPECT_EQ(w.thresholds().h1, 102);  // 100 + 10 * 0.25, not the first range's
}

TEST_F(Calibration, RemovalDuringACalibrationKeepsItRunning) {
    auto& box = add_box();
    frmMain& w = open();
    w.cmd_auto_cal_Click();
    sweep(w, box, 20, 230, 10, 240);
    box.unplug();
    w.Timer_Timer();
    EXPECT_TRUE(w.mon().auto_calibrating);
    EXPECT_EQ(w.cmd_auto_cal->text(), "Cancel calibration");
    EXPECT_FALSE(w.cmd_auto_cal->isEnabled());
    EXPECT_EQ(w.mon().x_min, 255);

    emulator::BoxSettings s;
    s.value[device::kH1] = 90;
    box.set_settings(s);
    box.plug();
    w.Timer_Timer();
    ASSERT_TRUE(w.conn().device_found);
    EXPECT_EQ(w.thresholds().h1, 90);  // the readout loads the box's settings
    sweep(w, box, 40, 200, 30, 220);
    EXPECT_EQ(w.thresholds().h1, 80);   // 40 + 160 * 0.25: the new range only
    EXPECT_EQ(w.thresholds().v2, 182);  // 30 + 190 * 0.8
}

TEST_F(Calibration, ClosingDuringACalibrationLeavesTheBoxAsItWas) {
    auto& box = add_box();
    frmMain& w = open();
    w.cmd_auto_cal_Click();
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
    EXPECT_FALSE(w.Graph->gear_view());  // the plain trace by default
    QTest::mouseClick(w.chkGearView, Qt::LeftButton);
    ASSERT_TRUE(w.Graph->gear_view());
    EXPECT_GT(w.width(), plain_width);  // the check beside the map, the map as it was
    // Neutral, then gear 3 at (128, 200), above v2 (190).
    const QLabel* check = w.findChild<QLabel*>("lblGearCheck");
    for (int i = 0; i < 3; ++i) {
        box.move_stick(128, 127);
        w.Timer_Timer();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] {
        box.move_stick(128, 200);
        w.Timer_Timer();
        return !check->text().contains("Gear 3: not reached");
    }));
    EXPECT_EQ(check->accessibleDescription(), check->text());
    // Suggest puts its lines into the boxes of the mode; nothing reaches the
    // box before Save.
    box.clear_log();
    QTest::mouseClick(w.findChild<QPushButton*>("cmdSuggest"), Qt::LeftButton);
    EXPECT_EQ(w.Text7->text(), "163");
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
    w.btnUpdate_Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, "confirm");
    EXPECT_TRUE(dialogs.shown[0].text.contains("(X 128, Y 200) would be in neutral."))
        << dialogs.shown[0].text.toStdString();
    EXPECT_TRUE(setting_writes(box).empty());
}

TEST_F(Calibration, SaveWritesTheFourHPatternThresholds) {
    auto& box = add_box();
    frmMain& w = open();
    w.cmd_auto_cal_Click();
    sweep(w, box, 20, 230, 10, 240);
    box.clear_log();
    w.btnUpdate_Click();
    expect_idle_look(w);
    EXPECT_EQ(setting_writes(box), (std::vector<int>{3, 2, 0, 1}));
    // Then, after them, the settings are read back.
    ASSERT_EQ(box.feature_log().size(), 5u);
    EXPECT_EQ(box.feature_log()[4][1], 0xF0);
    EXPECT_EQ(w.lblSaved->text(), "Saved h1=72 h2=177 v1=56 v2=194 (H-pattern) to the box");
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
        w.cmd_auto_cal_Click();
        for (std::int64_t ms = 0; ms < emulator::DemoStick::cycle_length(); ms += 10) {
            const emulator::StickPosition p = emulator::DemoStick::position_at(ms);
            box.move_stick(p.x, p.y, p.sequential, p.reverse);
            if (ms % 50 == 40) w.Timer_Timer();
        }
        box.move_stick(127, 127);  // back in the H gate's neutral: Save writes its four
        w.Timer_Timer();
        // Each mode from its own travel: minus stays within reach.
        EXPECT_EQ(std::tuple(w.thresholds().s1, w.thresholds().s2), std::tuple(79, 175));
        box.clear_log();
        w.btnUpdate_Click();
        EXPECT_EQ(dialogs.shown.size(), 1u) << dialogs.shown.back().text.toStdString();  // the start message only
        EXPECT_EQ(setting_writes(box), (std::vector<int>{3, 2, 0, 1}));
    }
}

TEST_F(Calibration, SaveInSequentialModeWritesTwoThresholds) {
    auto& box = add_box();
    frmMain& w = open();
    w.cmd_auto_cal_Click();
    sweep(w, box, 120, 130, 30, 220, true);
    EXPECT_EQ(w.thresholds().s1, 68);   // 30 + 190 * 0.2
    EXPECT_EQ(w.thresholds().s2, 182);  // 30 + 190 * 0.8
    EXPECT_EQ(w.thresholds().h1, 102);  // H-pattern thresholds untouched
    box.clear_log();
    w.btnUpdate_Click();
    EXPECT_EQ(setting_writes(box), (std::vector<int>{5, 4}));
    EXPECT_EQ(box.settings().value[device::kS2], 182);
    EXPECT_EQ(box.settings().value[device::kS1], 68);
    EXPECT_EQ(w.lblSaved->text(), "Saved s1=68 s2=182 (sequential) to the box");
}

TEST_F(Calibration, ATypedValueThatIsNotAThresholdIsMarkedAndSaveWritesNothing) {
    auto& box = add_box();
    frmMain& w = open();
    box.move_stick(128, 128);
    w.Timer_Timer();
    w.Text8->setFocus();
    w.Text8->selectAll();
    QTest::keyClicks(w.Text8, "abc");
    auto* v1 = static_cast<ThresholdBox*>(w.Text8);
    EXPECT_TRUE(w.Text8->accessibleDescription().startsWith("Not taken: \"abc\" is not a number; v1 keeps its last valid value."))
        << w.Text8->accessibleDescription().toStdString();
    EXPECT_FALSE(v1->problem().isEmpty());
    box.move_stick(128, 128);
    w.Timer_Timer();
    box.clear_log();
    QTest::mouseClick(w.btnUpdate, Qt::LeftButton);
    EXPECT_TRUE(setting_writes(box).empty());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "v1 holds \"abc\", which is not a number: nothing was saved.");
    // A value it takes clears the mark.
    w.Text8->selectAll();
    QTest::keyClicks(w.Text8, "70");
    EXPECT_TRUE(v1->problem().isEmpty());
    EXPECT_FALSE(w.Text8->accessibleDescription().contains("Not taken"));
}

TEST_F(Calibration, SaveWithoutABoxOnlyEndsTheCalibration) {
    frmMain& w = open();
    w.cmd_auto_cal_Click();
    w.btnUpdate_Click();
    expect_idle_look(w);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(Calibration, AThresholdOutsideAByteIsNotSavedAndTheUserIsTold) {
    auto& box = add_box();
    frmMain& w = open();
    w.cmd_auto_cal_Click();
    // A stick that only ever reported X = 0.
    for (int y : {10, 240}) {
        box.move_stick(0, static_cast<std::uint8_t>(y));
        w.Timer_Timer();
    }
    ASSERT_EQ(w.thresholds().h1, -3);
    EXPECT_EQ(w.Text9->text(), "-3");
    box.clear_log();
    w.btnUpdate_Click();
    EXPECT_TRUE(box.feature_log().empty());
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].kind, "critical");
    EXPECT_TRUE(dialogs.shown[1].text.contains("h1"));
    EXPECT_TRUE(dialogs.shown[1].text.contains("-3"));
    EXPECT_TRUE(dialogs.shown[1].text.contains("Move the shifter through all gears"));
    // The calibration goes on: widening the travel makes the save succeed.
    EXPECT_TRUE(w.mon().auto_calibrating);
    sweep(w, box, 20, 230, 10, 240);
    w.btnUpdate_Click();
    EXPECT_EQ(setting_writes(box), (std::vector<int>{3, 2, 0, 1}));
}

TEST_F(Calibration, AFailedSaveIsReported) {
    auto& box = add_box();
    frmMain& w = open();
    box.fail_feature_writes = true;
    w.btnUpdate_Click();
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
    w.Timer_Timer();
    w.cmd_auto_cal_Click();
    box.clear_log();
    w.cmd_factory_reset_Click();
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
    EXPECT_EQ(w.Text9->text(), "102");
    EXPECT_EQ(w.mon().x_min, 255);
}

TEST_F(Calibration, FactoryResetWithoutABoxSendsNothingAndKeepsTheTexts) {
    frmMain& w = open();
    w.Text9->setText("77");
    w.cmd_factory_reset_Click();
    EXPECT_EQ(w.Text9->text(), "77");
    EXPECT_EQ(w.thresholds().v2, 190);
    EXPECT_EQ(w.windowTitle(), "Kelvo/Dravi shifter interface calibration");
}

// Start, move the stick through every gate, save: the box now decides gears
// with the derived thresholds.
TEST_F(Calibration, EndToEndTheBoxDecodesWithTheSavedThresholds) {
    auto& box = add_box();
    frmMain& w = open();
    w.cmd_auto_cal_Click();
    const int gates[][2] = {{128, 128}, {40, 230}, {40, 20}, {128, 230}, {128, 20}, {216, 230}, {216, 20}, {216, 4}, {128, 128}};
    for (int round = 0; round < 3; ++round)
        for (const auto& g : gates) {
            box.move_stick(static_cast<std::uint8_t>(g[0]), static_cast<std::uint8_t>(g[1]));
            w.Timer_Timer();
        }
    w.btnUpdate_Click();
    // X 40..216 gives h1 84, h2 172; Y 4..230 gives v1 49, v2 184.
    EXPECT_EQ(box.settings().value[device::kH1], 84);
    EXPECT_EQ(box.settings().value[device::kH2], 172);
    EXPECT_EQ(box.settings().value[device::kV1], 49);
    EXPECT_EQ(box.settings().value[device::kV2], 184);

    // X = 95 lies in the first column under the factory thresholds (h1 102)
    // and in the middle one now.
    box.move_stick(95, 200);
    w.Timer_Timer();
    EXPECT_EQ(w.Gear->text(), "3");
    // Y = 55 is in the lower row under the factory thresholds (v1 64) and
    // neutral now.
    box.move_stick(180, 55);
    w.Timer_Timer();
    EXPECT_EQ(w.Gear->text(), "N");
    box.move_stick(180, 30);
    w.Timer_Timer();
    EXPECT_EQ(w.Gear->text(), "6");
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
        w.btnUpdate_Click();
        const bool kept = ignored < 0;
        EXPECT_EQ(w.lblSaved->text(), kept ? "Saved h1=90 h2=160 v1=60 v2=200 (H-pattern) to the box" : "");
        ASSERT_EQ(dialogs.shown.size(), kept ? 0u : 1u);
        if (!kept) {
            EXPECT_EQ(dialogs.shown[0].kind, "critical");
            EXPECT_EQ(dialogs.shown[0].title, "Save calibration");
            EXPECT_TRUE(dialogs.shown[0].text.contains("h2 152 instead of 160")) << dialogs.shown[0].text.toStdString();
            EXPECT_FALSE(dialogs.shown[0].text.contains("h1"));
            EXPECT_EQ(w.thresholds().h2, 160);  // as typed, for a second try
        }
        // The confirmation goes with the next change.
        w.Text9->setFocus();
        QTest::keyClicks(w.Text9, "1");
        EXPECT_EQ(w.lblSaved->text(), "");
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
        w.cmd_auto_cal_Click();
        dialogs.shown.clear();
        w.thresholds().v1 = 200;  // not below v2 (190)
        box.clear_log();
        dialogs.answer = yes;
        w.btnUpdate_Click();
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].kind, "confirm");  // Yes / No, No by default
        EXPECT_TRUE(dialogs.shown[0].text.startsWith("v1 (200) is not below v2 (190)"));
        EXPECT_EQ(setting_writes(box), yes ? (std::vector<int>{3, 2, 0, 1}) : std::vector<int>{});
        EXPECT_EQ(w.mon().auto_calibrating, !yes);  // declined: the calibration goes on
        window.reset();
        bus.boxes().clear();
    }
}

TEST(BoxStore, NamesAreUniquePortableAndReversible) {
    const QString caron50(50, QChar(0x011B));
    const std::pair<QString, const char*> names[] = {
        {"KV-000123", "KV-000123.json"},
        {"../KV 1", "%2E%2E%2FKV%201.json"},            // no path, no blank
        {"kv-a", "_K_V-_A.json"},                      // not "KV-A.json" in letter case only
        {"KV-A", "KV-A.json"},
        {u"KV-\u0141"_s, "KV-+0141.json"},              // not the "KV-A" of its low byte
        {u"\u0100KV"_s, "+0100KV.json"},                // a first unit with a zero low byte
        {"CON", "CO%4E.json"},                          // names Windows keeps for devices
        {"COM1", "COM%31.json"},
        {"LPT9", "LPT%39.json"},
        {caron50, nullptr},                             // 255 bytes: filled in below
        // Too long for a name of their own: a digest keeps each apart.
        {caron50 + "x", "="},
        {QString(126, 'k'), "="},
        {QString(51, QChar(0x4E2D)), "="},
        {"", nullptr},
    };
    for (const auto& [serial, expected] : names) {
        SCOPED_TRACE(serial.toStdString());
        const std::optional<QString> name = calibration::BoxStore::file_name(serial);
        if (expected && QString(expected) == "=") {
            ASSERT_TRUE(name);
            EXPECT_LE(name->toUtf8().size(), 255) << name->toStdString();
            EXPECT_TRUE(name->startsWith(calibration::BoxStore::file_name(serial.left(20))->chopped(5)));
            EXPECT_NE(name, calibration::BoxStore::file_name(serial.chopped(1) + QChar('y')));
            EXPECT_FALSE(calibration::BoxStore::serial_from_file_name(*name));
            continue;
        }
        if (serial == caron50) {
            ASSERT_TRUE(name);
            EXPECT_EQ(name->toUtf8().size(), 255);
        } else if (!expected) {
            EXPECT_FALSE(name);
            continue;
        } else {
            EXPECT_EQ(name, QString(expected));
        }
        EXPECT_EQ(calibration::BoxStore::serial_from_file_name(*name), serial);
    }
    // Only the names the store gives are read back.
    for (const char* other : {"%41.json", "CON.json", "_a.json", "KV.JSON", "+01.json", "KV-1"})
        EXPECT_FALSE(calibration::BoxStore::serial_from_file_name(other)) << other;
}

TEST(BoxStore, KeepsEveryBoxApartAndReadsOnlyItsOwnRegularFile) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/boxes";
    const calibration::BoxStore store(folder);
    const QString long_serial = QString(50, 'K') + "1";
    const QString accented(43, QChar(0x00E9));
    const QString serials[] = {"KV-A", u"KV-\u0141"_s, "kv-a", long_serial, QString(50, 'K') + "2", accented,
                               u"\u0100KV"_s, QString(125, 'k') + "1", QString(125, 'k') + "2"};
    for (int i = 0; i < 9; ++i) {
        const device::Thresholds t{i, 0, 0, 0, 0, 0};
        ASSERT_TRUE(store.remember(calibration::make_backup(device::kPidKelvo, 0x0106, serials[i], t)));
    }
#ifdef Q_OS_UNIX
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
#endif
    for (int i = 0; i < 9; ++i) {
        const auto back = store.last_read(serials[i]);
        ASSERT_TRUE(back) << i;
        EXPECT_EQ(back->thresholds.h1, i);
    }
    EXPECT_FALSE(store.last_read("KV-1"));
    // A box without a serial cannot be told from another and is not kept.
    ASSERT_TRUE(store.remember(calibration::make_backup(device::kPidKelvo, 0x0106, "", {})));
    EXPECT_FALSE(store.last_read(""));

    // A file under one box's name that holds another serial is not that box's.
    const QString path = folder + "/" + *calibration::BoxStore::file_name("KV-A");
    ASSERT_TRUE(calibration::write_file_safely(
        path, calibration::write_backup(calibration::make_backup(device::kPidKelvo, 0x0106, "KV-B", {}))));
    EXPECT_FALSE(store.last_read("KV-A"));

#ifdef Q_OS_UNIX
    // A pipe under a box's name neither blocks the store nor is written
    // through; the store keeps nothing for that box meanwhile.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_FALSE(store.last_read("KV-A"));
    EXPECT_FALSE(store.remember(calibration::make_backup(device::kPidKelvo, 0x0106, "KV-A", {})));
    EXPECT_EQ(QFileInfo(path).isFile(), false);
    EXPECT_TRUE(QFileInfo::exists(path));
    // The session reading that box says the store did not keep it.
    emulator::EmulatedBackend bus;
    emulator::BoxIdentity id;
    id.vendor_id = kTestVid;
    id.serial = u"KV-A";
    bus.add_box(id);
    device::DeviceConnection conn;
    calibration::BoxSession session(conn, &store);
    ASSERT_TRUE(session.find(bus, kTestVid));
    ASSERT_TRUE(session.read_info().thresholds);
    EXPECT_EQ(session.store_status().fault(), device::Fault::Failed);
    EXPECT_NE(session.store_status().sentence().find("cannot be kept"), std::string::npos) << session.store_status();
#endif

    // What a killed writer left is gone when the store is next opened.
    const QString leftover = folder + "/.shiftercal-Ab3xY9.tmp";
    ASSERT_TRUE(calibration::is_safe_write_leftover(QFileInfo(leftover).fileName()));
    {
        QFile f(leftover);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const calibration::BoxStore reopened(folder);
    EXPECT_FALSE(QFile::exists(leftover));
    EXPECT_TRUE(reopened.last_read(accented));
}

#ifdef Q_OS_UNIX
// Everything but a new or a regular file is refused and left as it was: a
// symbolic link (not followed), a pipe (not blocked on), a device node (only
// root may make one), a folder. Nothing here touches a real device.
TEST(SafeFile, WritesOnlyNewOrRegularFilesAndLeavesTheRestAsTheyWere) {
    QTemporaryDir dir;
    const auto at = [&dir](const char* name) { return QFile::encodeName(dir.filePath(name)); };
    {
        QFile target(dir.filePath("target"));
        ASSERT_TRUE(target.open(QIODevice::WriteOnly));
        target.write("old");
    }
    ASSERT_EQ(::chmod(at("target").constData(), 0640), 0);
    ASSERT_EQ(::symlink(at("target").constData(), at("link").constData()), 0);
    ASSERT_EQ(::mkfifo(at("pipe").constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::mknod(at("device").constData(), S_IFCHR | 0600, makedev(1, 3)), 0);
    }

    struct Case {
        const char* name;
        const char* refusal;  // nullptr: written
    };
    const Case cases[] = {
        {"new", nullptr}, {"target", nullptr}, {"link", "is a symbolic link"}, {"pipe", "is a named pipe"},
        {"folder", "is a folder"}, {"device", root ? "is a device" : nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        struct stat before {};
        const bool existed = ::lstat(at(c.name).constData(), &before) == 0;
        const device::Status s = calibration::write_file_safely(dir.filePath(c.name), "new");
        struct stat after {};
        ASSERT_EQ(::lstat(at(c.name).constData(), &after), 0);
        if (!c.refusal) {
            EXPECT_TRUE(s) << s;
            EXPECT_TRUE(S_ISREG(after.st_mode));
            const auto read = calibration::read_file_safely(dir.filePath(c.name), 100);
            ASSERT_TRUE(read);
            EXPECT_EQ(*read, "new");
            if (existed) {
                EXPECT_EQ(after.st_mode & 0777, 0640u);
            }
            continue;
        }
        EXPECT_EQ(s.fault(), device::Fault::Failed);
        EXPECT_NE(s.sentence().find(c.refusal), std::string::npos) << s;
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_FALSE(calibration::read_file_safely(dir.filePath(c.name), 100));
    }
    // The link's target was written only by name, never through the link.
    EXPECT_EQ(*calibration::read_file_safely(dir.filePath("target"), 100), "new");
    EXPECT_EQ(QFileInfo(dir.filePath("link")).symLinkTarget(), dir.filePath("target"));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::System | QDir::AllEntries | QDir::NoDotAndDotDot).size(),
              root ? 6 : 5);
}
#endif

TEST(Writes, Orders) {
    device::Thresholds t{1, 2, 3, 4, 5, 6};
    auto indices = [](const std::vector<calibration::SettingWrite>& ws) {
        std::vector<int> v;
        for (const auto& x : ws) v.push_back(x.index * 1000 + x.value);
        return v;
    };
    EXPECT_EQ(indices(calibration::save_writes(t, false)), (std::vector<int>{3004, 2003, 1, 1002}));
    EXPECT_EQ(indices(calibration::save_writes(t, true)), (std::vector<int>{5006, 4005}));
    EXPECT_EQ(indices(calibration::all_writes(t)), (std::vector<int>{3004, 2003, 1, 1002, 5006, 4005}));
}

// The one place that decides what reaches the box, against the emulated box
// holding the factory thresholds (h1 102 h2 152 v1 64 v2 190 s1 100 s2 155).
class Session : public WindowFixture {
protected:
    void SetUp() override {
        box = &add_box();
        ASSERT_TRUE(session.find(bus, kTestVid));
        ASSERT_TRUE(session.read_info().thresholds);
        box->clear_log();
    }
    calibration::WriteResult write(const calibration::WritePlan& plan, bool yes = true) {
        asked.clear();
        return session.write(plan, [&](const calibration::Question& q) {
            asked.push_back(q.kind);
            return yes;
        });
    }
    emulator::BoxModel* box = nullptr;
    device::DeviceConnection conn;
    calibration::BoxSession session{conn};
    std::vector<calibration::Question::Kind> asked;
};

TEST_F(Session, OneRangeForEveryWriteAndACrossedPairOnlyOnAYes) {
    using K = calibration::Question::Kind;
    // 255 is a byte the box holds: a file read from such a box restores onto it.
    EXPECT_TRUE(write(session.plan_set({{device::kS2, 255}})).status);
    auto r = write(session.plan_set({{device::kV1, 256}}));
    EXPECT_EQ(r.status, device::Fault::OutOfRange);
    EXPECT_EQ(setting_writes(*box), (std::vector<int>{5}));  // the 255 only
    // h1 against the h2 the box holds; equal lines are crossed too.
    for (const int h1 : {200, 152}) {
        r = write(session.plan_set({{device::kH1, h1}}), false);
        EXPECT_EQ(r.status, device::Fault::Declined);
        EXPECT_EQ(asked, (std::vector<K>{K::CrossedPair}));
    }
    EXPECT_EQ(setting_writes(*box), (std::vector<int>{5}));
    // Only the mode saved counts.
    EXPECT_TRUE(session.plan_save({150, 150, 64, 190, 100, 155}, true).questions.empty());
    // Lines that would move where the stick rests in a gear ask too.
    monitor::GearRecord record;
    for (int i = 0; i < 20; ++i) record.add(128, 200, monitor::Gear::G3, monitor::kModeH);
    write(session.plan_save({102, 152, 64, 210, 100, 155}, false, record.reports()), false);
    EXPECT_EQ(asked, (std::vector<K>{K::GearCrossing}));
    // A file from another model, or from another box, asks first.
    calibration::Backup file = calibration::make_backup(device::kPidDravi, 0x0106, "KV-000123", {});
    file.thresholds = calibration::factory_thresholds();
    write(session.plan_restore(file), false);
    EXPECT_EQ(asked, (std::vector<K>{K::OtherModel}));
    file.product_id = device::kPidKelvo;
    file.serial = "KV-A";
    write(session.plan_restore(file), false);
    EXPECT_EQ(asked, (std::vector<K>{K::OtherBox}));
    // Between boxes without a serial only the place on the bus tells: a file
    // from this box's path asks nothing, one from elsewhere or nowhere asks.
    emulator::EmulatedBackend bare_bus;
    emulator::BoxIdentity bare;
    bare.vendor_id = kTestVid;
    bare.serial = u"";
    bare_bus.add_box(bare);
    device::DeviceConnection bare_conn;
    calibration::BoxSession bare_session(bare_conn);
    ASSERT_TRUE(bare_session.find(bare_bus, kTestVid));
    ASSERT_TRUE(bare_session.read_info().thresholds);
    ASSERT_EQ(bare_conn.device_path, "emu:box0#1");
    file.serial = "";
    for (const char* path : {"emu:box0#1", "emu:box1#1", ""}) {
        file.path = path;
        const calibration::WritePlan plan = bare_session.plan_restore(file);
        const bool ours = file.path == QString::fromStdString(bare_conn.device_path);
        ASSERT_EQ(plan.questions.size(), ours ? 0u : 1u) << path;
        if (!ours) {
            EXPECT_EQ(plan.questions[0].kind, K::OtherBox) << plan.questions[0].statement;
        }
    }
}

TEST_F(Session, AWriteThatBreaksOffNamesWhatChangedAndWhatWasThere) {
    box->unplug_after_transfers = 2;
    const auto r = write(session.plan_put_back({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(r.status, device::Fault::Failed);
    EXPECT_EQ(r.status.sentence(), "The box stopped taking thresholds after 2 of 6: v2 and v1 were written, h1, h2, "
                                   "s2 and s1 were not. Before, it held v2=190 v1=64.");
    EXPECT_EQ(calibration::assignments(r.undo()), "v2=190 v1=64");
}

TEST_F(Session, TheReadBackNamesEveryThresholdTheBoxDidNotKeep) {
    box->ignored_setting = device::kH2;
    auto r = write(session.plan_save({90, 160, 60, 200, 100, 155}, false));
    EXPECT_EQ(r.status, device::Fault::NotKept);
    EXPECT_EQ(r.status.sentence(), "The box kept other thresholds than were written: h2 152 instead of 160.");
}

TEST_F(Session, ClosingWritesNothingSaveWouldRefuseOrAsk) {
    auto closing = [&](const device::Thresholds& t, bool calibrating = false) {
        return calibration::assignments(session.closing_writes(t, calibrating));
    };
    EXPECT_EQ(closing({102, 152, 64, 190, 100, 155}), "v2=190 v1=64 h1=102 h2=152 s2=155 s1=100");
    // A calibration running at close is cancelled: what it derived goes back
    // to what the box holds.
    session.mark_derived(calibration::mode_settings(false));
    EXPECT_EQ(closing({30, 200, 20, 230, 100, 155}, true), "v2=190 v1=64 h1=102 h2=152 s2=155 s1=100");
    // A crossed pair goes only once the user said yes to it.
    EXPECT_EQ(closing({102, 152, 64, 190, 160, 155}), "v2=190 v1=64 h1=102 h2=152");
    write(session.plan_save({102, 152, 64, 190, 160, 155}, true));
    EXPECT_EQ(closing({102, 152, 64, 190, 160, 155}), "v2=190 v1=64 h1=102 h2=152 s2=155 s1=160");
    // Another box found: nothing known of it is written.
    session.found();
    EXPECT_EQ(closing({102, 152, 64, 190, 100, 155}), "");
}

TEST(Backup, RoundTripsAndRefusesWhatIsNotOurs) {
    calibration::Backup b;
    b.model = "Kelvo";
    b.product_id = 0x10A0;
    b.serial = "KV-000123";
    b.firmware_version = 0x0106;
    b.saved = QDateTime(QDate(2026, 12, 8), QTime(23, 59), Qt::UTC);
    b.thresholds = {0, 255, 64, 190, 100, 155};
    const QByteArray file = calibration::write_backup(b);
    const auto back = calibration::read_backup(file);
    ASSERT_TRUE(back) << back.status();
    EXPECT_EQ(back->thresholds, b.thresholds);
    EXPECT_EQ(back->serial, b.serial);
    EXPECT_EQ(back->product_id, 0x10A0);
    EXPECT_EQ(back->firmware_version, 0x0106);
    EXPECT_EQ(back->saved, b.saved);

    const QByteArray bad[] = {
        file.left(file.size() / 2),                                   // truncated
        "[1, 2]",                                                     // not ours
        QByteArray(file).replace("shifter-calibration", "other"),     // another format
        QByteArray(file).replace("\"version\": 1", "\"version\": 2"),  // a later one
        QByteArray(file).replace("255", "256"),                       // out of range
        QByteArray(file).replace("255", "25.5"),                      // not whole
        QByteArray(file).replace("\"h2\"", "\"h7\""),                // a threshold missing
        QByteArray(file).replace("\"h2\": 255", "\"h2\": 255, \"h2\": 255"),  // a threshold twice
        QByteArray(file).replace("\"h2\": 255", "\"h2\": 255, \"\\u0068\\u0032\": 255"),  // the same, escaped
        QByteArray(file).replace("\"box\": {", "\"box\": {}, \"box\": {"),  // the box twice
        QByteArray(file).replace("\"h1\": 0", "\"h1\": -1"),                 // below 0
        QByteArray(calibration::kMaxBackupBytes + 1, ' '),
    };
    for (const QByteArray& b : bad) {
        const auto r = calibration::read_backup(b);
        EXPECT_FALSE(r) << b.left(80).toStdString();
        EXPECT_EQ(r.fault(), device::Fault::BadAnswer);
    }
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Nothing a test does lands in the user's own application data.
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
