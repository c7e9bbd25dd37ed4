// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The emulated box against the contract the tool relies on: gear decoding,
// the feature commands, the bootloader, presence on the bus and the knobs
// that the other tests use to inject faults.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <set>

#include "emulator/BoxModel.h"
#include "device/Commands.h"
#include "device/Connection.h"
#include "emulator/DemoStick.h"
#include "emulator/EmulatedBackend.h"
#include "tests/TestSupport.h"

using namespace std::chrono_literals;
using emulator::BoxModel;
using emulator::BoxSettings;
using emulator::DemoStick;
using emulator::EmulatedBackend;

namespace {

constexpr std::uint16_t kVid = 0x1209;



std::vector<std::uint8_t> get(BoxModel& box, std::size_t length = 65) {
    std::vector<std::uint8_t> r(length, 0xAA);
    r[0] = 0;
    EXPECT_EQ(box.get_feature(r), static_cast<int>(length));
    return r;
}

// A backend with one box on a manual clock.
struct Rig {
    ManualClock clock;
    EmulatedBackend backend;
    BoxModel& box = backend.add_box({}, clock.clock());

    device::OpenResult open_first() {
        const auto list = backend.enumerate();
        if (list.empty()) return {};
        return backend.open(list.front().path);
    }
};

}  // namespace

// ---- gear decoding ---------------------------------------------------------

TEST(DecodeGear, FactoryThresholdsOverTheGates) {
    struct Case {
        std::uint8_t x, y;
        bool sequential;
        std::uint8_t gear, minus;
    };
    // Factory: h1 102, h2 152, v1 64, v2 190, s1 100, s2 155.
    const Case cases[] = {
        {50, 220, false, 1, 0},    {50, 30, false, 2, 0},     {127, 220, false, 4, 0},
        {127, 30, false, 8, 0},    {200, 220, false, 16, 0},  {200, 30, false, 32, 0},
        {200, 10, false, 64, 0},   {127, 127, false, 0, 0},   {50, 10, false, 2, 0},
        {127, 10, false, 8, 0},    {0, 255, false, 1, 0},     {255, 0, false, 64, 0},
        // Column edges: X below h1 is left, above h2 is right.
        {101, 191, false, 1, 0},   {102, 191, false, 4, 0},   {152, 191, false, 4, 0},
        {153, 191, false, 16, 0},
        // Row edges: the thresholds themselves are neutral.
        {50, 190, false, 0, 0},    {50, 64, false, 0, 0},     {50, 63, false, 2, 0},
        // Reverse below v1 / 4 = 16.
        {200, 15, false, 64, 0},   {200, 16, false, 32, 0},
        // Sequential: X plays no part, thresholds are neutral.
        {127, 156, true, 128, 0},  {127, 155, true, 0, 0},    {127, 100, true, 0, 0},
        {127, 99, true, 0, 1},     {10, 250, true, 128, 0},   {240, 0, true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x " << int(c.x) << " y " << int(c.y) << " seq " << c.sequential);
        const emulator::DecodedGear g = emulator::decode_gear(c.x, c.y, c.sequential, BoxSettings{});
        EXPECT_EQ(g.gear_bits, c.gear);
        EXPECT_EQ(g.minus, c.minus);
    }
}

TEST(DecodeGear, FollowsStoredThresholds) {
    BoxSettings s;
    s.value[0] = 50;   // h1
    s.value[1] = 60;   // h2
    s.value[2] = 100;  // v1: reverse below 25
    s.value[3] = 200;  // v2
    s.value[4] = 20;   // s1
    s.value[5] = 30;   // s2
    EXPECT_EQ(emulator::decode_gear(55, 201, false, s).gear_bits, 4);
    EXPECT_EQ(emulator::decode_gear(61, 99, false, s).gear_bits, 32);
    EXPECT_EQ(emulator::decode_gear(61, 24, false, s).gear_bits, 64);
    EXPECT_EQ(emulator::decode_gear(61, 25, false, s).gear_bits, 32);
    EXPECT_EQ(emulator::decode_gear(127, 150, false, s).gear_bits, 0);
    EXPECT_EQ(emulator::decode_gear(127, 31, true, s).gear_bits, 128);
    EXPECT_EQ(emulator::decode_gear(127, 19, true, s).minus, 1);

    // The box decodes its input reports with what was stored last.
    ManualClock clock;
    BoxModel box({}, clock.clock());
    box.set_settings(s);
    box.move_stick(61, 24);
    box.move_stick(127, 31, true);
    EXPECT_EQ(box.take_input(), (std::vector<std::uint8_t>{61, 24, 64, 0, 0}));
    EXPECT_EQ(box.take_input(), (std::vector<std::uint8_t>{127, 31, 128, 0, 2}));
}

// ---- application commands --------------------------------------------------

TEST(Commands, SetSettingThenReadSettings) {
    ManualClock clock;
    BoxModel box({}, clock.clock());
    const std::uint8_t values[6] = {11, 22, 33, 44, 55, 66};
    for (std::uint8_t i = 0; i < 6; ++i) EXPECT_TRUE(box.set_feature(report_bytes({0, 0xEE, i, values[i]})));
    // An index past the six settings is ignored.
    EXPECT_TRUE(box.set_feature(report_bytes({0, 0xEE, 6, 99})));
    EXPECT_TRUE(box.set_feature(report_bytes({0, 0xF0})));
    const auto reply = get(box);
    EXPECT_TRUE(std::equal(values, values + 6, reply.begin() + 2));
    EXPECT_TRUE(std::all_of(reply.begin() + 8, reply.end(), [](std::uint8_t b) { return b == 0; }));
    // The answer is given once; the next read has nothing to say.
    const auto again = get(box);
    EXPECT_TRUE(std::all_of(again.begin() + 1, again.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(Commands, ReadMemoryAnswersEightBlocksInOrder) {
    ManualClock clock;
    BoxModel box({}, clock.clock());
    for (int i = 0; i < 128; ++i) box.memory()[i] = static_cast<std::uint8_t>(255 - i);
    EXPECT_TRUE(box.set_feature(report_bytes({0, 0xD0})));
    std::vector<std::uint8_t> dump;
    for (int block = 0; block < 8; ++block) {
        // The shortest feature report the tool serves still carries a block.
        const auto r = get(box, 18);
        dump.insert(dump.end(), r.begin() + 2, r.begin() + 18);
    }
    EXPECT_EQ(dump, box.memory());
    const auto ninth = get(box, 18);
    EXPECT_TRUE(std::all_of(ninth.begin() + 1, ninth.end(), [](std::uint8_t b) { return b == 0; }))
        << "the dump ends after eight blocks";
}

TEST(Commands, SetToolAttachedStoresTheFlag) {
    ManualClock clock;
    BoxModel box({}, clock.clock());
    EXPECT_FALSE(box.tool_attached());
    box.set_feature(report_bytes({0, 0xDB, 1}));
    EXPECT_TRUE(box.tool_attached());
    box.set_feature(report_bytes({0, 0xDB, 0}));
    EXPECT_FALSE(box.tool_attached());
}

TEST(Commands, HostFramingAgainstTheBox) {
    Rig rig;
    device::DeviceConnection conn;
    ASSERT_TRUE(device::FindTheHid(rig.backend, conn, kVid));
    EXPECT_TRUE(conn.served()) << conn.serving;
    EXPECT_EQ(device::send_setting(conn, device::kV2, 177), device::Fault::None);
    EXPECT_EQ(device::set_tool_attached(conn, true), device::Fault::None);
    device::SettingsBytes settings{};
    ASSERT_EQ(into(device::read_settings(conn), settings), device::Fault::None);
    EXPECT_EQ(settings, (device::SettingsBytes{102, 152, 64, 177, 100, 155}));
    EXPECT_TRUE(rig.box.tool_attached());
    device::MemoryDump dump{};
    ASSERT_EQ(into(device::read_memory(conn), dump), device::Fault::None);
    EXPECT_TRUE(std::equal(dump.begin(), dump.end(), rig.box.memory().begin()));
    // Every write carried the whole feature report length.
    for (const auto& written : rig.box.feature_log()) EXPECT_EQ(written.size(), 65u);
}

// ---- bootloader -------------------------------------------------------------

TEST(Bootloader, EntryLeavesTheBusAndReturnsAsBootloader) {
    Rig rig;
    device::OpenResult old = rig.open_first();
    ASSERT_TRUE(old.device);
    const int generation = rig.box.generation();
    const std::string old_path = rig.backend.opened_paths.back();
    rig.box.move_stick(10, 10);

    EXPECT_TRUE(old.device->send_feature_report(report_bytes({0, 0xA7, 0x3C, 0x51})));
    EXPECT_FALSE(rig.box.present());
    EXPECT_TRUE(rig.backend.enumerate().empty());
    std::array<std::uint8_t, 5> in{};
    EXPECT_EQ(old.device->read_input(in), -1);
    EXPECT_FALSE(old.device->probe());

    rig.clock.now = 999ms;
    EXPECT_TRUE(rig.backend.enumerate().empty());
    rig.clock.now = 1000ms;
    const auto list = rig.backend.enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].attributes.product_id, 0xB017);
    EXPECT_EQ(list[0].attributes.vendor_id, kVid);
    EXPECT_NE(list[0].path, old_path);
    EXPECT_EQ(rig.box.generation(), generation + 1);
    EXPECT_TRUE(rig.box.in_bootloader());

    // Handles of the application stay dead; the old path no longer opens.
    EXPECT_FALSE(old.device->probe());
    EXPECT_FALSE(old.device->manufacturer_string());
    EXPECT_FALSE(rig.backend.open(old_path).device);
    device::OpenResult boot = rig.backend.open(list[0].path);
    ASSERT_TRUE(boot.device);
    EXPECT_TRUE(boot.device->probe());
    // The input queue went with the application, and the bootloader sends none.
    rig.box.move_stick(10, 10);
    EXPECT_EQ(boot.device->read_input(in), 0);
}

TEST(Bootloader, PagesGoToFlashThenTheApplicationRestarts) {
    Rig rig;
    rig.box.set_feature(report_bytes({0, 0xA7, 0x3C, 0x51}));
    rig.clock.now = 1000ms;
    ASSERT_TRUE(rig.box.in_bootloader());
    const int boot_generation = rig.box.generation();

    // Every report is a page, even one that looks like a command.
    std::vector<std::uint8_t> image;
    for (int page = 0; page < 3; ++page) {
        auto r = report_bytes({0});
        for (int i = 0; i < 40; ++i) r[1 + i] = static_cast<std::uint8_t>(page * 40 + i);
        if (page == 1) r[1] = 0xEE;
        image.insert(image.end(), r.begin() + 1, r.begin() + 41);
        EXPECT_TRUE(rig.box.set_feature(r));
        rig.clock.now += 100ms;
    }
    EXPECT_EQ(rig.box.flash(), image);
    EXPECT_EQ(rig.box.settings().value[0], 102) << "a page must not act as SetSetting";
    auto reply = get(rig.box);
    EXPECT_TRUE(std::all_of(reply.begin() + 1, reply.end(), [](std::uint8_t b) { return b == 0; }));

    // The last page arrived at 1200 ms: the box leaves at 1500 and is back
    // as the application one reenumerate_delay later.
    rig.clock.now = 1499ms;
    EXPECT_TRUE(rig.box.present());
    rig.clock.now = 1500ms;
    EXPECT_FALSE(rig.box.present());
    rig.clock.now = 2499ms;
    EXPECT_FALSE(rig.box.present());
    rig.clock.now = 2500ms;
    EXPECT_TRUE(rig.box.present());
    EXPECT_FALSE(rig.box.in_bootloader());
    EXPECT_EQ(rig.box.attributes().product_id, 0x10A0);
    EXPECT_EQ(rig.box.generation(), boot_generation + 1);

    // The next update starts a new image rather than appending to this one.
    rig.box.set_feature(report_bytes({0, 0xA7, 0x3C, 0x51}));
    rig.clock.now = 4000ms;
    rig.box.set_feature(report_bytes({0, 9}));
    EXPECT_EQ(rig.box.flash(), report_bytes({9}, 40));
}

TEST(Bootloader, PowerUpInBootloaderIsFlashableAtOnce) {
    Rig rig;
    rig.box.power_up_in_bootloader();
    device::DeviceConnection conn;
    ASSERT_TRUE(device::FindTheHid(rig.backend, conn, kVid));
    EXPECT_TRUE(conn.bootloader());
    std::array<std::uint8_t, 40> page{};
    page.fill(0x5A);
    EXPECT_EQ(device::send_firmware_page(conn, page), device::Fault::None);
    EXPECT_EQ(rig.box.flash(), std::vector<std::uint8_t>(40, 0x5A));

    // Nobody asked in between: the restart still counts from the last page.
    rig.clock.now = 1300ms;
    ASSERT_TRUE(device::FindTheHid(rig.backend, conn, kVid));
    EXPECT_TRUE(conn.application());
}

// ---- presence ---------------------------------------------------------------

TEST(Presence, UnplugKillsHandlesAndPlugBringsANewGeneration) {
    Rig rig;
    device::OpenResult a = rig.open_first();
    device::OpenResult b = rig.open_first();
    ASSERT_TRUE(a.device && b.device);
    const std::string first_path = rig.backend.opened_paths.front();
    rig.box.move_stick(1, 2);

    rig.box.unplug();
    EXPECT_TRUE(rig.backend.enumerate().empty());
    std::array<std::uint8_t, 5> in{};
    auto feature = report_bytes({0, 0xF0});
    for (device::OpenResult* h : {&a, &b}) {
        EXPECT_EQ(h->device->read_input(in), -1);
        EXPECT_FALSE(h->device->send_feature_report(feature));
        EXPECT_EQ(h->device->get_feature_report(feature), -1);
        EXPECT_FALSE(h->device->serial_number_string());
        EXPECT_FALSE(h->device->caps());
        EXPECT_FALSE(h->device->probe());
    }

    rig.box.plug();
    const auto list = rig.backend.enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_NE(list[0].path, first_path);
    EXPECT_FALSE(a.device->probe()) << "a handle of the earlier appearance stays dead";
    EXPECT_EQ(a.device->read_input(in), -1);
    device::OpenResult fresh = rig.backend.open(list[0].path);
    ASSERT_TRUE(fresh.device);
    EXPECT_EQ(fresh.device->read_input(in), 0) << "queued reports left with the box";
    EXPECT_EQ(rig.backend.open(first_path).error.kind, device::HidErrorKind::NotFound);
}

TEST(Presence, QueueKeepsTheNewestReports) {
    Rig rig;
    device::OpenResult h = rig.open_first();
    ASSERT_TRUE(h.device);
    for (int i = 0; i < 100; ++i) rig.box.move_stick(static_cast<std::uint8_t>(i), 128);
    EXPECT_EQ(rig.box.queued_inputs(), 64u);
    std::array<std::uint8_t, 3> shortbuf{};
    EXPECT_EQ(h.device->read_input(shortbuf), 3) << "truncated to the caller's buffer";
    EXPECT_EQ(shortbuf[0], 36);
    int last = 36, count = 1;
    std::array<std::uint8_t, 64> buf{};
    while (h.device->read_input(buf) > 0) last = buf[0], ++count;
    EXPECT_EQ(count, 64);
    EXPECT_EQ(last, 99);

    // Odd input lengths: the report fills len - 1 bytes.
    rig.box.app_caps.input_report_length = 9;
    rig.box.move_stick(200, 30);
    EXPECT_EQ(h.device->read_input(buf), 8);
    EXPECT_EQ(buf[2], 32);
    EXPECT_EQ(buf[7], 0);
    EXPECT_EQ(h.device->caps()->input_report_length, 9);
}

// ---- knobs -----------------------------------------------------------------

TEST(Knobs, FailingTransfersAndStrings) {
    Rig rig;
    device::OpenResult h = rig.open_first();
    ASSERT_TRUE(h.device);
    rig.box.fail_feature_writes = true;
    EXPECT_FALSE(h.device->send_feature_report(report_bytes({0, 0xEE, 0, 1})));
    EXPECT_EQ(rig.box.settings().value[0], 102);
    EXPECT_TRUE(rig.box.feature_log().empty());
    rig.box.fail_feature_writes = false;

    rig.box.fail_feature_reads = true;
    EXPECT_TRUE(h.device->send_feature_report(report_bytes({0, 0xF0})));
    auto r = report_bytes({0});
    EXPECT_EQ(h.device->get_feature_report(r), -1);
    rig.box.fail_feature_reads = false;

    rig.box.fail_strings = true;
    EXPECT_FALSE(h.device->manufacturer_string());
    EXPECT_FALSE(h.device->product_string());
    EXPECT_TRUE(h.device->probe()) << "failing strings are not a removal";
    rig.box.fail_strings = false;
    EXPECT_EQ(h.device->manufacturer_string(), std::u16string(u"Vantrel"));
}

TEST(Knobs, UnplugAfterTransfers) {
    Rig rig;
    device::OpenResult h = rig.open_first();
    ASSERT_TRUE(h.device);
    rig.box.unplug_after_transfers = 2;
    EXPECT_TRUE(h.device->send_feature_report(report_bytes({0, 0xF0})));
    auto r = report_bytes({0});
    EXPECT_EQ(h.device->get_feature_report(r), 65);
    EXPECT_EQ(r[2], 102) << "the last transfer still completes";
    EXPECT_FALSE(rig.box.present());
    EXPECT_FALSE(h.device->send_feature_report(report_bytes({0, 0xF0})));
}

TEST(Knobs, ListingAndOpening) {
    ManualClock clock;
    EmulatedBackend backend;
    backend.add_foreign({0x046D, 0xC52B, 0x1201});
    emulator::BoxIdentity second;
    second.product_id = 0x10A1;
    second.serial = std::u16string(60, u'x');
    backend.add_box({}, clock.clock());
    backend.add_box(second, clock.clock());
    backend.attributes_unreadable = {true};
    backend.open_errors = {{}, {device::HidErrorKind::PermissionDenied, "No access for this user."}};

    const auto list = backend.enumerate();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].attributes.vendor_id, 0x046D);
    EXPECT_EQ(list[1].attributes.vendor_id, 0);
    EXPECT_EQ(list[1].attributes.product_id, 0);
    EXPECT_EQ(list[2].attributes.product_id, 0x10A1);
    EXPECT_EQ(backend.enumerations, 1);

    const device::OpenResult denied = backend.open(list[2].path);
    EXPECT_FALSE(denied.device);
    EXPECT_EQ(denied.error.kind, device::HidErrorKind::PermissionDenied);
    EXPECT_EQ(denied.error.reason, "No access for this user.");

    // The tool skips the unreadable box and the foreign one, and remembers
    // why the last accepted one would not open.
    device::DeviceConnection conn;
    EXPECT_FALSE(device::FindTheHid(backend, conn, kVid));
    EXPECT_EQ(conn.open_error.kind, device::HidErrorKind::PermissionDenied);
    EXPECT_TRUE(backend.opened_paths.empty());

    backend.open_errors.clear();
    {
        device::OpenResult a = backend.open(list[2].path);
        device::OpenResult b = backend.open(list[1].path);
        ASSERT_TRUE(a.device && b.device);
        EXPECT_EQ(backend.open_handles(), 2);
        EXPECT_EQ(a.device->serial_number_string()->size(), 50u);
        b.device.reset();
        EXPECT_EQ(backend.open_handles(), 1);
    }
    EXPECT_EQ(backend.open_handles(), 0);
    EXPECT_EQ(backend.opened_paths, (std::vector<std::string>{list[2].path, list[1].path}));
}

TEST(Knobs, HandleOutlivingTheBackendIsDead) {
    std::unique_ptr<device::HidDevice> handle;
    {
        EmulatedBackend backend;
        backend.add_box();
        handle = backend.open(backend.enumerate().front().path).device;
        ASSERT_TRUE(handle);
    }
    std::array<std::uint8_t, 5> in{};
    EXPECT_FALSE(handle->probe());
    EXPECT_EQ(handle->read_input(in), -1);
}

// ---- report descriptor ------------------------------------------------------

TEST(ReportDescriptor, DeclaresTheConfiguredLengths) {
    auto contains = [](const std::vector<std::uint8_t>& d, std::vector<std::uint8_t> part) {
        return std::search(d.begin(), d.end(), part.begin(), part.end()) != d.end();
    };
    ManualClock clock;
    BoxModel box({}, clock.clock());
    const auto d = box.report_descriptor();
    ASSERT_GE(d.size(), 3u);
    EXPECT_EQ((std::vector<std::uint8_t>(d.begin(), d.begin() + 3)), (std::vector<std::uint8_t>{0x06, 0x00, 0xFF}));
    EXPECT_EQ(d.back(), 0xC0);
    EXPECT_FALSE(contains(d, {0x85})) << "no report ID item";
    // Report Count 5 before the Input item, 64 before the Feature item.
    EXPECT_TRUE(contains(d, {0x95, 0x05, 0x09, 0x02, 0x81, 0x02}));
    EXPECT_TRUE(contains(d, {0x95, 0x40, 0x09, 0x03, 0xB1, 0x02}));

    box.app_caps = {9, 300};
    const auto odd = box.report_descriptor();
    EXPECT_TRUE(contains(odd, {0x95, 0x08, 0x09, 0x02, 0x81, 0x02}));
    EXPECT_TRUE(contains(odd, {0x96, 0x2B, 0x01, 0x09, 0x03, 0xB1, 0x02}));

    box.boot_caps = {6, 41};
    box.power_up_in_bootloader();
    EXPECT_TRUE(contains(box.report_descriptor(), {0x95, 0x28, 0x09, 0x03, 0xB1, 0x02}));
}

// ---- demo stick --------------------------------------------------------------

TEST(DemoStick, PathVisitsEveryGateSmoothly) {
    std::set<std::pair<int, int>> seen;  // (gear bits, minus)
    int min_x = 255, max_x = 0, min_y = 255, max_y = 0;
    emulator::StickPosition prev = DemoStick::position_at(0);
    for (std::int64_t ms = 0; ms < DemoStick::cycle_length(); ms += 10) {
        const emulator::StickPosition p = DemoStick::position_at(ms);
        const emulator::DecodedGear g = emulator::decode_gear(p.x, p.y, p.sequential, BoxSettings{});
        seen.insert({g.gear_bits, g.minus});
        min_x = std::min<int>(min_x, p.x), max_x = std::max<int>(max_x, p.x);
        min_y = std::min<int>(min_y, p.y), max_y = std::max<int>(max_y, p.y);
        EXPECT_LE(std::abs(p.x - prev.x) + std::abs(p.y - prev.y), 16) << "jump at " << ms << " ms";
        prev = p;
    }
    const std::set<std::pair<int, int>> expected{{0, 0},  {1, 0},  {2, 0},  {4, 0},   {8, 0},
                                                 {16, 0}, {32, 0}, {64, 0}, {128, 0}, {0, 1}};
    EXPECT_EQ(seen, expected);
    EXPECT_LE(min_x, 30);
    EXPECT_GE(max_x, 225);
    EXPECT_LE(min_y, 15);
    EXPECT_GE(max_y, 235);
    EXPECT_EQ(DemoStick::position_at(1234).y, DemoStick::position_at(1234 + DemoStick::cycle_length()).y);
}

TEST(DemoStick, MovesOnlyAPresentApplication) {
    int argc = 1;
    char name[] = "test_emulator";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    // Runs the event loop until pred holds, with a generous limit.
    auto wait_for = [](const std::function<bool()>& pred) {
        QElapsedTimer t;
        t.start();
        while (!pred() && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return pred();
    };
    BoxModel box;
    DemoStick stick(box);
    stick.start();
    ASSERT_TRUE(wait_for([&] { return box.queued_inputs() > 0; }));

    while (box.take_input()) {
    }
    box.power_up_in_bootloader();
    const int ticks = stick.ticks();
    ASSERT_TRUE(wait_for([&] { return stick.ticks() >= ticks + 3; }));
    EXPECT_EQ(box.queued_inputs(), 0u);
    stick.stop();
}
