// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The session that decides what reaches the box, the store of each box's
// thresholds, the calibration file and the safe writes beneath them, without
// a window.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>  // makedev; elsewhere in sys/types.h
#endif

#include "calibration/Backup.h"
#include "calibration/BoxSession.h"
#include "calibration/BoxStore.h"
#include "tests/BusFixture.h"
#include "monitor/GearRecord.h"
#include "monitor/MonitorState.h"
#include "calibration/SafeFile.h"
#include "calibration/Writes.h"

using namespace Qt::StringLiterals;

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
class Session : public BusFixture {
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

// The plans read nothing but the facts of the box: no bus, no connection.
TEST(Plans, AskFromTheBoxFactsAlone) {
    using K = calibration::Question::Kind;
    struct Row {
        std::uint16_t pid;
        const char* serial;  // the box's
        const char* path;    // the box's
        const char* file_serial;
        std::vector<K> asked;
    };
    const Row rows[] = {
        {device::kPidKelvo, "KV-A", "emu:box1#1", "KV-A", {}},  // the serial tells, wherever the box is
        {device::kPidKelvo, "KV-B", "emu:box0#1", "KV-A", {K::OtherBox}},
        {device::kPidDravi, "KV-A", "emu:box0#1", "KV-A", {K::OtherModel}},
        {device::kPidKelvo, "", "emu:box0#1", "", {}},  // without serials, the place on the bus
        {device::kPidKelvo, "", "emu:box1#1", "", {K::OtherBox}},
        {device::kPidKelvo, "KV-A", "emu:box0#1", "", {K::OtherBox}},
    };
    for (const Row& r : rows) {
        calibration::Backup file = calibration::make_backup(device::kPidKelvo, 0x0106, r.file_serial, {});
        file.thresholds = calibration::factory_thresholds();
        file.path = "emu:box0#1";
        calibration::BoxFacts box;
        box.product_id = r.pid;
        box.serial = r.serial;
        box.path = r.path;
        std::vector<K> asked;
        for (const calibration::Question& q : calibration::plan_restore(box, file).questions) asked.push_back(q.kind);
        EXPECT_EQ(asked, r.asked) << r.serial << " at " << r.path << ", file " << r.file_serial;
    }
    // One line of a pair is checked against the other only where the box's
    // thresholds are known.
    calibration::BoxFacts box;
    EXPECT_TRUE(calibration::plan_set(box, {{device::kH1, 200}}).questions.empty());
    EXPECT_EQ(calibration::plan_set(box, {{device::kH1, 200}, {device::kH2, 100}}).questions.size(), 1u);
    box.thresholds = calibration::factory_thresholds();
    EXPECT_EQ(calibration::plan_set(box, {{device::kH1, 200}}).questions.size(), 1u);
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
