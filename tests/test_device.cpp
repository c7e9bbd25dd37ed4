// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the box, framing its commands on the wire, draining its input
// reports, and reading its identity.
#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "device/Commands.h"
#include "device/Connection.h"
#include "emulator/EmulatedBackend.h"
#include "device/Products.h"
#include "calibration/Readout.h"
#include "calibration/TerminalText.h"
#include "tests/TestSupport.h"

using namespace device;
using namespace Qt::StringLiterals;
using emulator::BoxIdentity;
using emulator::EmulatedBackend;

namespace {

constexpr std::uint16_t kVid = 0x1209;

BoxIdentity identity(std::uint16_t pid, std::uint16_t vid = kVid) {
    BoxIdentity id;
    id.vendor_id = vid;
    id.product_id = pid;
    return id;
}


}  // namespace

// ---- FindTheHid ----------------------------------------------------------

TEST(FindTheHid, NothingPresentAnswersFalseAndOpensNothing) {
    EmulatedBackend bus;
    DeviceConnection conn;
    EXPECT_FALSE(FindTheHid(bus, conn, kVid));
    EXPECT_FALSE(conn.device_found);
    EXPECT_EQ(conn.device_handle, nullptr);
    EXPECT_EQ(conn.read_handle, nullptr);
    EXPECT_EQ(bus.open_handles(), 0);
}

TEST(FindTheHid, SkipsForeignProductsAndVendors) {
    EmulatedBackend bus;
    bus.add_foreign({0x046D, 0xC077, 0x0100});      // a mouse
    bus.add_box(identity(0x10A3));                  // our vendor, unknown product
    bus.add_box(identity(kPidKelvo, 0x1234));       // accepted product, other vendor
    DeviceConnection conn;
    EXPECT_FALSE(FindTheHid(bus, conn, kVid));
    EXPECT_TRUE(bus.opened_paths.empty());
    EXPECT_EQ(bus.open_handles(), 0);
}

TEST(FindTheHid, FirstAcceptedBoxWinsAndTheSecondIsNeverOpened) {
    EmulatedBackend bus;
    bus.add_foreign({0x046D, 0xC31C, 0x0110});
    bus.add_box(identity(kPidDravi));
    bus.add_box(identity(kPidKelvo));
    DeviceConnection conn;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    EXPECT_EQ(conn.product_id, kPidDravi);
    ASSERT_EQ(bus.opened_paths.size(), 2u);  // plain and read handle, same path
    EXPECT_EQ(bus.opened_paths[0], bus.opened_paths[1]);
    EXPECT_EQ(bus.opened_paths[0], conn.device_path);
    EXPECT_NE(conn.device_handle, nullptr);
    EXPECT_NE(conn.read_handle, nullptr);
    EXPECT_EQ(conn.hid_caps.input_report_length, 6);
    EXPECT_EQ(conn.hid_caps.feature_report_length, 65);
    EXPECT_TRUE(static_cast<bool>(conn.serving));
}

TEST(FindTheHid, AChosenBoxIsTakenByPathOrSerialAndNoOtherIs) {
    EmulatedBackend bus;
    BoxIdentity second = identity(kPidKelvo);
    second.serial = u"KV-000777";
    bus.add_box(identity(kPidDravi));
    bus.add_box(second);
    const std::string second_path = bus.enumerate()[1].path;
    struct Case {
        BoxChoice choice;
        bool found;
    };
    const Case cases[] = {
        {{second_path, u""}, true},
        {{"", u"KV-000777"}, true},
        {{second_path, u"KV-000777"}, true},
        {{"", u"KV-000999"}, false},
        {{bus.enumerate()[0].path, u"KV-000777"}, false},
    };
    for (const Case& c : cases) {
        DeviceConnection conn;
        conn.choice = c.choice;
        EXPECT_EQ(FindTheHid(bus, conn, kVid), c.found);
        EXPECT_EQ(conn.device_found ? conn.device_path : second_path, second_path);
    }
    EXPECT_EQ(bus.open_handles(), 0);
    EXPECT_EQ(accepted_boxes(bus, kVid).size(), 2u);
}

TEST(FindTheHid, AcceptsTheBootloader) {
    EmulatedBackend bus;
    bus.add_box(identity(kPidKelvo)).power_up_in_bootloader();
    DeviceConnection conn;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    EXPECT_EQ(conn.product_id, kPidBootloader);
    EXPECT_TRUE(conn.bootloader());
    EXPECT_EQ(bus.open_handles(), 2);
}

TEST(FindTheHid, InterfaceWithUnreadableAttributesDoesNotMatch) {
    EmulatedBackend bus;
    bus.add_box(identity(kPidKelvo));
    bus.add_box(identity(kPidGeneric));
    bus.attributes_unreadable = {true, false};
    DeviceConnection conn;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    EXPECT_EQ(conn.product_id, kPidGeneric);
}

TEST(FindTheHid, BoxThatMayNotBeOpenedIsReportedNotFound) {
    EmulatedBackend bus;
    bus.add_box(identity(kPidKelvo));
    bus.open_errors = {HidError{HidErrorKind::PermissionDenied, "This user may not open the box."}};
    DeviceConnection conn;
    EXPECT_FALSE(FindTheHid(bus, conn, kVid));
    EXPECT_EQ(conn.open_error.kind, HidErrorKind::PermissionDenied);
    EXPECT_FALSE(conn.open_error.reason.empty());
}

TEST(FindTheHid, FindingAgainClosesTheOldHandles) {
    EmulatedBackend bus;
    bus.add_box(identity(kPidKelvo));
    DeviceConnection conn;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    EXPECT_EQ(bus.open_handles(), 2);
    conn.close_handles();
    conn.close_handles();  // closing twice is harmless
    EXPECT_EQ(bus.open_handles(), 0);
}

// Boxes whose report lengths do not fit our buffers are found but not served:
// nothing but strings is exchanged with them.
TEST(FindTheHid, OddReportLengthsAreFoundButNotServed) {
    struct Case { int input; int feature; bool served; bool boot = false; };
    const Case cases[] = {
        {6, 17, false}, {6, 18, true}, {6, 65, true}, {6, 66, false}, {5, 65, false}, {0, 0, false}, {64, 65, true},
        // A firmware page fills bytes 1..40 of the bootloader's report.
        {6, 40, false, true}, {6, 41, true, true},
    };
    for (const Case& c : cases) {
        EmulatedBackend bus;
        auto& box = bus.add_box(identity(kPidKelvo));
        box.app_caps = box.boot_caps = {c.input, c.feature};
        if (c.boot) box.power_up_in_bootloader();
        DeviceConnection conn;
        ASSERT_TRUE(FindTheHid(bus, conn, kVid));
        EXPECT_EQ(conn.served(), c.served) << c.input << "/" << c.feature;
        EXPECT_EQ(static_cast<bool>(conn.serving), c.served);
        const std::array<std::uint8_t, kFirmwarePageSize> page{};
        const device::Status r = c.boot ? send_firmware_page(conn, page) : set_tool_attached(conn, true);
        EXPECT_EQ(r == Fault::None, c.served);
        EXPECT_EQ(box.feature_log().empty(), !c.served);
    }
}

// ---- Feature commands on the wire -----------------------------------------

class Wire : public ::testing::Test {
protected:
    void SetUp() override {
        box = &bus.add_box(identity(kPidKelvo));
        ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    }
    const std::vector<std::uint8_t>& last() { return box->feature_log().back(); }
    EmulatedBackend bus;
    emulator::BoxModel* box = nullptr;
    DeviceConnection conn;
};

TEST_F(Wire, EveryCommandGoesOutAtTheFeatureReportLength) {
    EXPECT_EQ(set_tool_attached(conn, true), Fault::None);
    EXPECT_EQ(last(), report_bytes({0x00, 0xDB, 0x01}, 65));
    SettingsBytes reply{};
    EXPECT_EQ(into(read_settings(conn), reply), Fault::None);
    // Bytes 2 and 3 carry over from the previous command.
    EXPECT_EQ(last(), report_bytes({0x00, 0xF0, 0x01, 0x00}, 65));
    EXPECT_EQ(send_setting(conn, kV2, 190), Fault::None);
    EXPECT_EQ(last(), report_bytes({0x00, 0xEE, 0x03, 0xBE}, 65));
    EXPECT_EQ(into(read_settings(conn), reply), Fault::None);
    EXPECT_EQ(last(), report_bytes({0x00, 0xF0, 0x03, 0xBE}, 65));
    EXPECT_EQ(set_tool_attached(conn, false), Fault::None);
    EXPECT_EQ(last(), report_bytes({0x00, 0xDB, 0x00, 0xBE}, 65));
    MemoryDump dump{};
    EXPECT_EQ(into(read_memory(conn), dump), Fault::None);
    EXPECT_EQ(last(), report_bytes({0x00, 0xD0, 0x00, 0xBE}, 65));
    // The bootloader order uses a buffer of its own: nothing carries over.
    EXPECT_EQ(enter_bootloader(conn), Fault::None);
    EXPECT_EQ(last(), report_bytes({0x00, 0xA7, 0x3C, 0x51}, 65));
}

TEST_F(Wire, ShortFeatureReportLengthIsPassedExactly) {
    box->app_caps = {6, 18};
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    ASSERT_EQ(send_setting(conn, kH1, 102), Fault::None);
    EXPECT_EQ(last(), report_bytes({0x00, 0xEE, 0x00, 0x66}, 18));
    MemoryDump dump{};
    ASSERT_EQ(into(read_memory(conn), dump), Fault::None);
    EXPECT_TRUE(std::equal(dump.begin(), dump.end(), box->memory().begin()));
}

TEST_F(Wire, SettingsReplyAndMemoryDump) {
    emulator::BoxSettings s;
    const std::uint8_t values[6] = {0x66, 0x98, 0x40, 0xBE, 0x64, 0x9B};
    std::copy(values, values + 6, s.value);
    box->set_settings(s);
    SettingsBytes reply{};
    ASSERT_EQ(into(read_settings(conn), reply), Fault::None);
    const device::Thresholds t = calibration::thresholds_from_reply(reply);
    EXPECT_EQ(t.h1, 102);
    EXPECT_EQ(t.h2, 152);
    EXPECT_EQ(t.v1, 64);
    EXPECT_EQ(t.v2, 190);
    EXPECT_EQ(t.s1, 100);
    EXPECT_EQ(t.s2, 155);

    // A box that answers the same block eight times gives that block eight times.
    for (int i = 0; i < 128; ++i) box->memory()[i] = static_cast<std::uint8_t>(i % 16 + 1);
    MemoryDump dump{};
    const std::size_t writes_before = box->feature_log().size();
    ASSERT_EQ(into(read_memory(conn), dump), Fault::None);
    EXPECT_EQ(box->feature_log().size(), writes_before + 1);  // one write, then only reads
    for (int i = 0; i < 128; ++i) ASSERT_EQ(dump[i], i % 16 + 1) << i;
}

TEST_F(Wire, ValuesOutsideAByteNeverReachTheWire) {
    for (int value : {-3, -1, 256, 260, 70000}) {
        EXPECT_EQ(send_setting(conn, kH1, value), Fault::OutOfRange) << value;
    }
    EXPECT_EQ(send_setting(conn, 6, 10), Fault::OutOfRange);
    // Nor does a firmware page reach a box running its application.
    const std::array<std::uint8_t, kFirmwarePageSize> page{};
    EXPECT_NE(send_firmware_page(conn, page), Fault::None);
    EXPECT_TRUE(box->feature_log().empty());
    EXPECT_EQ(send_setting(conn, kH1, 0), Fault::None);
    EXPECT_EQ(send_setting(conn, kH1, 255), Fault::None);
    EXPECT_EQ(box->settings().value[kH1], 255);
}

TEST_F(Wire, FailedTransfersAreReported) {
    box->fail_feature_writes = true;
    EXPECT_EQ(send_setting(conn, kH1, 1), Fault::Failed);
    box->fail_feature_writes = false;
    box->fail_feature_reads = true;
    SettingsBytes reply{};
    EXPECT_EQ(into(read_settings(conn), reply), Fault::Failed);
    box->fail_feature_reads = false;
    // A reply that stops short of the bytes a command needs is a failed read,
    // whatever the buffer's tail still holds.
    MemoryDump dump{};
    box->feature_reply_bytes = 7;
    EXPECT_EQ(into(read_settings(conn), reply), Fault::Failed);
    box->feature_reply_bytes = 17;
    EXPECT_EQ(into(read_memory(conn), dump), Fault::Failed);
    box->feature_reply_bytes = 18;
    EXPECT_EQ(into(read_memory(conn), dump), Fault::None);
    conn.close_handles();
    EXPECT_EQ(send_setting(conn, kH1, 1), Fault::NoDevice);
}

// The bootloader takes every feature report as the next firmware page, so no
// application command may reach it.
class Bootloader : public ::testing::Test {
protected:
    void SetUp() override {
        box.power_up_in_bootloader();
        ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    }
    EmulatedBackend bus;
    emulator::BoxModel& box = bus.add_box(identity(kPidKelvo));
    DeviceConnection conn;
};

TEST_F(Bootloader, ApplicationCommandsAreRefusedAndFlashStaysUntouched) {
    SettingsBytes reply{};
    MemoryDump dump{};
    EXPECT_EQ(set_tool_attached(conn, true), Fault::Bootloader);
    EXPECT_EQ(into(read_settings(conn), reply), Fault::Bootloader);
    EXPECT_EQ(send_setting(conn, kV2, 190), Fault::Bootloader);
    EXPECT_EQ(into(read_memory(conn), dump), Fault::Bootloader);
    EXPECT_EQ(enter_bootloader(conn), Fault::Bootloader);
    EXPECT_TRUE(box.feature_log().empty());
    EXPECT_TRUE(box.flash().empty());

    const calibration::DeviceInfo info = calibration::read_device_info(conn);
    EXPECT_FALSE(static_cast<bool>(info.thresholds));
    EXPECT_TRUE(info.manufacturer.has_value());
    EXPECT_TRUE(box.flash().empty());
}

TEST_F(Bootloader, FirmwarePagesGoOutAsFortyBytesInAZeroedReport) {
    std::array<std::uint8_t, kFirmwarePageSize> page{};
    for (int i = 0; i < kFirmwarePageSize; ++i) page[i] = static_cast<std::uint8_t>(0xA0 + i);
    ASSERT_EQ(send_firmware_page(conn, page), Fault::None);
    const auto& report = box.feature_log().back();
    ASSERT_EQ(report.size(), 65u);
    EXPECT_EQ(report[0], 0);
    EXPECT_TRUE(std::equal(page.begin(), page.end(), report.begin() + 1));
    EXPECT_TRUE(std::all_of(report.begin() + 41, report.end(), [](std::uint8_t b) { return b == 0; }));
    ASSERT_EQ(box.flash().size(), 40u);
}

// ---- Input drain and presence ---------------------------------------------

TEST(Drain, CollectsEveryQueuedReportWithItsReportIdByte) {
    EmulatedBackend bus;
    auto& box = bus.add_box(identity(kPidKelvo));
    DeviceConnection conn;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    EXPECT_EQ(drain_input(conn), DrainResult::Nothing);
    EXPECT_FALSE(conn.last_result);
    EXPECT_TRUE(probe_presence(conn));  // silent, not gone

    for (int i = 0; i < 40; ++i) box.queue_raw(static_cast<std::uint8_t>(i), 200, 1, 0, 2);
    ASSERT_EQ(drain_input(conn), DrainResult::Reports);
    EXPECT_TRUE(conn.last_result);
    ASSERT_EQ(conn.bytes_read, 40 * 6);
    for (int i = 0; i < 40; ++i) {
        const std::uint8_t* r = conn.input_report.data() + i * 6;
        EXPECT_EQ(r[0], 0);
        EXPECT_EQ(r[1], i);
        EXPECT_EQ(r[2], 200);
        EXPECT_EQ(r[5], 2);
    }
    EXPECT_EQ(box.queued_inputs(), 0u);
}

TEST(Drain, AFullBufferLeavesTheRestQueued) {
    EmulatedBackend bus;
    auto& box = bus.add_box(identity(kPidKelvo));
    box.queue_limit = 6000;
    DeviceConnection conn;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    for (int i = 0; i < 5400; ++i) box.queue_raw(1, 2, 0, 0, 0);
    ASSERT_EQ(drain_input(conn), DrainResult::Reports);
    EXPECT_EQ(conn.bytes_read, (kMaxBatchBytes / 6) * 6);
    EXPECT_EQ(box.queued_inputs(), 5400u - kMaxBatchBytes / 6);
    ASSERT_EQ(drain_input(conn), DrainResult::Reports);
    EXPECT_EQ(box.queued_inputs(), 0u);
}

TEST(Drain, RemovalFailsTheReadAndTheProbe) {
    EmulatedBackend bus;
    auto& box = bus.add_box(identity(kPidKelvo));
    DeviceConnection conn;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    box.queue_raw(1, 2, 0, 0, 0);
    box.unplug();
    EXPECT_EQ(drain_input(conn), DrainResult::Failed);
    EXPECT_FALSE(probe_presence(conn));
    // A box plugged in again is a new appearance; the old handles stay dead.
    box.plug();
    EXPECT_FALSE(probe_presence(conn));
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    EXPECT_TRUE(probe_presence(conn));
}

TEST(Drain, BootloaderEntryTakesTheBoxAwayAndBringsItBackAsBootloader) {
    ManualClock clock;
    EmulatedBackend bus;
    auto& box = bus.add_box(identity(kPidKelvo), clock.clock());
    DeviceConnection conn;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    ASSERT_EQ(enter_bootloader(conn), Fault::None);
    EXPECT_FALSE(probe_presence(conn));
    EXPECT_FALSE(FindTheHid(bus, conn, kVid));
    clock.now += box.reenumerate_delay;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    EXPECT_EQ(conn.product_id, kPidBootloader);
}

// ---- Identity -----------------------------------------------------------

TEST(Identity, VersionCaptions) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0106, " 1.6"}, {0x010A, " 1.A"}, {0x0210, " 2.10"}, {0x8001, " -128.1"},
        {0x0100, " 1.0"}, {0x01FF, " 1.FF"}, {0x0000, " 0.0"}, {0xFFFF, " -1.FF"},
    };
    for (const auto& [version, caption] : cases)
        EXPECT_EQ(calibration::version_caption(version), caption) << std::hex << version;
}

TEST(Identity, StringsShowTheLowByteOfEachUnitUpToTheFirstZero) {
    EXPECT_EQ(calibration::decode_box_string(u"ACME"), "ACME");
    EXPECT_EQ(calibration::decode_box_string(u""), "");
    EXPECT_EQ(calibration::decode_box_string(u"AB\u0100CD"), "AB");  // low byte 0 ends it
    EXPECT_EQ(calibration::decode_box_string(u"\u00e9t\u00e9"), "\xe9t\xe9");  // Latin-1
    EXPECT_EQ(calibration::decode_box_string(u"\u0141x"), "\x41x");  // only the low byte
    // A low byte that is a control shows as a mark: ESC, VT, CSI, DEL, soft hyphen.
    EXPECT_EQ(calibration::decode_box_string(u"A\u011b[2J\u200b\u019b\u017f\u00adB"), "A?[2J????B");
    EXPECT_EQ(calibration::decode_box_string(std::u16string(80, u'x')).size(), 50u);
}

// The command line and the store take the strings exactly; a terminal gets
// them with every control shown, not acted on.
TEST(Identity, ExactStringsAndTheirTerminalForm) {
    const std::pair<std::u16string, QString> exact[] = {
        {u"KV-\u011b", u"KV-\u011b"_s},  // an honest caron, not the ESC of its low byte
        {u"AB\u0100CD", u"AB\u0100CD"_s},
        {std::u16string(u"AB\0CD", 5), "AB"},
        {std::u16string(200, u'x'), QString(126, 'x')},
        {u"", ""},
    };
    for (const auto& [units, text] : exact) EXPECT_EQ(calibration::box_string(units), text);

    const std::pair<QString, QString> shown[] = {
        {u"plain \u011b \U0001F600"_s, u"plain \u011b \U0001F600"_s},
        {"\x1b[2J\x07\x7f", "\\e[2J\\x07\\x7f"},
        {"a\\e\tb\n\r", "a\\\\e\\tb\\n\\r"},  // a backslash is doubled, so "\\e" is no ESC
        {u"\u0085\u202eKV\u2066\u200f\u2028"_s, "\\u0085\\u202eKV\\u2066\\u200f\\u2028"},
        {QString(QChar(0xD800)) + "x", "\\ud800x"},  // a lone surrogate
        {u"\u009b2J\u009c\u009d0;x\u0080"_s, "\\u009b2J\\u009c\\u009d0;x\\u0080"},  // CSI, ST, OSC
        // Serials that would look like "KV-000123": zero-width space, soft
        // hyphen, byte-order mark, word joiner, a combining mark, a no-break
        // space, a tag character.
        {u"KV-000123\u200b\u00ad\ufeff\u20603\u0301\u00a0\U000E0041"_s,
         "KV-000123\\u200b\\u00ad\\ufeff\\u20603\\u0301\\u00a0\\U000e0041"},
    };
    for (const auto& [text, terminal] : shown)
        EXPECT_EQ(calibration::terminal_text(text), terminal) << text.toStdString();
}

// The product table: what each product ID means to the window, the update
// query and the command line.
TEST(Identity, ProductTable) {
    struct Case { std::uint16_t pid; const char* title; const char* model_word; const char* name; bool boot; };
    const Case cases[] = {
        {kPidKelvo, "Kelvo shifter interface calibration v1.6", "Kelvo", "Kelvo", false},
        {kPidDravi, "Dravi shifter interface calibration v1.6", "Dravi", "Dravi", false},
        {kPidGeneric, "USB shifter interface calibration v1.6", "", "generic", false},
        {kPidBootloader, "Kelvo/Dravi shifter interface calibration", "BOOT", "bootloader", true},
    };
    for (const Case& c : cases) {
        const ProductInfo* p = find_product(c.pid);
        ASSERT_NE(p, nullptr) << c.pid;
        EXPECT_STREQ(calibration::window_title(true, c.pid), c.title);
        EXPECT_STREQ(p->model_word, c.model_word);
        EXPECT_STREQ(p->name, c.name);
        EXPECT_EQ(is_bootloader(c.pid), c.boot);
        EXPECT_EQ(is_application(c.pid), !c.boot);
    }
    EXPECT_EQ(find_product(0x10A3), nullptr);
    EXPECT_STREQ(calibration::window_title(false, kPidKelvo), "Kelvo/Dravi shifter interface calibration");
}

TEST(Identity, ReadoutFillsStringsAndKeepsThresholdsWhenTheReadFails) {
    EmulatedBackend bus;
    BoxIdentity id = identity(kPidKelvo);
    id.manufacturer = u"ACME";
    id.serial = u"SN-\u011b";
    id.version = 0x010A;
    auto& box = bus.add_box(id);
    DeviceConnection conn;
    ASSERT_TRUE(FindTheHid(bus, conn, kVid));
    calibration::DeviceInfo info = calibration::read_device_info(conn);
    EXPECT_EQ(info.manufacturer, "ACME");
    EXPECT_EQ(info.version, " 1.A");
    EXPECT_EQ(info.serial, "SN-?");  // the window's caption rule, the ESC of its low byte marked
    EXPECT_EQ(info.serial_text, u"SN-\u011b"_s);
    EXPECT_EQ(info.manufacturer_text, "ACME");
    ASSERT_TRUE(info.thresholds);
    EXPECT_EQ(info.thresholds->v2, 190);
    EXPECT_TRUE(box.tool_attached());

    box.fail_feature_reads = true;
    box.fail_strings = true;
    info = calibration::read_device_info(conn);
    EXPECT_FALSE(info.thresholds);
    EXPECT_FALSE(info.manufacturer);
    EXPECT_FALSE(info.version);
    EXPECT_FALSE(info.product);
}
