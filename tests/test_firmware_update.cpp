// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// "Get latest firmware" end to end: the window asks the emulated update
// service over real HTTP on 127.0.0.1, downloads the image and writes it into
// the emulated box through its bootloader.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <set>

#include "calibration/BoxStore.h"
#include "emulator/EmulatedBackend.h"
#include "device/Products.h"
#include "tests/ScriptedDialogs.h"
#include "tests/WindowControls.h"
#include "emulator/UpdateService.h"
#include "net/NetGrab.h"
#include "app/frmMain.h"

namespace {

constexpr std::uint16_t kVid = 0x1209;

// Runs the event loop until pred holds or ms have passed.
bool wait_until(const std::function<bool()>& pred, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > ms) return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

class FirmwareUpdate : public ::testing::Test {
protected:
    emulator::BoxModel& add_box(std::uint16_t version = 0x0106, bool bootloader = false) {
        emulator::BoxIdentity id;
        id.vendor_id = kVid;
        id.version = version;
        emulator::BoxModel& box = bus.add_box(id, [this] { return emulator::system_clock()() + skipped; });
        // Quick restarts keep the test short; the tool waits as long as it must.
        box.reenumerate_delay = std::chrono::milliseconds(150);
        box.restart_after_flash = std::chrono::milliseconds(100);
        if (bootloader) box.power_up_in_bootloader();
        return box;
    }
    frmMain& open() {
        AppConfig config;
        config.vendor_id = kVid;
        config.update_host = service.host_port();
        config.box_store_folder = store_dir.path();
        window = std::make_unique<frmMain>(bus, dialogs, config);
        // The hand-over's pauses pass at once: the boxes' clock jumps instead.
        window->pause = [this](int ms) {
            skipped += std::chrono::milliseconds(ms);
            if (on_pause) on_pause();
            QCoreApplication::processEvents();
        };
        // The update's waits are measured on the boxes' clock.
        window->clock = [this] { return emulator::system_clock()() + skipped; };
        return *window;
    }
    // Waits until the update has ended, one way or the other.
    bool update_over() {
        return wait_until([&] { return !control<NetGrab>(*window, "NetGetInfo")->Busy() && !control<NetGrab>(*window, "NetGetFirmware")->Busy() && control<QWidget>(*window, "Pic")->isHidden(); });
    }
    bool got(const char* title) {
        for (const auto& s : dialogs.shown)
            if (s.title == title) return true;
        return false;
    }
    QTemporaryDir store_dir;
    // Real time plus what the pauses skipped: the boxes restart on it.
    std::chrono::milliseconds skipped{0};
    std::function<void()> on_pause;
    emulator::EmulatedBackend bus;
    emulator::UpdateService service{0x0106};
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;
};

std::vector<std::uint8_t> as_bytes(const QByteArray& a) { return {a.begin(), a.end()}; }

// Runs f whenever the watched widget is painted.
struct OnPaint : QObject {
    std::function<void()> f;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) f();
        return false;
    }
};

}  // namespace

TEST_F(FirmwareUpdate, NewerFirmwareIsDownloadedAndWrittenIntoTheBox) {
    auto& box = add_box();
    box.version_after_flash = 0x0107;
    box.restart_after_flash = std::chrono::seconds(20);  // within the 30 s the window waits
    frmMain& w = open();
    // What the window says while the box is handed over and written (the bar
    // is repainted after every page).
    std::set<QString> said;
    auto record = [&] {
        if (control<QLabel>(w, "lblNotice")->isVisible()) said.insert(control<QLabel>(w, "lblNotice")->text());
        if (control<QLabel>(w, "lblProgress")->isVisible()) said.insert(control<QLabel>(w, "lblProgress")->text());
    };
    on_pause = record;
    OnPaint on_bar;
    on_bar.f = record;
    control<QWidget>(w, "Progress")->installEventFilter(&on_bar);
    w.show();
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.shown[0].kind, "question");
    EXPECT_EQ(dialogs.shown[0].title, "Found new firmware");
    EXPECT_EQ(dialogs.shown[0].text, "Upgrade to version 1.07 now?");

    // The query: identity, version, serial, thresholds and the memory dump.
    const emulator::HttpRequest& query = service.requests().at(0);
    EXPECT_EQ(query.path, "/scripts/shifter.php");
    const QStringList keys{"pid", "vid", "mod", "sn", "ver", "h1", "h2", "v1", "v2", "mem"};
    ASSERT_EQ(query.query_items.size(), keys.size());
    for (int i = 0; i < keys.size(); ++i) EXPECT_EQ(query.query_items[i].first, keys[i]);
    EXPECT_EQ(query.query_value("pid"), "10A0");
    EXPECT_EQ(query.query_value("mod"), "Kelvo");
    EXPECT_EQ(query.query_value("sn"), "KV-000123");
    EXPECT_EQ(query.query_value("ver"), "106");
    EXPECT_EQ(query.query_value("h1"), "102");
    EXPECT_EQ(query.query_value("v2"), "190");
    QString dump;
    for (std::uint8_t b : box.memory()) dump += QString("%1").arg(b, 2, 16, QChar('0')).toUpper();
    EXPECT_EQ(query.query_value("mem"), dump);
    EXPECT_EQ(query.header("Cache-Control"), "no-cache");

    ASSERT_TRUE(wait_until([&] { return box.flash().size() == 8000u && control<QWidget>(w, "Pic")->isHidden(); }, 20000));
    EXPECT_EQ(box.flash(), as_bytes(service.image()));
    EXPECT_EQ(dialogs.shown.size(), 1u);  // no message after a good update
    EXPECT_TRUE(said.count("The box is switching to its update mode: do not unplug the box."));
    EXPECT_TRUE(said.count("Writing the firmware: do not unplug the box."));
    EXPECT_TRUE(said.count("100%"));
    for (const QString& s : said) EXPECT_FALSE(s.startsWith("No box found")) << s.toStdString();
    // The bootloader is still there until it restarts: no second update on it.
    tick(w);
    ASSERT_TRUE(w.conn().bootloader());
    EXPECT_FALSE(control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled());
    EXPECT_EQ(control<QLabel>(w, "lblNotice")->text(), "The box is restarting with its new firmware.");
    // The box restarts into its application and the window finds it again.
    skipped += std::chrono::seconds(20);
    ASSERT_TRUE(wait_until([&] { return w.conn().application() && control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled(); }));
    EXPECT_EQ(control<QLabel>(w, "lblVersion")->text(), " 1.7");
    EXPECT_EQ(control<QLabel>(w, "lblSaved")->text(), "Firmware updated: the box now runs version 1.07.");
    EXPECT_TRUE(control<QLabel>(w, "lblNotice")->isHidden());
}

TEST_F(FirmwareUpdate, StoppingTheDownloadSendsNothingToTheBox) {
    auto& box = add_box();
    frmMain& w = open();
    service.set_delay(service.image_path(), 8000);
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return service.requests().size() == 2; }));  // the image is on its way
    ASSERT_FALSE(control<QPushButton>(w, "cmd_StopDownload")->isHidden());
    control<QPushButton>(w, "cmd_StopDownload")->click();
    EXPECT_TRUE(control<QWidget>(w, "Pic")->isHidden());
    EXPECT_TRUE(control<QPushButton>(w, "cmd_StopDownload")->isHidden());
    EXPECT_TRUE(control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled());
    ASSERT_TRUE(wait_until([&] { return !control<NetGrab>(w, "NetGetFirmware")->Busy(); }, 4000));  // cancelled, not waited out
    EXPECT_EQ(dialogs.shown.size(), 1u);  // the offer only: a stop is no error
    for (const auto& r : box.feature_log()) EXPECT_NE(r[1], 0xA7);
    EXPECT_TRUE(box.flash().empty());
}

TEST_F(FirmwareUpdate, TheBoxShownIsTheOneWrittenWhicheverTheBusListsFirst) {
    struct Case {
        const char* name;
        std::uint16_t product_id;
        const char16_t* serial;
        bool leaves_bootloader;  // waits in its bootloader and restarts after our last page
    };
    for (const Case& c : {Case{"another model", device::kPidDravi, u"DR-1", false},
                          Case{"our model", device::kPidKelvo, u"KV-2", false},
                          Case{"our model, out of its bootloader", device::kPidKelvo, u"KV-2", true}}) {
        SCOPED_TRACE(c.name);
        auto& ours = add_box();
        ours.version_after_flash = 0x0107;
        frmMain& w = open();
        // Another box arrives, and the bus lists it first from now on.
        emulator::BoxIdentity id;
        id.vendor_id = kVid;
        id.product_id = c.product_id;
        id.serial = c.serial;
        const auto clock = [this] { return emulator::system_clock()() + skipped; };
        emulator::BoxModel* other = &bus.add_box(id, clock);
        bus.list_newest_first = true;
        if (c.leaves_bootloader) {
            other->power_up_in_bootloader();
            bus.at_step(ours, emulator::EmulatedBackend::Step::LastPage, [&] {
                other->unplug();
                other = &bus.add_box(id, clock);  // the same box, back in its application
            }, 200);
        }
        const qsizetype query = service.requests().size();
        click(w, "cmd_CheckFirmware");
        ASSERT_TRUE(wait_until([&] { return ours.flash().size() == 8000u && control<QWidget>(w, "Pic")->isHidden(); }, 20000));
        EXPECT_EQ(service.requests().at(query).query_value("sn"), "KV-000123");
        for (const auto& box : bus.boxes()) {
            if (box.get() == &ours) continue;
            EXPECT_TRUE(box->flash().empty());
            for (const auto& r : box->feature_log()) EXPECT_NE(r[1], 0xA7);
        }
        // The window finds the updated box again, not the one listed first.
        ASSERT_TRUE(wait_until([&] { return w.conn().application() && w.update_phase() == update::Phase::Done; }));
        EXPECT_EQ(control<QLabel>(w, "lblSerialNumber")->text(), " KV-000123");
        EXPECT_EQ(control<QLabel>(w, "lblVersion")->text(), " 1.7");
        window.reset();
        bus.boxes().clear();
        bus.list_newest_first = false;
    }
}

TEST_F(FirmwareUpdate, ARunningUpdateIsNotOfferedAgain) {
    auto& box = add_box();
    frmMain& w = open();
    service.set_delay(service.image_path(), 300);
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return service.requests().size() == 2; }));  // the image is on its way
    EXPECT_FALSE(control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled());
    // The box found again meanwhile (as it is while it restarts) keeps the button off.
    w.EnableUI();
    EXPECT_FALSE(control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled());
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return box.flash().size() == 8000u && control<QWidget>(w, "Pic")->isHidden(); }, 20000));
    EXPECT_EQ(service.requests().size(), 2);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(FirmwareUpdate, ClosingTheWindowDuringTheWriteLetsTheImageFinish) {
    auto& box = add_box();
    frmMain& w = open();
    QTimer closer;
    closer.setInterval(1);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!box.flash().empty() && w.isVisible()) w.close();
    });
    w.show();
    closer.start();
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return box.flash().size() == 8000u && control<QWidget>(w, "Pic")->isHidden(); }, 20000));
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(box.flash(), as_bytes(service.image()));
    EXPECT_EQ(dialogs.shown.size(), 1u);  // the offer only: no error
    EXPECT_EQ(bus.open_handles(), 0);
}

TEST_F(FirmwareUpdate, ClosingTheWindowDuringTheHandOverStopsBeforeAnyPage) {
    auto& box = add_box();
    frmMain& w = open();
    w.show();
    // Closed once the bootloader is open, while it settles.
    on_pause = [&] {
        if (w.isVisible() && w.conn().bootloader()) w.close();
    };
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return !w.isVisible() && box.in_bootloader() && control<QWidget>(w, "Pic")->isHidden(); }));
    EXPECT_TRUE(box.flash().empty());
    EXPECT_EQ(dialogs.shown.size(), 1u);  // the offer only
    EXPECT_EQ(bus.open_handles(), 0);
}

TEST_F(FirmwareUpdate, TheSameVersionIsReportedAndANewerBoxHearsNothing) {
    add_box(0x0107);
    frmMain& w = open();
    service.set_offered_version("107");
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.shown[0].title, "No new firmware");
    EXPECT_EQ(dialogs.shown[0].text, "Already running latest firmware version 1.07");

    service.set_offered_version("105");
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(update_over());
    EXPECT_EQ(service.requests().size(), 2);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(FirmwareUpdate, TheBootloaderIsOfferedTheFirmwareWithoutAnyCommand) {
    auto& box = add_box(0x0107, true);
    frmMain& w = open();
    service.set_offered_version("107");
    dialogs.answer = false;
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return !dialogs.shown.empty(); }));
    EXPECT_EQ(dialogs.shown[0].title, "Found new firmware");
    const emulator::HttpRequest& query = service.requests().at(0);
    EXPECT_EQ(query.query_value("mod"), "BOOT");
    EXPECT_EQ(query.query_value("pid"), "B017");
    EXPECT_TRUE(query.query_value("mem").isEmpty());
    EXPECT_TRUE(box.feature_log().empty());
    // Cancel: nothing downloaded, the button stays, no frame.
    ASSERT_TRUE(update_over());
    EXPECT_EQ(service.requests().size(), 1);
    EXPECT_TRUE(control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled());
    EXPECT_TRUE(control<QWidget>(w, "Pic")->isHidden());
}

TEST_F(FirmwareUpdate, ACalibrationTheNewFirmwareResetIsOfferedBack) {
    const device::Thresholds calibrated{90, 160, 60, 200, 110, 170};
    struct Case {
        const char* name;
        bool from_bootloader;  // found there after an update that broke off
        bool put_back;
        bool unreadable = false;  // the new firmware does not answer with its thresholds
    };
    for (const Case& c : {Case{"accepted", false, true}, Case{"declined", false, false},
                          Case{"from the bootloader, by the kept file", true, true},
                          Case{"thresholds unreadable after the update", false, false, true}}) {
        SCOPED_TRACE(c.name);
        if (c.from_bootloader)
            ASSERT_TRUE(calibration::BoxStore(store_dir.path())
                            .remember(calibration::make_backup(device::kPidKelvo, 0x0106, "KV-000123", calibrated)));
        auto& box = add_box(0x0106, c.from_bootloader);
        emulator::BoxSettings s;
        for (int i = 0; i < 6; ++i) s.value[i] = static_cast<std::uint8_t>(calibrated.get(i));
        box.set_settings(s);
        box.version_after_flash = 0x0107;
        box.factory_settings_after_flash = true;
        frmMain& w = open();
        dialogs.shown.clear();
        dialogs.answer = true;
        dialogs.while_open = [&] {
            if (dialogs.shown.back().title == "Restore calibration") dialogs.answer = c.put_back;
        };
        if (c.unreadable) {
            on_pause = [&] { box.feature_reply_bytes = box.in_bootloader() ? 3 : 0; };
            click(w, "cmd_CheckFirmware");
            // Nothing to offer, and the user is told so rather than nothing.
            ASSERT_TRUE(wait_until([&] { return control<QLabel>(w, "lblSaved")->text().contains("could not be checked"); }, 20000));
            EXPECT_EQ(dialogs.shown.size(), 1u);
            on_pause = nullptr;
            window.reset();
            bus.boxes().clear();
            continue;
        }
        click(w, "cmd_CheckFirmware");
        ASSERT_TRUE(wait_until([&] { return dialogs.shown.size() == 2; }, 20000));
        EXPECT_EQ(dialogs.shown[1].title, "Restore calibration");
        const QString& text = dialogs.shown[1].text;
        EXPECT_TRUE(text.contains("Now: h1=102 h2=152 v1=64 v2=190 s1=100 s2=155")) << text.toStdString();
        EXPECT_TRUE(text.contains("Before: h1=90 h2=160 v1=60 v2=200 s1=110 s2=170")) << text.toStdString();
        EXPECT_EQ(control<QLabel>(w, "lblVersion")->text(), " 1.7");
        // What the application got since its readout (the pages went to the bootloader).
        std::vector<int> writes;
        const auto& log = box.feature_log();
        std::size_t from = log.size();
        while (from > 0 && log[from - 1][1] != 0xDB) --from;
        ASSERT_GT(from, 0u);
        for (std::size_t i = from; i < log.size(); ++i)
            if (log[i][1] == 0xEE) writes.push_back(log[i][2]);
        if (c.put_back) {
            // All six, as closing writes them, then read back.
            EXPECT_EQ(writes, (std::vector<int>{3, 2, 0, 1, 5, 4}));
            EXPECT_EQ(box.feature_log().back()[1], 0xF0);
            for (int i = 0; i < 6; ++i) EXPECT_EQ(box.settings().value[i], calibrated.get(i)) << i;
            EXPECT_EQ(w.thresholds(), calibrated);
            EXPECT_EQ(control<QLineEdit>(w, "Text9")->text(), "90");
            EXPECT_EQ(control<QLabel>(w, "lblSaved")->text(), "The box now runs firmware 1.07, with its calibration put back.");
        } else {
            EXPECT_TRUE(writes.empty());
            EXPECT_EQ(box.settings().value[device::kH1], 102);
            EXPECT_EQ(w.thresholds().h1, 102);
        }
        EXPECT_EQ(dialogs.shown.size(), 2u);
        EXPECT_FALSE(w.restore_pending());
        dialogs.while_open = nullptr;
        window.reset();
        bus.boxes().clear();
    }
}

TEST_F(FirmwareUpdate, FailuresAreReportedAndNothingIsWritten) {
    auto& box = add_box();
    frmMain& w = open();
    const QString manual = "Try downloading firmware from " + service.host_port() + " manually";

    service.set_status(emulator::UpdateService::InfoPath, 500);
    box.feature_reply_bytes = 17;  // memory blocks one byte short
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return got("Website access error"); }));
    EXPECT_EQ(dialogs.shown.back().text, manual);
    // Why, with the transfer's own words, stands under the information frame.
    EXPECT_TRUE(control<QLabel>(w, "lblSaved")->text().startsWith("The update service at " + service.host_port() + " could not be reached ("))
        << control<QLabel>(w, "lblSaved")->text().toStdString();
    // A dump the box did not give is left out, not filled from the buffer.
    EXPECT_TRUE(service.requests().at(0).query_value("mem").isEmpty());
    box.feature_reply_bytes = 0;
    EXPECT_TRUE(control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled());

    // An image one byte short of the announced size is never written.
    service.clear_faults();
    service.set_announced_size(service.image().size() + 1);
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return got("Firmware download error"); }));
    EXPECT_EQ(dialogs.shown.back().text, manual);
    EXPECT_TRUE(control<QLabel>(w, "lblSaved")->text().contains("instead of the announced")) << control<QLabel>(w, "lblSaved")->text().toStdString();
    EXPECT_TRUE(control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled());
    EXPECT_TRUE(control<QWidget>(w, "Pic")->isHidden());

    // An answer that is not "VERSION,SIZE,URL" is reported, not acted on.
    service.set_answer(QByteArray("<html>maintenance</html>"));
    const std::size_t before = dialogs.shown.size();
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return dialogs.shown.size() > before; }));
    EXPECT_EQ(dialogs.shown.back().kind, "critical");

    // The image address failing.
    service.set_answer(std::nullopt);
    service.set_announced_size(std::nullopt);
    service.set_status(service.image_path(), 404);
    click(w, "cmd_CheckFirmware");
    const std::size_t errors = std::count_if(dialogs.shown.begin(), dialogs.shown.end(),
                                             [](const auto& s) { return s.title == "Website access error"; });
    ASSERT_TRUE(wait_until([&] {
        return std::count_if(dialogs.shown.begin(), dialogs.shown.end(),
                             [](const auto& s) { return s.title == "Website access error"; }) > long(errors);
    }));
    EXPECT_TRUE(box.flash().empty());
    EXPECT_FALSE(box.in_bootloader());
    for (const auto& r : box.feature_log()) EXPECT_NE(r[1], 0xA7);  // never sent into the bootloader
}

TEST_F(FirmwareUpdate, ABoxLeftInItsBootloaderIsReportedWithWhatToDo) {
    auto& box = add_box();
    box.restart_after_flash = std::chrono::hours(1);  // written, but it never starts the new firmware
    frmMain& w = open();
    w.update_limits.restart_wait = std::chrono::milliseconds(300);
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return got("Firmware update error"); }, 20000));
    EXPECT_TRUE(dialogs.shown.back().text.endsWith(
        "Unplug the box, plug it in again and click \"Get latest firmware\" once more."))
        << dialogs.shown.back().text.toStdString();
    EXPECT_EQ(w.update_phase(), update::Phase::Failed);
}

TEST_F(FirmwareUpdate, ABoxThatDoesNotRestartIsReportedWithoutHanging) {
    auto& box = add_box();
    frmMain& w = open();
    w.update_limits.bootloader_wait = std::chrono::seconds(1);
    box.fail_feature_writes = true;  // the order to restart never arrives
    click(w, "cmd_CheckFirmware");
    ASSERT_TRUE(wait_until([&] { return got("Firmware update error"); }, 20000));
    EXPECT_TRUE(box.flash().empty());
    EXPECT_TRUE(control<QWidget>(w, "Pic")->isHidden());
    // The next search finds the box as it is, and the user may try again.
    EXPECT_TRUE(wait_until([&] { return control<QPushButton>(w, "cmd_CheckFirmware")->isEnabled(); }));
}
