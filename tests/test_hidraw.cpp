// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The product's hidapi transport and FindTheHid against boxes on fake hidraw
// nodes: the real hidapi (hidraw backend) and libudev read a umockdev sysfs
// tree, and every ioctl and read on a node is answered by the same box model
// the in-process emulator serves. Runs under umockdev-wrapper (ctest does).

#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QStandardPaths>
#include <atomic>
#include <chrono>
#include <clocale>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/TestSupport.h"
#include "BuildConfig.h"
#include "device/Commands.h"
#include "device/Connection.h"
#include "device/HidapiBackend.h"
#include "tests/HidrawRig.h"
#include "device/Products.h"
#include "tests/ScriptedDialogs.h"
#include "tests/WindowControls.h"
#include "app/frmMain.h"

// umockdev's preload library comes first in the process, ahead of the
// sanitizer runtime, which would otherwise refuse to start.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "verify_asan_link_order=0";
}

using device::DeviceConnection;
using device::HidErrorKind;
using emulator::BoxIdentity;
using emulator::BoxModel;
using hidraw_rig::Access;
using hidraw_rig::Rig;
using hidraw_rig::Transfer;
using namespace std::chrono_literals;

namespace {

constexpr std::uint16_t kVid = buildcfg::kVendorId;
constexpr const char* kWindowProbe = "--hidraw-window-probe";

struct ManualClock {
    // Read by the rig's worker thread while the test moves it.
    std::atomic<long long> now_ms{0};
    emulator::Clock clock() {
        return [this] { return std::chrono::milliseconds(now_ms.load()); };
    }
    void advance(std::chrono::milliseconds by) { now_ms += by.count(); }
};

BoxIdentity identity(std::uint16_t pid, std::uint16_t vid = kVid) {
    BoxIdentity id;
    id.vendor_id = vid;
    id.product_id = pid;
    return id;
}

class Hidraw : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(hidraw_rig::preloaded()) << "run this test through umockdev-wrapper, as ctest does";
        rig = std::make_unique<Rig>();
    }

    BoxModel& add_box(BoxIdentity id = identity(device::kPidKelvo), Access access = Access::Everyone,
                      device::HidCaps caps = {6, 65}) {
        boxes.push_back(std::make_unique<BoxModel>(std::move(id), clock.clock()));
        BoxModel& box = *boxes.back();
        box.app_caps = caps;
        rig->plug(box, access);
        return box;
    }

    bool listed(const std::string& path) {
        for (const device::HidDeviceInfo& info : backend.enumerate())
            if (info.path == path) return true;
        return false;
    }

    std::vector<Transfer> take_transfers() {
        std::vector<Transfer> t = rig->transfers();
        rig->clear_transfers();
        return t;
    }

    // Declared so that the connection closes its handles first and the rig
    // outlives them.
    ManualClock clock;
    std::vector<std::unique_ptr<BoxModel>> boxes;
    std::unique_ptr<Rig> rig;
    device::HidapiBackend backend;
    DeviceConnection conn;
};

// ---- finding the box -------------------------------------------------------

struct IdentityCase {
    const char* name;
    BoxIdentity id;
};

void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

class HidrawIdentity : public Hidraw, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(HidrawIdentity, IsFoundByVendorAndProductWithStringsAndVersion) {
    // Listed ahead of the box: another vendor's device with an accepted
    // product ID, and this vendor's device with an unknown one.
    BoxModel& foreign = add_box(identity(device::kPidKelvo, 0x046D));
    BoxModel& unknown = add_box(identity(0x10A3));
    BoxModel& box = add_box(GetParam().id);
    const std::string node = rig->node(box);
    ASSERT_FALSE(node.empty());

    std::map<std::string, device::HidAttributes> listed_attributes;
    for (const device::HidDeviceInfo& info : backend.enumerate()) {
        listed_attributes[info.path] = info.attributes;
        EXPECT_FALSE(device::hidraw_sysfs_dir(info.path).empty()) << info.path;
    }
    ASSERT_EQ(listed_attributes.size(), 3u);
    const device::HidAttributes& a = listed_attributes[node];
    EXPECT_EQ(a.vendor_id, GetParam().id.vendor_id);
    EXPECT_EQ(a.product_id, GetParam().id.product_id);
    EXPECT_EQ(a.version_number, GetParam().id.version);

    ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
    EXPECT_EQ(conn.device_path, node);
    EXPECT_EQ(conn.product_id, GetParam().id.product_id);
    EXPECT_EQ(conn.hid_attributes.version_number, GetParam().id.version);
    EXPECT_EQ(rig->opens(rig->node(foreign)), 0);
    EXPECT_EQ(rig->opens(rig->node(unknown)), 0);
    EXPECT_EQ(rig->open_descriptors(node), 2);

    ASSERT_NE(conn.device_handle, nullptr);
    EXPECT_EQ(conn.device_handle->manufacturer_string(), GetParam().id.manufacturer);
    EXPECT_EQ(conn.device_handle->product_string(), GetParam().id.product);
    EXPECT_EQ(conn.device_handle->serial_number_string(), GetParam().id.serial);

    // A box of the same model beside it, one with another serial and one
    // without: only a choice by serial takes the other, and the listing
    // tells them apart.
    BoxIdentity twin_id = GetParam().id;
    twin_id.serial = u"TWIN-1";
    BoxModel& twin = add_box(twin_id);
    BoxIdentity bare_id = GetParam().id;
    bare_id.serial = u"";
    BoxModel& bare = add_box(bare_id);
    std::map<std::string, std::u16string> serials;
    for (const device::HidDeviceInfo& info : backend.enumerate()) serials[info.path] = info.serial;
    EXPECT_EQ(serials[node], GetParam().id.serial);
    EXPECT_EQ(serials[rig->node(twin)], u"TWIN-1");
    EXPECT_EQ(serials[rig->node(bare)], u"");
    conn.choice.serial = u"TWIN-1";
    ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
    EXPECT_EQ(conn.device_path, rig->node(twin));
    conn.close_handles();
}

BoxIdentity with_strings(std::uint16_t pid, std::uint16_t version, std::u16string manufacturer,
                         std::u16string product, std::u16string serial) {
    BoxIdentity id = identity(pid);
    id.version = version;
    id.manufacturer = std::move(manufacturer);
    id.product = std::move(product);
    id.serial = std::move(serial);
    return id;
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, HidrawIdentity,
    ::testing::Values(
        IdentityCase{"Kelvo", identity(device::kPidKelvo)},
        IdentityCase{"Dravi", with_strings(device::kPidDravi, 0x0107, u"Vantrel", u"Dravi shifter interface", u"DR-4")},
        // Past ASCII, through sysfs's UTF-8 and hidapi's wide strings.
        IdentityCase{"Generic", with_strings(device::kPidGeneric, 0x0210, u"Vantrel M\u00FCnchen",
                                             u"Schaltbox \u2014 USB", u"G\u00C9N-0001")}),
    [](const ::testing::TestParamInfo<IdentityCase>& info) { return std::string(info.param.name); });

TEST_F(Hidraw, ReportLengthsComeFromTheNodesReportDescriptor) {
    struct Case {
        device::HidCaps declared;
        bool served;
    };
    const Case cases[] = {
        {{6, 65}, true},
        {{9, 18}, true},
        {{6, 17}, false},   // too short for a memory block
        {{5, 65}, false},   // too short for the monitor
        {{6, 300}, false},  // a two-byte report count
    };
    for (const Case& c : cases) {
        BoxModel& box = add_box(identity(device::kPidKelvo), Access::Everyone, c.declared);
        ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
        EXPECT_EQ(conn.device_path, rig->node(box));
        EXPECT_EQ(conn.hid_caps.input_report_length, c.declared.input_report_length);
        EXPECT_EQ(conn.hid_caps.feature_report_length, c.declared.feature_report_length);
        EXPECT_EQ(static_cast<bool>(conn.serving), c.served) << conn.serving;
        // Off the bus again, so that the next case's box is the only one.
        conn.close_handles();
        rig->with_box(box, [](BoxModel& b) { b.unplug(); });
        rig->settle();
    }
}

// ---- feature commands --------------------------------------------------------

class HidrawCommands : public Hidraw, public ::testing::WithParamInterface<int> {};

struct Expected {
    Transfer::Kind kind;
    std::vector<std::uint8_t> head;  // the first bytes of a written report
};

void expect_wire(const std::vector<Transfer>& seen, const std::vector<Expected>& expected, std::size_t length,
                 const std::string& node, const char* step) {
    ASSERT_EQ(seen.size(), expected.size()) << step;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(std::string(step) + ", transfer " + std::to_string(i));
        EXPECT_EQ(seen[i].kind, expected[i].kind);
        EXPECT_EQ(seen[i].length, length);
        EXPECT_EQ(seen[i].node, node);
        EXPECT_TRUE(seen[i].ok);
        if (expected[i].kind == Transfer::Kind::Set) {
            ASSERT_GE(seen[i].report.size(), expected[i].head.size());
            EXPECT_EQ(std::vector<std::uint8_t>(seen[i].report.begin(),
                                                seen[i].report.begin() + static_cast<long>(expected[i].head.size())),
                      expected[i].head);
        }
    }
}

TEST_P(HidrawCommands, EachCommandIsFeatureIoctlsOfTheBoxsExactLength) {
    const int length = GetParam();
    BoxModel& box = add_box(identity(device::kPidKelvo), Access::Everyone, {6, length});
    ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
    ASSERT_TRUE(conn.served()) << conn.serving;
    const std::string node = conn.device_path;
    const auto L = static_cast<std::size_t>(length);
    take_transfers();

    using K = Transfer::Kind;
    EXPECT_EQ(device::send_setting(conn, device::kV1, 70), device::Fault::None);
    expect_wire(take_transfers(), {{K::Set, {0x00, 0xEE, 2, 70}}}, L, node, "SetSetting");

    EXPECT_EQ(device::set_tool_attached(conn, true), device::Fault::None);
    expect_wire(take_transfers(), {{K::Set, {0x00, 0xDB, 1}}}, L, node, "SetToolAttached");

    device::SettingsBytes settings{};
    EXPECT_EQ(into(device::read_settings(conn), settings), device::Fault::None);
    expect_wire(take_transfers(), {{K::Set, {0x00, 0xF0}}, {K::Get, {}}}, L, node, "ReadSettings");

    device::MemoryDump dump{};
    EXPECT_EQ(into(device::read_memory(conn), dump), device::Fault::None);
    std::vector<Expected> memory_wire{{K::Set, {0x00, 0xD0}}};
    memory_wire.insert(memory_wire.end(), device::kMemoryBlocks, Expected{K::Get, {}});
    expect_wire(take_transfers(), memory_wire, L, node, "ReadMemory");

    rig->with_box(box, [&](BoxModel& b) {
        EXPECT_EQ(b.settings().value[device::kV1], 70);
        EXPECT_TRUE(b.tool_attached());
        for (int i = 0; i < device::kSettingCount; ++i) EXPECT_EQ(settings[i], b.settings().value[i]) << i;
        EXPECT_TRUE(std::equal(dump.begin(), dump.end(), b.memory().begin()));
        b.feature_reply_bytes = 7;  // one byte short of the six thresholds
    });
    // hidapi's byte count reaches the command: a short reply is a failed read.
    EXPECT_EQ(into(device::read_settings(conn), settings), device::Fault::Failed);
    take_transfers();
    rig->with_box(box, [](BoxModel& b) { b.feature_reply_bytes = 0; });

    EXPECT_EQ(device::enter_bootloader(conn), device::Fault::None);
    expect_wire(take_transfers(), {{K::Set, {0x00, 0xA7, 0x3C, 0x51}}}, L, node, "EnterBootloader");
    rig->with_box(box, [](BoxModel& b) { EXPECT_TRUE(b.in_bootloader()); });
}

INSTANTIATE_TEST_SUITE_P(FeatureLengths, HidrawCommands, ::testing::Values(18, 33, 65),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

// ---- input reports -------------------------------------------------------------

TEST_F(Hidraw, OneDrainTakesEveryQueuedReport) {
    BoxModel& box = add_box();
    ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
    EXPECT_EQ(device::drain_input(conn), device::DrainResult::Nothing);

    struct Stick {
        std::uint8_t x, y;
        bool sequential;
    };
    const std::vector<Stick> first{{40, 220, false}, {128, 20, false}, {230, 5, false}, {128, 128, true},
                                   {128, 250, true}};
    const std::vector<Stick> second{{10, 10, false}, {250, 250, false}};
    emulator::BoxSettings settings;
    rig->with_box(box, [&](BoxModel& b) { settings = b.settings(); });

    for (const std::vector<Stick>* round : {&first, &second}) {
        rig->with_box(box, [&](BoxModel& b) {
            for (const Stick& s : *round) b.move_stick(s.x, s.y, s.sequential);
        });
        ASSERT_EQ(device::drain_input(conn), device::DrainResult::Reports);
        ASSERT_EQ(conn.bytes_read, static_cast<int>(round->size()) * 6);
        for (std::size_t i = 0; i < round->size(); ++i) {
            const Stick& s = (*round)[i];
            const emulator::DecodedGear g = emulator::decode_gear(s.x, s.y, s.sequential, settings);
            const std::uint8_t* slot = conn.input_report.data() + i * 6;
            const std::vector<std::uint8_t> expected{0, s.x, s.y, g.gear_bits, g.minus,
                                                     static_cast<std::uint8_t>(s.sequential ? 2 : 0)};
            EXPECT_EQ(std::vector<std::uint8_t>(slot, slot + 6), expected) << "report " << i;
        }
        // Nothing left over for the next tick.
        EXPECT_EQ(device::drain_input(conn), device::DrainResult::Nothing);
    }
}

// ---- removal ----------------------------------------------------------------

TEST_F(Hidraw, RemovalFailsReadsProbeAndListingAndBothHandlesCloseOnce) {
    BoxModel& box = add_box();
    ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
    const std::string node = conn.device_path;
    ASSERT_TRUE(device::probe_presence(conn));
    EXPECT_EQ(rig->open_descriptors(node), 2);
    rig->with_box(box, [](BoxModel& b) { b.move_stick(128, 250); });

    rig->with_box(box, [](BoxModel& b) { b.unplug(); });
    // The read fails at once; the node goes only when the kernel gets to it.
    EXPECT_EQ(device::drain_input(conn), device::DrainResult::Failed);
    EXPECT_TRUE(listed(node));
    EXPECT_FALSE(device::probe_presence(conn));
    rig->settle();
    EXPECT_EQ(device::drain_input(conn), device::DrainResult::Failed);
    EXPECT_FALSE(device::probe_presence(conn));
    EXPECT_FALSE(listed(node));
    EXPECT_EQ(device::send_setting(conn, device::kH1, 1), device::Fault::Failed);
    // Still open until the tool lets go.
    EXPECT_EQ(rig->open_descriptors(node), 2);
    conn.close_handles();
    EXPECT_EQ(rig->open_descriptors(node), 0);
    conn.close_handles();
    EXPECT_EQ(rig->open_descriptors(node), 0);
    EXPECT_FALSE(device::FindTheHid(backend, conn, kVid));
    EXPECT_FALSE(conn.open_error);

    // Plugged in again, the box is a new node; the old one stays dead.
    rig->with_box(box, [](BoxModel& b) { b.plug(); });
    rig->settle();
    const std::string again = rig->node(box);
    EXPECT_NE(again, node);
    ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
    EXPECT_EQ(conn.device_path, again);
    EXPECT_TRUE(device::probe_presence(conn));
}

// ---- bootloader and back --------------------------------------------------------

TEST_F(Hidraw, BootloaderComesAsANewNodeTakesPagesAndTheApplicationReturns) {
    BoxModel& box = add_box();
    box.reenumerate_delay = 1000ms;
    box.restart_after_flash = 300ms;
    ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
    const std::string application_node = conn.device_path;

    ASSERT_EQ(device::enter_bootloader(conn), device::Fault::None);
    rig->settle();
    EXPECT_EQ(device::drain_input(conn), device::DrainResult::Failed);
    EXPECT_FALSE(device::probe_presence(conn));
    conn.close_handles();
    EXPECT_FALSE(device::FindTheHid(backend, conn, kVid));

    clock.advance(1000ms);
    rig->settle();
    const std::string boot_node = rig->node(box);
    ASSERT_FALSE(boot_node.empty());
    EXPECT_NE(boot_node, application_node);
    ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
    EXPECT_EQ(conn.device_path, boot_node);
    EXPECT_EQ(conn.product_id, device::kPidBootloader);
    EXPECT_TRUE(conn.bootloader());
    EXPECT_TRUE(conn.served()) << conn.serving;
    EXPECT_EQ(conn.hid_caps.feature_report_length, 65);

    take_transfers();
    EXPECT_EQ(device::send_setting(conn, device::kH1, 1), device::Fault::Bootloader);
    EXPECT_TRUE(take_transfers().empty());

    std::vector<std::uint8_t> image;
    for (int page = 0; page < 3; ++page) {
        std::array<std::uint8_t, device::kFirmwarePageSize> bytes{};
        for (int i = 0; i < device::kFirmwarePageSize; ++i) bytes[i] = static_cast<std::uint8_t>(page * 40 + i + 1);
        ASSERT_EQ(device::send_firmware_page(conn, bytes), device::Fault::None);
        image.insert(image.end(), bytes.begin(), bytes.end());
    }
    const std::vector<Transfer> pages = take_transfers();
    ASSERT_EQ(pages.size(), 3u);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        SCOPED_TRACE("page " + std::to_string(p));
        EXPECT_EQ(pages[p].kind, Transfer::Kind::Set);
        EXPECT_EQ(pages[p].length, 65u);
        ASSERT_EQ(pages[p].report.size(), 65u);
        EXPECT_EQ(pages[p].report[0], 0);
        EXPECT_TRUE(std::equal(image.begin() + static_cast<long>(p * 40), image.begin() + static_cast<long>(p * 40 + 40),
                               pages[p].report.begin() + 1));
        EXPECT_TRUE(std::all_of(pages[p].report.begin() + 41, pages[p].report.end(), [](std::uint8_t b) { return b == 0; }));
    }
    rig->with_box(box, [&](BoxModel& b) { EXPECT_EQ(b.flash(), image); });

    // The bootloader restarts into the new application after the last page.
    clock.advance(300ms);
    rig->settle();
    EXPECT_FALSE(device::probe_presence(conn));
    conn.close_handles();
    clock.advance(1000ms);
    rig->settle();
    const std::string back_node = rig->node(box);
    EXPECT_NE(back_node, boot_node);
    EXPECT_NE(back_node, application_node);
    ASSERT_TRUE(device::FindTheHid(backend, conn, kVid));
    EXPECT_EQ(conn.device_path, back_node);
    EXPECT_EQ(conn.product_id, device::kPidKelvo);
    EXPECT_TRUE(conn.application());
}

// ---- permissions -----------------------------------------------------------------

// Runs the window, as the tool starts, in a child process: as nobody when this
// process is root (root opens any node), as this user otherwise.
// rule_dir: the one folder where the child's window looks for the udev rule.
std::map<std::string, std::string> run_window_elsewhere(int& status, const std::string& rule_dir) {
    // nobody may not be able to reach this binary where it was built (a clone
    // inside a 0700 directory), so the child runs a copy from a directory that
    // every user can enter.
    char dir_template[] = "/tmp/shifter-probe-XXXXXX";
    const char* dir = ::mkdtemp(dir_template);
    EXPECT_NE(dir, nullptr);
    if (!dir) return {};
    ::chmod(dir, 0755);
    const std::filesystem::path copy = std::filesystem::path(dir) / "window-probe";
    std::filesystem::copy_file("/proc/self/exe", copy);
    std::filesystem::permissions(copy, std::filesystem::perms(0755));
    const std::string self = copy.string();
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        if (::geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(126);
        }
        if (::chdir("/") != 0) ::_exit(125);
        ::execl(self.c_str(), self.c_str(), kWindowProbe, rule_dir.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
    ::close(out[0]);
    ::waitpid(pid, &status, 0);
    std::filesystem::remove_all(dir);
    std::map<std::string, std::string> fields;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

TEST_F(Hidraw, WindowTellsAUserWhoMayNotOpenTheBoxHowToFixIt) {
    struct Case {
        const char* name;
        Access access;
        bool rule_installed;
        const char* found;
        HidErrorKind kind;
        std::vector<const char*> words;  // empty: no notice
    };
    const Case cases[] = {
        // The same child opens a node open to everyone: what is refused below is
        // the node, not the child.
        {"open to everyone", Access::Everyone, false, "1", HidErrorKind::None, {}},
        {"no rule", Access::Nobody, false, "0", HidErrorKind::PermissionDenied,
         {"may not open", "70-shifter.rules", "is missing", "/etc/udev/rules.d/", "/usr/lib/udev/rules.d/",
          "sudo cp 70-shifter.rules", "unplug and replug the box"}},
        // The rule is there, yet this session is not the one it serves.
        {"rule installed", Access::Nobody, true, "0", HidErrorKind::PermissionDenied,
         {"may not open", "/70-shifter.rules gives the box to the user at the machine's own seat", "remote login"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoxModel& box = add_box(identity(device::kPidKelvo), c.access);
        rig->admit_other_users();
        const std::string node = rig->node(box);
        char rules_template[] = "/tmp/shifter-rules-XXXXXX";
        const std::string rules = ::mkdtemp(rules_template);
        ::chmod(rules.c_str(), 0755);
        if (c.rule_installed) std::ofstream(rules + "/70-shifter.rules") << "# installed\n";

        int status = -1;
        std::map<std::string, std::string> window = run_window_elsewhere(status, rules);
        std::filesystem::remove_all(rules);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "window child ended with status " << status;
        EXPECT_EQ(window["found"], c.found);
        EXPECT_EQ(window["kind"], std::to_string(static_cast<int>(c.kind)));
        EXPECT_EQ(window["notice_shown"], c.words.empty() ? "0" : "1");
        if (!c.words.empty()) {
            const std::string& notice = window["notice"];
            for (const char* words : c.words)
                EXPECT_NE(notice.find(words), std::string::npos) << words << " missing from: " << notice;
            if (!c.rule_installed) EXPECT_EQ(notice.find("remote login"), std::string::npos) << notice;
            EXPECT_NE(notice.find(node), std::string::npos) << notice;
            // All of it readable in the information frame, at the font this
            // machine gives the window.
            int room_w = 0, room_h = 0, need_w = 0, need_h = 0;
            ASSERT_EQ(std::sscanf(window["notice_room"].c_str(), "%dx%d", &room_w, &room_h), 2);
            ASSERT_EQ(std::sscanf(window["notice_needs"].c_str(), "%dx%d", &need_w, &need_h), 2);
            EXPECT_LE(need_w, room_w);
            EXPECT_LE(need_h, room_h) << "the notice is cut off: " << notice;
        }
        rig->with_box(box, [](BoxModel& b) { b.unplug(); });
        rig->settle();
    }
}

TEST(UdevRule, LetsTheSeatUserOpenEveryProductOfTheVendor) {
    std::ifstream file(SHIFTER_UDEV_RULE_FILE);
    ASSERT_TRUE(file) << SHIFTER_UDEV_RULE_FILE;
    const std::string rule((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::string path = SHIFTER_UDEV_RULE_FILE;
    // The name the window tells the user to install.
    EXPECT_EQ(path.substr(path.rfind('/') + 1), "70-shifter.rules");
    char vendor[32];
    std::snprintf(vendor, sizeof vendor, "ATTRS{idVendor}==\"%04x\"", kVid);
    for (const std::uint16_t pid : {device::kPidKelvo, device::kPidDravi, device::kPidGeneric, device::kPidBootloader}) {
        char product[32];
        std::snprintf(product, sizeof product, "ATTRS{idProduct}==\"%04x\"", pid);
        bool covered = false;
        std::istringstream lines(rule);
        for (std::string line; std::getline(lines, line);) {
            if (line.empty() || line[0] == '#') continue;
            if (line.find("SUBSYSTEM==\"hidraw\"") != std::string::npos && line.find(vendor) != std::string::npos &&
                line.find(product) != std::string::npos && line.find("TAG+=\"uaccess\"") != std::string::npos)
                covered = true;
        }
        EXPECT_TRUE(covered) << "no rule line for " << product << " of " << vendor << " in:\n" << rule;
    }
}

// The child's side of the permission test: the window as the tool starts it.
int window_probe(int argc, char** argv, const char* rule_dir) {
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    device::HidapiBackend hid;
    hid.set_udev_rule_dirs({rule_dir});
    ScriptedDialogs dialogs;
    AppConfig config;
    config.vendor_id = kVid;
    frmMain window(hid, dialogs, config);
    const DeviceConnection& c = window.conn();
    const QLabel& notice = *control<QLabel>(window, "lblNotice");
    const QRect room = notice.contentsRect();
    const QRect needed = notice.fontMetrics().boundingRect(room, Qt::TextWordWrap, notice.text());
    std::printf("found=%d\nkind=%d\nnotice_shown=%d\nnotice_room=%dx%d\nnotice_needs=%dx%d\nnotice=%s\n",
                c.device_found ? 1 : 0, static_cast<int>(c.open_error.kind), notice.isVisibleTo(&window) ? 1 : 0,
                room.width(), room.height(), needed.width(), needed.height(), notice.text().toStdString().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kWindowProbe) == 0) return window_probe(argc, argv, argv[2]);
    // hidapi converts sysfs strings with the C library's locale, which the
    // tool's QApplication takes from the environment.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
