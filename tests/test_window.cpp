// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The window driven as a user drives it, against the emulated box.
#include <gtest/gtest.h>

#include <QDir>
#include <QCheckBox>
#include <QTest>

#include <set>

#include "calibration/BoxStore.h"
#include "device/Commands.h"
#include "app/GearPanel.h"
#include "app/ThresholdBox.h"
#include "tests/WindowFixture.h"
#include "app/WindowLayout.h"

using emulator::BoxIdentity;
using emulator::EmulatedBackend;

namespace {
constexpr std::uint16_t kVid = kTestVid;
}  // namespace

using Window = WindowFixture;

TEST_F(Window, StartsWithoutABoxInTheNoDeviceState) {
    frmMain& w = open();
    EXPECT_EQ(w.windowTitle(), "Vantrel Shifter interface calibration v1.5");
    for (QPushButton* b : {control<QPushButton>(w, "btnUpdate"), control<QPushButton>(w, "cmd_CheckFirmware"), control<QPushButton>(w, "cmd_auto_cal"), control<QPushButton>(w, "cmd_factory_reset")})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    for (QLineEdit* t : {control<QLineEdit>(w, "Text7"), control<QLineEdit>(w, "Text8"), control<QLineEdit>(w, "Text9"), control<QLineEdit>(w, "Text10")}) {
        EXPECT_TRUE(t->isHidden());
        EXPECT_TRUE(t->text().isEmpty());
    }
    for (QWidget* m : {control<QWidget>(w, "TickV1"), control<QWidget>(w, "TickV2"), control<QWidget>(w, "TickH1"), control<QWidget>(w, "TickH2")}) EXPECT_TRUE(m->isHidden());
    EXPECT_EQ(control<QLabel>(w, "Gear")->text(), "");
    EXPECT_FALSE(control<QGroupBox>(w, "Frame1")->isEnabled());
    EXPECT_EQ(control<QTimer>(w, "Timer")->interval(), 500);
    EXPECT_TRUE(control<QTimer>(w, "Timer")->isActive());
    EXPECT_FALSE(w.conn().device_found);
}

TEST_F(Window, ControlsCarryTheirDesignNamesAndPlaces) {
    frmMain& w = open();
    struct Case { const char* name; QRect px; };
    const Case cases[] = {
        {"cmd_auto_cal", {48, 480, 167, 33}}, {"btnUpdate", {240, 480, 167, 33}},
        {"Graph", {99, 184, 260, 260}},       {"Text9", {144, 144, 49, 25}},
        {"Frame1", {8, 8, 433, 121}},         {"Gear", {376, 272, 53, 91}},
    };
    for (const Case& c : cases) {
        auto* child = w.findChild<QWidget*>(c.name);
        ASSERT_NE(child, nullptr) << c.name;
        EXPECT_EQ(child->geometry(), c.px) << c.name;
    }
    for (const char* name : {"lblSerialNumber", "lblVersion", "lblProduct", "lblManuf", "Label2", "Label3",
                             "Label4", "Label5", "TickV1", "TickV2", "TickH1", "TickH2", "lblX", "lblY",
                             "Text7", "Text8", "Text10", "cmd_factory_reset", "cmd_CheckFirmware", "Pic", "Progress"})
        EXPECT_NE(w.findChild<QWidget*>(name), nullptr) << name;
    EXPECT_NE(w.findChild<QTimer*>("Timer"), nullptr);
    for (const char* line : {"lineV1", "lineV2", "lineH1", "LineH2", "SeqH1", "SeqH2"})
        EXPECT_NE(control<monitor::GraphView>(w, "Graph")->findChild<monitor::GraphLine*>(line), nullptr) << line;
}

TEST_F(Window, GrowsAroundTheMapAndShrinksToAReadableMinimum) {
    auto& box = add_box();
    frmMain& w = open();
    box.move_stick(128, 128);
    tick(w);
    w.show();
    // The pairs of controls that touch; a marker on the map's edge and the X
    // value over the buttons' top are designed so.
    auto touching = [&] {
        std::set<std::pair<QString, QString>> pairs;
        const QList<QWidget*> all = control<monitor::GraphView>(w, "Graph")->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* a : all)
            for (QWidget* b : all)
                if (a->objectName() < b->objectName() && a->isVisible() && b->isVisible() &&
                    a->geometry().intersects(b->geometry()))
                    pairs.insert({a->objectName(), b->objectName()});
        return pairs;
    };
    const auto designed = touching();
    struct Case { QSize window; int map; };
    const Case cases[] = {{{849, 900}, 560}, {{1200, 700}, 360}, {{600, 900}, 411}, {layout::WindowLayout::minimum_size(), layout::kMinMapSide},
                          {layout::WindowLayout::design_size(), 260}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.map);
        w.resize(c.window);
        ASSERT_TRUE(QTest::qWaitFor([&] { return control<monitor::GraphView>(w, "Graph")->width() == c.map; }));
        EXPECT_EQ(control<monitor::GraphView>(w, "Graph")->height(), c.map);
        EXPECT_EQ(control<QLineEdit>(w, "Text7")->x() - (control<monitor::GraphView>(w, "Graph")->geometry().right() + 1), 17);
        EXPECT_EQ(control<QPushButton>(w, "cmd_auto_cal")->x() - (control<monitor::GraphView>(w, "Graph")->x() + c.map / 2), 48 - 229);  // centred under it as designed
        EXPECT_EQ(control<QPushButton>(w, "cmd_factory_reset")->geometry().bottom() - control<monitor::GraphView>(w, "Graph")->geometry().bottom(), 576 - 443);
        EXPECT_EQ(touching(), designed);
        // Larger by 100 pixels or more: each box above the map beside its line.
        if (c.map >= 360) {
            EXPECT_NEAR(control<QLineEdit>(w, "Text9")->geometry().center().x(), control<monitor::GraphView>(w, "Graph")->x() + 1 + control<monitor::GraphLine>(w, "lineV1")->X1, 1);
        }
    }
    EXPECT_EQ(control<monitor::GraphView>(w, "Graph")->geometry(), QRect(99, 184, 260, 260));
    // A short screen at twice the scale (1024 x 600): the map, its boxes and
    // the buttons in sight without scrolling, the information below them.
    const QSize compact = layout::WindowLayout::compact_size();
    w.setMinimumSize(0, 0);  // as it is fitted to such a screen
    w.resize(compact.width() + 20, 287);
    ASSERT_TRUE(QTest::qWaitFor([&] { return control<QPushButton>(w, "cmd_auto_cal")->x() > control<monitor::GraphView>(w, "Graph")->geometry().right(); }));
    for (QWidget* c : std::initializer_list<QWidget*>{control<monitor::GraphView>(w, "Graph"), control<QLineEdit>(w, "Text7"), control<QLineEdit>(w, "Text8"), control<QLineEdit>(w, "Text9"), control<QLineEdit>(w, "Text10"), control<QLabel>(w, "Gear"), control<QPushButton>(w, "btnUpdate"),
                                                     control<QPushButton>(w, "cmd_auto_cal"), control<QPushButton>(w, "cmd_CheckFirmware"), control<QPushButton>(w, "cmd_factory_reset")})
        EXPECT_TRUE(QRect(0, 0, compact.width(), 287).contains(c->geometry())) << c->objectName().toStdString();
    EXPECT_GT(control<QGroupBox>(w, "Frame1")->y(), control<monitor::GraphView>(w, "Graph")->geometry().bottom());
    // Room beside the design for a panel of its own leaves the design as it is.
    const layout::WindowLayout with_panel(layout::WindowLayout::design_size(200), 200);
    EXPECT_EQ(with_panel.map(), QRect(99, 184, 260, 260));
    EXPECT_EQ(with_panel.panel(), QRect(449, 0, 200, 600));
    // Maximised, the height limits the map and the panel takes the width left.
    const layout::WindowLayout maximised(QSize(1280, 881), GearPanel::kWidth);
    EXPECT_EQ(std::tuple(maximised.map().width(), maximised.panel().left(), maximised.panel().width()),
              std::tuple(541, 730, 550));
}

TEST_F(Window, RestoringFromMaximisedGivesTheSizeFromBeforeWithTheGearViewsWidth) {
    add_box();
    frmMain& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const int before = w.width();
    w.showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMaximized() && w.width() > before; }));
    control<QCheckBox>(w, "chkGearView")->click();
    w.showNormal();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.width() == before + GearPanel::kWidth; })) << w.width();
}

TEST_F(Window, StartsConnectedWithTheBoxReadBeforeItIsShown) {
    emulator::BoxSettings s;
    const std::uint8_t values[6] = {0x66, 0x98, 0x40, 0xBE, 0x64, 0x9B};
    std::copy(values, values + 6, s.value);
    auto& box = add_box();
    box.set_settings(s);
    frmMain& w = open();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "Kelvo shifter interface calibration v1.6");
    EXPECT_EQ(w.thresholds().h1, 102);
    EXPECT_EQ(w.thresholds().h2, 152);
    EXPECT_EQ(w.thresholds().v1, 64);
    EXPECT_EQ(w.thresholds().v2, 190);
    EXPECT_EQ(w.thresholds().s1, 100);
    EXPECT_EQ(w.thresholds().s2, 155);
    EXPECT_EQ(control<QLineEdit>(w, "Text9")->text(), "102");
    EXPECT_EQ(control<QLineEdit>(w, "Text10")->text(), "152");
    EXPECT_EQ(control<QLineEdit>(w, "Text7")->text(), "190");
    EXPECT_EQ(control<QLineEdit>(w, "Text8")->text(), "64");
    EXPECT_EQ(control<QLabel>(w, "lblManuf")->text(), " Vantrel");
    EXPECT_EQ(control<QLabel>(w, "lblProduct")->text(), " Kelvo shifter interface");
    EXPECT_EQ(control<QLabel>(w, "lblSerialNumber")->text(), " KV-000123");
    EXPECT_EQ(control<QLabel>(w, "lblVersion")->text(), " 1.6");
    for (QPushButton* b : {control<QPushButton>(w, "btnUpdate"), control<QPushButton>(w, "cmd_CheckFirmware"), control<QPushButton>(w, "cmd_auto_cal"), control<QPushButton>(w, "cmd_factory_reset")})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    for (QLineEdit* t : {control<QLineEdit>(w, "Text7"), control<QLineEdit>(w, "Text8"), control<QLineEdit>(w, "Text9"), control<QLineEdit>(w, "Text10")}) EXPECT_TRUE(t->isEnabled());
    EXPECT_TRUE(control<QGroupBox>(w, "Frame1")->isEnabled());
    EXPECT_TRUE(control<monitor::GraphView>(w, "Graph")->isEnabled());
    EXPECT_FALSE(control<QWidget>(w, "TickV1")->isHidden());
    EXPECT_EQ(control<QTimer>(w, "Timer")->interval(), 50);
    // Attached, then the settings read: 00 DB 01, then 00 F0 01 00.
    ASSERT_EQ(box.feature_log().size(), 2u);
    EXPECT_EQ(box.feature_log()[0], report_bytes({0x00, 0xDB, 0x01}));
    EXPECT_EQ(box.feature_log()[1], report_bytes({0x00, 0xF0, 0x01, 0x00}));
}

TEST_F(Window, TitleFollowsTheModel) {
    // Every product's title is in the product table's test; here the window
    // takes it from the box it found.
    BoxIdentity id;
    id.vendor_id = kVid;
    id.product_id = device::kPidDravi;
    id.serial = u"<b>DR</b><img src=x>\u011b";
    bus.add_box(id, clock.clock());
    // Something in the store stands where this box's file would go.
    ASSERT_TRUE(QDir(store_dir.path()).mkdir(*calibration::BoxStore::file_name(QString::fromStdU16String(id.serial))));
    frmMain& w = open();
    EXPECT_EQ(w.windowTitle(), "Dravi shifter interface calibration v1.6");
    EXPECT_FALSE(w.windowIcon().isNull());
    // What the box says is shown as the characters it is, never as markup,
    // and a low byte that is a control (ESC here) as a mark.
    EXPECT_EQ(control<QLabel>(w, "lblSerialNumber")->text(), " <b>DR</b><img src=x>?");
    // The store could not keep the box: said where saves report.
    EXPECT_TRUE(control<QLabel>(w, "lblSaved")->text().startsWith("The calibration of the box cannot be kept"))
        << control<QLabel>(w, "lblSaved")->text().toStdString();
    for (QLabel* l : {control<QLabel>(w, "lblManuf"), control<QLabel>(w, "lblProduct"), control<QLabel>(w, "lblSerialNumber"), control<QLabel>(w, "lblVersion"), control<QLabel>(w, "lblNotice"), control<QLabel>(w, "lblSaved")})
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << l->objectName().toStdString();
}

TEST_F(Window, BootloaderGetsOnlyTheInformationFrameAndIsNeverWrittenTo) {
    auto& box = add_box(device::kPidBootloader);
    {
        frmMain& w = open();
        EXPECT_TRUE(control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled());
        EXPECT_TRUE(control<QGroupBox>(w, "Frame1")->isEnabled());
        for (QPushButton* b : {control<QPushButton>(w, "btnUpdate"), control<QPushButton>(w, "cmd_auto_cal"), control<QPushButton>(w, "cmd_factory_reset")}) EXPECT_FALSE(b->isEnabled());
        for (QLineEdit* t : {control<QLineEdit>(w, "Text7"), control<QLineEdit>(w, "Text8"), control<QLineEdit>(w, "Text9"), control<QLineEdit>(w, "Text10")}) EXPECT_TRUE(t->isHidden());
        EXPECT_FALSE(control<monitor::GraphView>(w, "Graph")->isEnabled());
        EXPECT_TRUE(control<QWidget>(w, "TickV1")->isHidden());
        EXPECT_EQ(control<QLabel>(w, "lblManuf")->text(), " Vantrel");
        // Ticks poll the bootloader, the readout runs again, then the window closes.
        for (int i = 0; i < 5; ++i) tick(w);
        w.read_device_info();
        EXPECT_TRUE(w.conn().device_found);
        w.close();
    }
    window.reset();
    EXPECT_TRUE(box.feature_log().empty());
    EXPECT_TRUE(box.flash().empty());
}

TEST_F(Window, ClosingWritesEverythingBackByteForByte) {
    auto& box = add_box();
    frmMain& w = open();
    box.clear_log();
    w.thresholds() = {10, 20, 30, 40, 50, 60};
    w.close();
    const auto& log = box.feature_log();
    ASSERT_EQ(log.size(), 7u);
    // Bytes 2 and 3 carry over from the settings read of the readout (01 00).
    EXPECT_EQ(log[0], report_bytes({0x00, 0xDB, 0x00, 0x00}));
    EXPECT_EQ(log[1], report_bytes({0x00, 0xEE, 3, 40}));
    EXPECT_EQ(log[2], report_bytes({0x00, 0xEE, 2, 30}));
    EXPECT_EQ(log[3], report_bytes({0x00, 0xEE, 0, 10}));
    EXPECT_EQ(log[4], report_bytes({0x00, 0xEE, 1, 20}));
    EXPECT_EQ(log[5], report_bytes({0x00, 0xEE, 5, 60}));
    EXPECT_EQ(log[6], report_bytes({0x00, 0xEE, 4, 50}));
    EXPECT_FALSE(box.tool_attached());
    EXPECT_EQ(bus.open_handles(), 0);
    window.reset();  // the destructor does not send it all again
    EXPECT_EQ(box.feature_log().size(), 7u);
}

TEST_F(Window, ClosingSkipsThresholdsThatDoNotFitInAByte) {
    auto& box = add_box();
    frmMain& w = open();
    box.clear_log();
    w.thresholds() = {-3, 3, 30, 260, 50, 60};
    w.close();
    std::vector<int> indices;
    for (const auto& r : box.feature_log())
        if (r[1] == 0xEE) indices.push_back(r[2]);
    EXPECT_EQ(indices, (std::vector<int>{2, 1, 5, 4}));
    EXPECT_EQ(box.settings().value[device::kH1], 102);  // untouched, not wrapped
}

TEST_F(Window, ClosingWritesOnlyThresholdsTheToolKnows) {
    // The settings read fails (a full reply, then a short one): the working
    // zeros are not the box's calibration and must not replace it.
    for (std::size_t reply_bytes : {0u, 7u}) {
        SCOPED_TRACE(reply_bytes);
        auto& box = add_box();
        box.fail_feature_reads = reply_bytes == 0;
        box.feature_reply_bytes = reply_bytes;
        frmMain& w = open();
        box.clear_log();
        w.close();
        ASSERT_EQ(box.feature_log().size(), 1u);
        EXPECT_EQ(box.feature_log()[0][1], 0xDB);
        EXPECT_EQ(box.settings().value[device::kH1], 102);
        bus.boxes().clear();
    }
    // Typed since: that one threshold is known and written back.
    auto& box = add_box();
    box.fail_feature_reads = true;
    frmMain& w = open();
    box.clear_log();
    control<QLineEdit>(w, "Text9")->setFocus();
    control<QLineEdit>(w, "Text9")->selectAll();
    QTest::keyClicks(control<QLineEdit>(w, "Text9"), "77");
    box.queue_raw(128, 128, 0, 0, 0);  // the texts are read back on a tick with reports
    tick(w);
    w.close();
    EXPECT_EQ(setting_writes(box), (std::vector<int>{device::kH1}));
    EXPECT_EQ(box.settings().value[device::kH1], 77);
}

TEST_F(Window, ClosingWithoutABoxSendsNothing) {
    // The window lost its box; the box is back on the bus but not yet found.
    auto& box = add_box();
    frmMain& w = open();
    box.unplug();
    tick(w);
    ASSERT_FALSE(w.conn().device_found);
    box.plug();
    box.clear_log();
    w.close();
    EXPECT_TRUE(box.feature_log().empty());
    EXPECT_EQ(bus.open_handles(), 0);
}

TEST_F(Window, BoxWithOddReportLengthsIsShownButNotServed) {
    auto& box = add_box();
    box.app_caps = {6, 8};
    frmMain& w = open();
    EXPECT_TRUE(w.conn().device_found);
    EXPECT_FALSE(control<QLabel>(w, "lblNotice")->isHidden());
    EXPECT_TRUE(control<QLabel>(w, "lblNotice")->text().contains("8 bytes"));
    EXPECT_FALSE(control<QPushButton>(w, "btnUpdate")->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w, "cmd_auto_cal")->isEnabled());
    EXPECT_EQ(control<QLabel>(w, "lblManuf")->text(), " Vantrel");
    w.close();
    EXPECT_TRUE(box.feature_log().empty());
}

TEST_F(Window, BoxThatMayNotBeOpenedIsExplainedInTheFrame) {
    add_box();
    bus.open_errors = {device::HidError{device::HidErrorKind::PermissionDenied,
                                        "The box is attached, but this user may not open it."}};
    frmMain& w = open();
    EXPECT_FALSE(w.conn().device_found);
    EXPECT_FALSE(control<QLabel>(w, "lblNotice")->isHidden());
    EXPECT_TRUE(control<QLabel>(w, "lblNotice")->text().contains("may not open"));
    bus.open_errors.clear();
    tick(w);
    EXPECT_TRUE(w.conn().device_found);
    EXPECT_TRUE(control<QLabel>(w, "lblNotice")->isHidden());
}

TEST_F(Window, DisableAndEnableAfterAConnection) {
    add_box();
    frmMain& w = open();
    w.DisableUI();
    EXPECT_EQ(w.windowTitle(), "Vantrel Shifter interface calibration v1.5");
    EXPECT_EQ(control<QTimer>(w, "Timer")->interval(), 500);
    EXPECT_EQ(control<QLabel>(w, "lblManuf")->text(), "");
    EXPECT_TRUE(control<QLabel>(w, "lblX")->isHidden());
    for (monitor::GraphLine* l : {control<monitor::GraphLine>(w, "lineV1"), control<monitor::GraphLine>(w, "SeqH1")}) EXPECT_FALSE(l->isVisible());
    w.EnableUI();
    EXPECT_EQ(w.windowTitle(), "Kelvo shifter interface calibration v1.6");
    EXPECT_EQ(control<QTimer>(w, "Timer")->interval(), 50);
    EXPECT_FALSE(control<QLabel>(w, "lblX")->isHidden());
    EXPECT_EQ(control<QLabel>(w, "lblManuf")->text(), " Vantrel");
}

TEST_F(Window, ExplainsItselfToTheKeyboardAndScreenReaders) {
    frmMain& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(w.focusWidget(), &w);  // no box: the window itself, not a read-only value
    EXPECT_TRUE(control<QLabel>(w, "lblNotice")->isVisibleTo(&w));
    EXPECT_TRUE(control<QLabel>(w, "lblNotice")->text().contains("Plug the shifter's interface box into a USB port"));
    for (QWidget* caption : {control<QLabel>(w, "Label4"), control<QLabel>(w, "Label5"), control<QLabel>(w, "lblManuf"), control<QLabel>(w, "lblProduct")})  // the rows it leaves in sight
        EXPECT_FALSE(control<QLabel>(w, "lblNotice")->geometry().intersects(QRect(caption->mapTo(control<QLabel>(w, "lblNotice")->parentWidget(), QPoint()),
                                                              caption->size())))
            << caption->objectName().toStdString();
    auto& box = add_box();
    tick(w);
    ASSERT_TRUE(w.conn().device_found);
    EXPECT_EQ(w.focusWidget(), control<QLineEdit>(w, "Text9"));  // the keyboard goes to h1's box once a box is found
    EXPECT_FALSE(control<QLabel>(w, "lblNotice")->isVisibleTo(&w));
    // Every control says what it is and what it does.
    for (QWidget* c : w.findChildren<QWidget*>()) {
        if (c->objectName().isEmpty() || c->objectName().startsWith("qt_")) continue;
        EXPECT_FALSE(c->accessibleName().isEmpty()) << c->objectName().toStdString();
        EXPECT_FALSE(c->accessibleDescription().isEmpty()) << c->objectName().toStdString();
    }
    EXPECT_EQ(control<QLabel>(w, "lblManuf")->accessibleName(), "Manufacturer: Vantrel");
    // The threshold boxes name what they hold, by the mode on show.
    EXPECT_TRUE(control<QLineEdit>(w, "Text7")->accessibleName().startsWith("Threshold v2, Y axis, H-pattern"));
    // The mode on show and each box's threshold are named beside them.
    box.move_stick(128, 128);
    tick(w);
    EXPECT_EQ(std::tuple(control<QLabel>(w, "lblMode")->text(), control<QLabel>(w, "lblName9")->text(), control<QLabel>(w, "lblName7")->text()),
              std::tuple(QString("H-pattern"), QString("h1"), QString("v2")));
    box.move_stick(128, 128, true);
    tick(w);
    EXPECT_TRUE(control<QLineEdit>(w, "Text7")->accessibleName().startsWith("Threshold s2, Y axis, sequential"));
    EXPECT_TRUE(control<QLineEdit>(w, "Text8")->accessibleName().startsWith("Threshold s1"));
    EXPECT_EQ(std::tuple(control<QLabel>(w, "lblMode")->text(), control<QLabel>(w, "lblName7")->text(), control<QLabel>(w, "lblName8")->text(), control<QLabel>(w, "lblName9")->isHidden()),
              std::tuple(QString("Sequential"), QString("s2"), QString("s1"), true));
    // Tab runs in the design's order, from h1's box; the switch beside h2's
    // box and Stop where the progress frame is take their places' turns.
    std::vector<QString> order;
    QWidget* at = control<QLineEdit>(w, "Text9");
    for (int i = 0; i < 14; ++i) {
        order.push_back(at->objectName());
        do at = at->nextInFocusChain(); while (at->focusPolicy() == Qt::NoFocus || at->focusPolicy() == Qt::ClickFocus);
    }
    EXPECT_EQ(order, (std::vector<QString>{"Text9", "Text10", "chkGearView", "Text7", "Text8", "btnUpdate",
                                           "lblManuf", "lblProduct", "lblVersion", "lblSerialNumber", "Graph",
                                           "cmd_CheckFirmware", "cmd_StopDownload", "cmd_factory_reset"}));
    // Enter applies a typed threshold at once, without waiting for a report.
    control<QLineEdit>(w, "Text7")->setFocus();
    control<QLineEdit>(w, "Text7")->selectAll();
    QTest::keyClicks(control<QLineEdit>(w, "Text7"), "180");
    EXPECT_EQ(w.thresholds().s2, 155);
    QTest::keyClick(control<QLineEdit>(w, "Text7"), Qt::Key_Return);
    EXPECT_EQ(w.thresholds().s2, 180);
    EXPECT_DOUBLE_EQ(control<monitor::GraphLine>(w, "SeqH1")->Y1, monitor::map_y(180, control<monitor::GraphView>(w, "Graph")->ScaleHeight()));
    // Enter presses a focused button as Space does.
    control<QPushButton>(w, "btnUpdate")->setFocus();
    QTest::keyClick(control<QPushButton>(w, "btnUpdate"), Qt::Key_Return);
    EXPECT_EQ(box.settings().value[device::kS2], 180);
    // Ctrl+Q closes the window, which lets the box go as any close does.
    QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(box.tool_attached());
}

// A value typed, stepped or dragged is what the user meant: the keys on the
// way to it never reach the threshold, a text that is not a threshold is never
// saved, and Escape puts back what was there.
TEST_F(Window, AThresholdTakesWhatTheUserMeant) {
    auto& box = add_box();
    frmMain& w = open();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto rest_tick = [&] {
        box.move_stick(128, 128);
        tick(w);
    };
    rest_tick();
    ASSERT_EQ(w.focusWidget(), control<QLineEdit>(w, "Text9"));
    control<QLineEdit>(w, "Text9")->selectAll();
    // The line follows the text while it is a threshold.
    for (auto [key, line] : {std::pair{'3', 3}, std::pair{'0', 30}, std::pair{'0', 102}}) {
        QTest::keyClicks(control<QLineEdit>(w, "Text9"), QString(key));
        rest_tick();
        EXPECT_EQ(w.thresholds().h1, 102) << control<QLineEdit>(w, "Text9")->text().toStdString();
        EXPECT_DOUBLE_EQ(control<monitor::GraphLine>(w, "lineV1")->X1, monitor::map_x(line, control<monitor::GraphView>(w, "Graph")->ScaleWidth()));
    }
    EXPECT_FALSE(static_cast<ThresholdBox*>(control<QLineEdit>(w, "Text9"))->problem().isEmpty());
    box.clear_log();
    QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);  // Alt+S: "Save calibration", its caption as it is
    EXPECT_EQ(control<QPushButton>(w, "btnUpdate")->text(), "Save calibration");
    EXPECT_TRUE(setting_writes(box).empty());
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text, "h1 holds \"300\", which is not within 0 to 254: nothing was saved.");
    QTest::keyClick(control<QLineEdit>(w, "Text9"), Qt::Key_Escape);
    EXPECT_EQ(control<QLineEdit>(w, "Text9")->text(), "102");
    control<QLineEdit>(w, "Text9")->selectAll();
    QTest::keyClicks(control<QLineEdit>(w, "Text9"), "120");
    QTest::keyClick(control<QLineEdit>(w, "Text9"), Qt::Key_Tab);
    EXPECT_EQ(std::tuple(w.thresholds().h1, w.focusWidget()), std::tuple(120, static_cast<QWidget*>(control<QLineEdit>(w, "Text10"))));
    QTest::keyClick(control<QLineEdit>(w, "Text10"), Qt::Key_Up);
    EXPECT_EQ(std::tuple(w.thresholds().h2, control<QLineEdit>(w, "Text10")->text()), std::tuple(153, QString("153")));

    // h1's line dragged past h2 stops short of it; Escape puts it back.
    const QPoint area = control<monitor::GraphView>(w, "Graph")->contentsRect().topLeft();
    auto at_value = [&](int x) { return area + QPoint(static_cast<int>(monitor::map_x(x, control<monitor::GraphView>(w, "Graph")->ScaleWidth())), 100); };
    QTest::mousePress(control<monitor::GraphView>(w, "Graph"), Qt::LeftButton, {}, at_value(120));
    QTest::mouseMove(control<monitor::GraphView>(w, "Graph"), at_value(250));
    rest_tick();  // the line follows the mouse once per tick
    EXPECT_EQ(std::tuple(w.thresholds().h1, control<QLineEdit>(w, "Text9")->text()), std::tuple(152, QString("152")));
    QTest::keyClick(control<monitor::GraphView>(w, "Graph"), Qt::Key_Escape);
    QTest::mouseRelease(control<monitor::GraphView>(w, "Graph"), Qt::LeftButton, {}, at_value(250));
    EXPECT_EQ(std::tuple(w.thresholds().h1, control<QLineEdit>(w, "Text9")->text()), std::tuple(120, QString("120")));
    QTest::mousePress(control<monitor::GraphView>(w, "Graph"), Qt::LeftButton, {}, at_value(120));
    QTest::mouseMove(control<monitor::GraphView>(w, "Graph"), at_value(60));
    QTest::mouseRelease(control<monitor::GraphView>(w, "Graph"), Qt::LeftButton, {}, at_value(60));
    EXPECT_NEAR(w.thresholds().h1, 60, 1);
    EXPECT_DOUBLE_EQ(control<monitor::GraphLine>(w, "lineV1")->X1, monitor::map_x(w.thresholds().h1, control<monitor::GraphView>(w, "Graph")->ScaleWidth()));

    // Typed and then saved at once: the value typed is saved. A text left
    // that is not a threshold leaves the committed value for closing.
    control<QLineEdit>(w, "Text9")->setFocus();
    control<QLineEdit>(w, "Text9")->selectAll();
    QTest::keyClicks(control<QLineEdit>(w, "Text9"), "77");
    QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(box.settings().value[device::kH1], 77);
    control<QLineEdit>(w, "Text10")->setFocus();
    control<QLineEdit>(w, "Text10")->selectAll();
    QTest::keyClicks(control<QLineEdit>(w, "Text10"), "1x");
    w.close();
    EXPECT_EQ(box.settings().value[device::kH2], 153);
}

// A change of mode that hides the box being typed in takes the keyboard to
// the map, and the box's text counts as if the user had left it.
TEST_F(Window, AModeChangeLeavesTheKeyboardOnTheMap) {
    struct Row { const char* typed; int h1; };
    for (const Row& r : {Row{"99", 99}, Row{"999", 102}}) {
        SCOPED_TRACE(r.typed);
        window.reset();
        bus.boxes().clear();
        auto& box = add_box();
        frmMain& w = open();
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        box.move_stick(128, 128);
        tick(w);
        control<QLineEdit>(w, "Text9")->selectAll();
        QTest::keyClicks(control<QLineEdit>(w, "Text9"), r.typed);
        box.move_stick(128, 128, true);
        tick(w);
        EXPECT_EQ(w.focusWidget(), control<monitor::GraphView>(w, "Graph"));
        EXPECT_EQ(w.thresholds().h1, r.h1);
    }
}

TEST_F(Window, FactoryResetSaysWhatItWroteAndAsksWhileACalibrationRuns) {
    auto& box = add_box();
    frmMain& w = open();
    QTest::mouseClick(control<QPushButton>(w, "cmd_factory_reset"), Qt::LeftButton);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(control<QLabel>(w, "lblSaved")->text(), "Factory reset wrote h1=102 h2=152 v1=64 v2=190 s1=100 s2=155");
    QTest::mouseClick(control<QPushButton>(w, "cmd_auto_cal"), Qt::LeftButton);
    box.clear_log();
    dialogs.answer = false;
    QTest::mouseClick(control<QPushButton>(w, "cmd_factory_reset"), Qt::LeftButton);
    EXPECT_EQ(std::tuple(dialogs.shown.back().kind, dialogs.shown.back().title),
              std::tuple(QString("confirm"), QString("Factory reset")));
    EXPECT_TRUE(setting_writes(box).empty());
    EXPECT_EQ(control<QPushButton>(w, "cmd_auto_cal")->text(), "Cancel calibration");
    dialogs.answer = true;
    QTest::mouseClick(control<QPushButton>(w, "cmd_factory_reset"), Qt::LeftButton);
    EXPECT_EQ(setting_writes(box).size(), 6u);
    EXPECT_EQ(control<QPushButton>(w, "cmd_auto_cal")->text(), "Start calibration");
}
