// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// shifterctl's commands against the emulated box, without a process.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <future>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "calibration/Backup.h"
#include "app/shifterctl/Cli.h"
#include "emulator/DemoStick.h"
#include "emulator/EmulatedBackend.h"
#include "calibration/TerminalText.h"
#include "tests/TestSupport.h"
#include "emulator/UpdateService.h"

namespace {

constexpr std::uint16_t kVid = 0x1209;

// (index, value) of every SetSetting the box received, in order.
std::vector<std::pair<int, int>> setting_writes(const emulator::BoxModel& box) {
    std::vector<std::pair<int, int>> writes;
    for (const std::vector<std::uint8_t>& r : box.feature_log())
        if (r.size() > 3 && r[1] == 0xEE) writes.emplace_back(r[2], r[3]);
    return writes;
}

// An output that takes nothing, as a closed pipe or a full disk.
class RefusingOutput : public QIODevice {
protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override { return -1; }
};

class Cli : public ::testing::Test {
protected:
    emulator::BoxModel& add_box(std::uint16_t pid = 0x10A0) {
        emulator::BoxIdentity id;
        id.vendor_id = kVid;
        id.product_id = pid;
        return bus->add_box(id, clock.clock());
    }
    int run(const QStringList& args) {
        out_text.clear();
        err_text.clear();
        QTextStream out(&out_text);
        if (out_device) out.setDevice(out_device);
        QTextStream err(&err_text);
        CliEnv env;
        env.vendor_id = kVid;
        env.pause = [this](int ms) {
            clock.now += std::chrono::milliseconds(ms);
            if (on_pause) on_pause();
        };
        env.stops = stops;
        env.update_host = update_host;
        env.confirm = confirm;
        env.columns = columns;
        env.progress_in_place = progress_in_place;
        env.output_is_terminal = output_is_terminal;
        env.output_gone = [this] { return output_gone; };
        env.store_folder = store_folder;
        env.input = in_device;
        const int status = run_cli(args, *bus, out, err, env);
        out.flush();
        err.flush();
        return status;
    }
    QStringList out_lines() const { return out_text.split('\n', Qt::SkipEmptyParts); }
    // The percentages of the progress on err.
    QList<int> percents() const {
        QList<int> shown;
        for (const QString& line : err_text.split('\n'))
            if (line.endsWith('%')) shown << line.chopped(1).toInt();
        return shown;
    }
    // Every line of the output is one JSON object (or, for list, an array).
    QList<QJsonDocument> out_json() const {
        QList<QJsonDocument> docs;
        for (const QString& line : out_lines()) {
            QJsonParseError e;
            docs << QJsonDocument::fromJson(line.toUtf8(), &e);
            EXPECT_EQ(e.error, QJsonParseError::NoError) << line.toStdString();
        }
        return docs;
    }
    QJsonObject out_object() const {
        const QList<QJsonDocument> docs = out_json();
        EXPECT_EQ(docs.size(), 1) << out_text.toStdString();
        return docs.isEmpty() ? QJsonObject{} : docs.back().object();
    }
    // Nothing on either stream that a terminal would act on or hide.
    void expect_terminal_safe() const {
        for (const QString* text : {&out_text, &err_text})
            for (const QChar c : *text)
                EXPECT_TRUE(c == '\n' || c == '\t' || !calibration::hidden_on_terminal(c.unicode()))
                    << "U+" << std::hex << int{c.unicode()} << " in " << text->toStdString();
    }
    // Every failure is one line on stderr.
    void expect_one_sentence() const {
        EXPECT_EQ(err_text.count('\n'), 1) << err_text.toStdString();
        EXPECT_TRUE(err_text.startsWith("shifterctl: ")) << err_text.toStdString();
    }
    QString write_file(const QByteArray& bytes) {
        const QString path = dir.filePath("image.bin");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    ManualClock clock;
    std::unique_ptr<emulator::EmulatedBackend> bus = std::make_unique<emulator::EmulatedBackend>();
    std::function<void()> on_pause;
    std::function<CliStops()> stops;  // the Ctrl+C presses so far
    QIODevice* out_device = nullptr;  // instead of out_text
    QIODevice* in_device = nullptr;  // the standard input
    QString update_host = "127.0.0.1:9";
    QString store_folder;  // empty: the user's own
    std::function<std::optional<bool>(const QString&)> confirm;  // null: no terminal to ask
    int columns = 0;
    bool progress_in_place = false;
    bool output_is_terminal = false;
    bool output_gone = false;  // the reader of out_device went away
    QString out_text, err_text;
    QTemporaryDir dir;
};

}  // namespace

TEST_F(Cli, ListShowsAcceptedInterfacesOnlyAndOpensNone) {
    bus->add_foreign({0x046D, 0xC52B, 0x1201});
    bus->add_foreign({0x046D, 0x10A0, 0x0106});  // our product ID, another vendor
    bus->add_foreign({kVid, 0x10A3, 0x0106});    // our vendor, another product
    add_box(0x10A1);
    emulator::BoxIdentity generic;
    generic.vendor_id = kVid;
    generic.product_id = 0x10A2;
    generic.version = 0x010B;
    bus->add_box(generic, clock.clock());
    add_box().power_up_in_bootloader();
    ASSERT_EQ(run({"list"}), 0);
    EXPECT_EQ(out_lines(), (QStringList{"emu:box0#1\t10A1\tDravi\t1.06\tKV-000123",
                                        "emu:box1#1\t10A2\tgeneric\t1.0B\tKV-000123",
                                        "emu:box2#2\tB017\tbootloader\t1.06\tKV-000123"}));
    EXPECT_TRUE(bus->opened_paths.empty());
    // A person at a terminal is told what the columns are.
    output_is_terminal = true;
    ASSERT_EQ(run({"list"}), 0);
    EXPECT_EQ(out_lines().value(0), "PATH\tPRODUCT\tMODEL\tFIRMWARE\tSERIAL");
    EXPECT_EQ(out_lines().size(), 4);
    output_is_terminal = false;

    // No box is an empty list, not a failure.
    for (auto& box : bus->boxes()) box->unplug();
    EXPECT_EQ(run({"list"}), 0);
    EXPECT_EQ(out_text + err_text, "");
    EXPECT_EQ(run({"list", "--json"}), 0);
    EXPECT_EQ(out_text, "[]\n");
}

TEST_F(Cli, InfoReadsTheFirstBoxAndLetsItGo) {
    emulator::BoxModel& box = add_box(0x10A1);
    add_box(0x10A0);
    ASSERT_EQ(run({"info"}), 0) << err_text.toStdString();
    const QString expected =
        "Path:             emu:box0#1\n"
        "Product ID:       10A1 (Dravi)\n"
        "Manufacturer:     Vantrel\n"
        "Product:          Kelvo shifter interface\n"
        "Serial number:    KV-000123\n"
        "Firmware version: 1.06\n"
        "Report lengths:   input 6, feature 65 bytes\n"
        "Window title:     Dravi shifter interface calibration v1.6\n"
        "Thresholds:       h1=102 h2=152 v1=64 v2=190 s1=100 s2=155\n";
    EXPECT_EQ(out_text, expected);
    EXPECT_TRUE(err_text.isEmpty());
    // Attached for the readout, released at the end.
    ASSERT_FALSE(box.feature_log().empty());
    EXPECT_EQ(box.feature_log().front(), report_bytes({0x00, 0xDB, 0x01}));
    EXPECT_EQ(box.feature_log().back()[1], 0xDB);
    EXPECT_FALSE(box.tool_attached());
    EXPECT_EQ(bus->open_handles(), 0);

    // A serial as the box sends it: exact in JSON, its escape visible in text.
    bus = std::make_unique<emulator::EmulatedBackend>();
    emulator::BoxIdentity id;
    id.vendor_id = kVid;
    id.serial = u"KV-\u011B\u001B[2J\u009B\u202E\u2028\u007F\u200B";
    bus->add_box(id, clock.clock());
    ASSERT_EQ(run({"info", "--json"}), 0);
    EXPECT_EQ(out_object().value("serial").toString(), QString::fromStdU16String(id.serial));
    expect_terminal_safe();  // the same value, as escapes
    ASSERT_EQ(run({"info"}), 0);
    const QString shown = QString::fromUtf8("Serial number:    KV-\u011B\\e[2J\\u009b\\u202e\\u2028\\x7f\\u200b\n");
    EXPECT_TRUE(out_text.contains(shown)) << out_text.toStdString();
    // A store that cannot keep the box's thresholds is told of, not passed over.
    store_folder = write_file("not a folder") + "/boxes";
    ASSERT_EQ(run({"info"}), 0);
    EXPECT_TRUE(err_text.startsWith("shifterctl: warning: The folder ")) << err_text.toStdString();
    EXPECT_TRUE(err_text.contains("so the calibration of the box is not kept")) << err_text.toStdString();
}

TEST_F(Cli, TheBootloaderIsDescribedButNeverSentApplicationCommands) {
    emulator::BoxModel& box = add_box();
    box.power_up_in_bootloader();
    ASSERT_EQ(run({"info"}), 0);
    EXPECT_TRUE(out_text.contains("B017 (bootloader)"));
    EXPECT_TRUE(out_text.contains("Window title:     Kelvo/Dravi shifter interface calibration"));
    EXPECT_FALSE(out_text.contains("Thresholds"));
    for (const char* command : {"settings", "factory-reset", "monitor"}) {
        EXPECT_EQ(run({command}), 1) << command;
        expect_one_sentence();
    }
    EXPECT_EQ(run({"set", "h1=5"}), 1);
    // Any of them would have gone into flash as a firmware page.
    EXPECT_TRUE(box.feature_log().empty());
    EXPECT_TRUE(box.flash().empty());
}

TEST_F(Cli, ABoxThatCannotBeUsedIsExplained) {
    struct Case {
        const char* name;
        std::function<void(emulator::EmulatedBackend&)> arrange;
        const char* says;
        int status;
    };
    const Case cases[] = {
        {"absent", [](emulator::EmulatedBackend& b) { b.boxes()[0]->unplug(); }, "No box was found", 3},
        {"permission",
         [](emulator::EmulatedBackend& b) {
             b.open_errors = {{device::HidErrorKind::PermissionDenied, "This user may not open the box."}};
         },
         "This user may not open the box.", 1},
        {"not served", [](emulator::EmulatedBackend& b) { b.boxes()[0]->app_caps = {6, 10}; }, "feature reports of 10",
         1},
    };
    for (const Case& c : cases) {
        bus = std::make_unique<emulator::EmulatedBackend>();
        emulator::BoxModel& box = add_box();
        c.arrange(*bus);
        for (const char* command : {"info", "settings"}) {
            EXPECT_EQ(run({command}), c.status) << c.name << " " << command;
            EXPECT_TRUE(err_text.contains(c.says)) << c.name << ": " << err_text.toStdString();
        }
        EXPECT_TRUE(box.feature_log().empty()) << c.name;
    }
}

TEST_F(Cli, SetSendsOnlyTheGivenThresholdsInClosingOrderAndReadsBack) {
    emulator::BoxModel& box = add_box();
    ASSERT_EQ(run({"set", "s1=90", "h2=160", "v2=200", "h1=0"}), 0) << err_text.toStdString();
    // Closing order is v2, v1, h1, h2, s2, s1.
    EXPECT_EQ(setting_writes(box), (std::vector<std::pair<int, int>>{{3, 200}, {0, 0}, {1, 160}, {4, 90}}));
    EXPECT_EQ(out_text, "h1=0 h2=160 v1=64 v2=200 s1=90 s2=155\n");
    EXPECT_FALSE(box.tool_attached());

    EXPECT_EQ(run({"settings"}), 0);
    EXPECT_EQ(out_text, "h1=0 h2=160 v1=64 v2=200 s1=90 s2=155\n");
    EXPECT_EQ(run({"set", "s2=254"}), 0);
    EXPECT_EQ(box.settings().value[5], 254);
    // One range for every write: what a box holds can be written back.
    EXPECT_EQ(run({"set", "s2=255"}), 0);
    EXPECT_EQ(run({"set", "s2=256"}), 2);
    EXPECT_EQ(err_text, "shifterctl: The threshold s2 must be a whole number from 0 to 255, not \"256\".\n");
    EXPECT_EQ(box.settings().value[5], 255);
    // A crossed pair (h1 over the box's h2) is asked about, as in the window.
    EXPECT_EQ(run({"set", "h1=200"}), 2);
    EXPECT_TRUE(err_text.contains("h1 (200) is not below h2 (160)")) << err_text.toStdString();
    EXPECT_EQ(box.settings().value[0], 0);
    EXPECT_EQ(run({"set", "h1=200", "--yes"}), 0);
    EXPECT_EQ(box.settings().value[0], 200);
}

TEST_F(Cli, FactoryResetWritesAllSixInClosingOrder) {
    emulator::BoxModel& box = add_box();
    emulator::BoxSettings s;
    std::fill(std::begin(s.value), std::end(s.value), 7);
    box.set_settings(s);
    ASSERT_EQ(run({"factory-reset"}), 0);
    EXPECT_EQ(setting_writes(box),
              (std::vector<std::pair<int, int>>{{3, 190}, {2, 64}, {0, 102}, {1, 152}, {5, 155}, {4, 100}}));
    // What it replaced is told first, as a line that puts it back; the
    // result alone is the output.
    EXPECT_EQ(err_text, "Replacing h1=7 h2=7 v1=7 v2=7 s1=7 s2=7; to put them back: shifterctl set "
                        "h1=7 h2=7 v1=7 v2=7 s1=7 s2=7\n");
    EXPECT_EQ(out_text, "h1=102 h2=152 v1=64 v2=190 s1=100 s2=155\n");
}

TEST_F(Cli, AWriteThatBreaksOffSaysHowToPutBackWhatChanged) {
    emulator::BoxModel& box = add_box();
    // Attached, thresholds read (two transfers), then v2 and v1 go in.
    box.unplug_after_transfers = 5;
    EXPECT_EQ(run({"set", "h1=50", "h2=60", "v1=70", "v2=200"}), 1);
    expect_one_sentence();
    EXPECT_TRUE(err_text.endsWith("Before, it held v2=190 v1=64. To put them back: shifterctl set v2=190 v1=64\n"))
        << err_text.toStdString();
    EXPECT_TRUE(out_text.isEmpty());
}

TEST_F(Cli, UsageErrorsSendNothing) {
    emulator::BoxModel& box = add_box();
    const QStringList cases[] = {
        {},
        {"--demo"},
        {"--frobnicate", "info"},
        {"frobnicate"},
        {"info", "extra"},
        {"set"},
        {"set", "h1"},
        {"set", "x1=5"},
        {"set", "h1="},
        {"set", "h1=256"},
        {"set", "h1=-1"},
        {"set", "h1=+5"},
        {"set", "h1=1.5"},
        {"set", "h1=5", "v1=abc"},  // valid first, invalid second: still nothing sent
        {"set", "h1=5", "h1=6"},
        {"monitor", "--count"},
        {"monitor", "--count", "0"},
        {"monitor", "--interval", "x"},
        {"monitor", "--interval", "0"},
        {"monitor", "--speed", "3"},
        {"flash"},
        {"flash", "a", "b"},
        {"info", "--frobnicate"},                  // options after the command are options too
        {"monitor", "--count", "3", "--count", "4"},  // repeated: refused, not the last
        {"--demo", "info", "--demo"},
        {"info", "--count", "3"},                  // an option of another command
        {"list", "--serial", "KV-1"},
        {"info", "--serial"},
        {"info", "--json=yes"},
        {"set", "h1=00000000005"},                 // too long
        {"restore"},
        {"backup", "a", "b"},
        {"check-update", "--update-host", "a/b"},
        {"update", "--update-host", "h:70000"},
        {"help", "frobnicate"},
        {"restore", "--yes", "--yes", "f"},
        {"info", "--version"},
        {"--completion", "tcsh"},
        {"\x1b[2Jfrobnicate"},                          // the user's words, quoted back
        {"--completion", "\xc2\x9b" "2J\x1b]0;x\x07"},    // CSI (U+009B), an OSC title
    };
    for (const QStringList& args : cases) {
        EXPECT_EQ(run(args), 2) << args.join(' ').toStdString();
        expect_one_sentence();
        expect_terminal_safe();
        EXPECT_TRUE(out_text.isEmpty()) << args.join(' ').toStdString();
        // With --json the sentence is also an object on stdout.
        if (args.contains("--json") || args.contains("--json=yes")) continue;
        EXPECT_EQ(run(QStringList{"--json"} + args), 2) << args.join(' ').toStdString();
        EXPECT_EQ(out_object().value("kind").toString(), "usage") << args.join(' ').toStdString();
        EXPECT_EQ(calibration::terminal_text(out_object().value("error").toString()), err_text.mid(12).trimmed());
        expect_terminal_safe();
    }
    EXPECT_TRUE(box.feature_log().empty());
    EXPECT_TRUE(bus->opened_paths.empty());
}

TEST_F(Cli, HelpAndVersionAnswerWithoutABox) {
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_EQ(out_text, "shifterctl 1.06\n");
    EXPECT_EQ(run({"--demo", "--help"}), 0);
    EXPECT_TRUE(out_text.startsWith("Usage: shifterctl"));
    EXPECT_TRUE(out_text.contains("\n  3    no box was found")) << out_text.toStdString();
    // Help per command, asked either way, describes the command's own options.
    for (const QStringList& args : {QStringList{"help", "restore"}, QStringList{"restore", "--yes", "--help"}}) {
        EXPECT_EQ(run(args), 0);
        EXPECT_TRUE(out_text.startsWith("Usage: shifterctl restore [OPTIONS] FILE\n")) << out_text.toStdString();
        EXPECT_TRUE(out_text.contains("\n  --yes                 write it without asking, whichever box it came from\n"))
            << out_text.toStdString();
    }
    // Within 80 columns without a terminal, else within the terminal's width.
    for (const int width : {0, 50}) {
        columns = width;
        for (const char* command : {"monitor", "update", ""}) {
            ASSERT_EQ(run(*command ? QStringList{"help", command} : QStringList{"--help"}), 0) << command;
            for (const QString& line : out_lines()) EXPECT_LE(line.size(), width ? width : 80) << line.toStdString();
        }
    }
    EXPECT_EQ(run({"inof"}), 2);
    EXPECT_TRUE(err_text.contains("(did you mean info?)")) << err_text.toStdString();
    EXPECT_EQ(bus->enumerations, 0);
    EXPECT_TRUE(cli_wants_demo({"--demo", "info"}));
    EXPECT_TRUE(cli_wants_demo({"info", "--demo"}));
    EXPECT_FALSE(cli_wants_demo({"flash", "--", "--demo"}));  // a file called --demo
}

TEST_F(Cli, MonitorPrintsEachReportWithTheWindowsGearCaption) {
    emulator::BoxModel& box = add_box();
    box.queue_raw(127, 127, 0, 0, 0);  // neutral
    box.queue_raw(30, 234, 1, 0, 0);   // first
    // Later polls: between two gears keeps the caption, then a sequential minus.
    int polls = 0;
    on_pause = [&] {
        if (++polls == 2) {
            box.queue_raw(40, 200, 3, 0, 0);
            box.queue_raw(127, 40, 0, 1, 2);
            box.queue_raw(220, 10, 64, 0, 0);  // past the count
        }
    };
    ASSERT_EQ(run({"monitor", "--count", "4", "--interval", "20"}), 0) << err_text.toStdString();
    EXPECT_EQ(out_lines(), (QStringList{"x=127 y=127 gear=N mode=H", "x=30 y=234 gear=1 mode=H",
                                        "x=40 y=200 gear=1 mode=H", "x=127 y=40 gear=- mode=S"}));
    EXPECT_EQ(polls, 2);
    EXPECT_EQ(clock.now.count(), 40);
    EXPECT_FALSE(box.tool_attached());
}

// The hand of the demo moves the stick as the clock of the waits goes. Only
// the all-clear exits with 0: every gear reached, resting in its own zone
// clear of the margin.
TEST_F(Cli, GearsChecksEveryGearAndNamesOneAtRisk) {
    const QString turn = QString::number(emulator::DemoStick::cycle_length() / 1000 + 1);
    struct Case {
        const char* name;
        emulator::ShallowGate shallow;
        emulator::BoxSettings settings;
        emulator::ReverseRule rule;
        QString seconds;
        int status;
        QStringList at_risk, missing;
    };
    const Case cases[] = {
        {"deep gates", {}, {}, emulator::ReverseRule::Position, turn, 0, {}, {}},
        {"reverse by a flag", {}, {}, emulator::ReverseRule::Flag, turn, 0, {}, {}},
        {"a shallow third", {'3', 3}, {}, emulator::ReverseRule::Position, turn, 1, {"3"}, {}},
        {"two seconds: most gears not reached", {}, {}, emulator::ReverseRule::Position, "2", 1, {},
         {"2", "3", "4", "5", "6", "R"}},
        {"a five-speed gate with reverse in sixth's place", {}, {}, emulator::ReverseRule::Gate, turn, 1, {}, {"6"}},
        {"thresholds all 0: gear 5 everywhere", {}, {{0, 0, 0, 0, 0, 0}}, emulator::ReverseRule::Position, turn, 1, {},
         {"1", "2", "3", "4", "6", "R", "N"}},
        // Sixth is left only the stretch between where this box tells reverse and v2: it never rests.
        {"crossed pairs", {}, {{150, 100, 200, 60, 100, 155}}, emulator::ReverseRule::Position, turn, 1, {"6"},
         {"3", "4", "N"}},
        {"every threshold at 255", {}, {{255, 255, 255, 255, 255, 255}}, emulator::ReverseRule::Position, turn, 1,
         {}, {"1", "3", "4", "5", "6", "R", "N"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bus = std::make_unique<emulator::EmulatedBackend>();
        emulator::BoxModel& box = add_box();
        box.set_settings(c.settings);
        box.reverse_rule = c.rule;
        clock.now = std::chrono::milliseconds(0);
        on_pause = [&] {
            const emulator::StickPosition p = emulator::DemoStick::position_at(clock.now.count(), c.shallow);
            box.move_stick(p.x, p.y, p.sequential, p.reverse);
        };
        EXPECT_EQ(run({"gears", "--json", "--seconds", c.seconds}), c.status) << err_text.toStdString();
        const QJsonObject o = out_object();
        QStringList at_risk, missing;
        for (const QJsonValue g : o.value("modes").toArray().at(0).toObject().value("gears").toArray()) {
            if (!g.toObject().value("reached").toBool()) missing << g.toObject().value("gear").toString();
            if (g.toObject().value("at_risk").toBool()) at_risk << g.toObject().value("gear").toString();
        }
        EXPECT_EQ(at_risk, c.at_risk);
        EXPECT_EQ(missing, c.missing);
        EXPECT_EQ(o.value("all_clear").toBool(), c.status == 0);
    }
    // --suggest ends with the line that would store the suggestion, and
    // stores nothing itself.
    bus = std::make_unique<emulator::EmulatedBackend>();
    emulator::BoxModel& box = add_box();
    box.set_settings({{0, 0, 0, 0, 0, 0}});
    on_pause = [&] {
        const emulator::StickPosition p = emulator::DemoStick::position_at(clock.now.count());
        box.move_stick(p.x, p.y, p.sequential, p.reverse);
    };
    box.clear_log();
    EXPECT_EQ(run({"gears", "--suggest", "--seconds", turn}), 1) << err_text.toStdString();
    EXPECT_TRUE(out_text.contains("grouped by position")) << out_text.toStdString();
    EXPECT_TRUE(out_lines().back().startsWith("shifterctl set v2=")) << out_text.toStdString();
    EXPECT_TRUE(setting_writes(box).empty());
}

TEST_F(Cli, MonitorEndsWithAnErrorWhenTheBoxIsRemoved) {
    emulator::BoxModel& box = add_box();
    box.queue_raw(30, 20, 2, 0, 0);
    on_pause = [&] { box.unplug(); };
    EXPECT_EQ(run({"monitor", "--count", "3"}), 1);
    EXPECT_EQ(out_lines(), QStringList{"x=30 y=20 gear=2 mode=H"});
    expect_one_sentence();
    EXPECT_TRUE(err_text.contains("removed"));
}

TEST_F(Cli, MonitorLetsTheBoxGoHoweverItIsStopped) {
    struct Case {
        const char* name;
        CliStops stops;
        bool output_fails;
        bool reader_gone;
        int status;
    };
    const Case cases[] = {
        {"Ctrl+C", {1, 130}, false, false, 130},
        {"termination request", {1, 143}, false, false, 143},
        {"output cannot be written", {}, true, false, 1},
        // A closed pipe ends it without a word, as it ends other tools.
        {"reader went away", {}, true, true, 141},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bus = std::make_unique<emulator::EmulatedBackend>();
        emulator::BoxModel& box = add_box();
        box.queue_raw(30, 20, 2, 0, 0);
        int polls = 0;
        on_pause = [&] { box.queue_raw(30, 20, 2, 0, 0); };
        stops = [&] { return ++polls > 2 ? c.stops : CliStops{}; };
        RefusingOutput refusing;
        refusing.open(QIODevice::WriteOnly);
        out_device = c.output_fails ? &refusing : nullptr;
        output_gone = c.reader_gone;
        // Bounded, so that a monitor that missed its end shows as a failure.
        EXPECT_EQ(run({"monitor", "--count", "50"}), c.status);
        EXPECT_LE(polls, 3);
        EXPECT_FALSE(box.tool_attached());
        EXPECT_EQ(box.feature_log().back(), report_bytes({0x00, 0xDB, 0x00}));
        if (c.output_fails && !c.reader_gone) expect_one_sentence();
        if (c.reader_gone) {
            EXPECT_EQ(err_text, "");
        }
    }
    out_device = nullptr;
}

TEST_F(Cli, FlashWritesTheFileThroughTheBootloader) {
    emulator::BoxModel& box = add_box();
    QByteArray image(5 * 40, 0);
    for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13 + 5);
    // Without a terminal to ask, only --yes writes.
    EXPECT_EQ(run({"flash", write_file(image)}), 2);
    EXPECT_TRUE(box.flash().empty());
    ASSERT_EQ(run({"flash", write_file(image), "--yes"}), 0) << err_text.toStdString();
    ASSERT_EQ(box.flash().size(), 200u);
    EXPECT_TRUE(std::equal(box.flash().begin(), box.flash().end(), image.begin(),
                           [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
    // Percentages rise in steps and end at 100; the output is the result alone.
    EXPECT_EQ(out_text, "The firmware was written; the box restarts with it.\n");
    const QList<int> percents = this->percents();
    ASSERT_GE(percents.size(), 3);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end()), percents.end());
    EXPECT_EQ(percents.back(), 100);
    EXPECT_LE(percents.size(), 11);
}

TEST_F(Cli, FlashRefusesAnImageThatIsNotWholePagesBeforeTouchingTheBox) {
    emulator::BoxModel& box = add_box();
    for (int size : {41, 0}) {
        EXPECT_EQ(run({"flash", write_file(QByteArray(size, 'x'))}), 2) << size;
        expect_one_sentence();
    }
    EXPECT_EQ(run({"flash", dir.filePath("missing.bin")}), 2);
    EXPECT_EQ(run({"flash", dir.path()}), 2);
    EXPECT_TRUE(err_text.contains("not a regular file")) << err_text.toStdString();
#ifndef _WIN32
    // A FIFO is refused before it is opened, as opening one waits for a
    // writer. Run aside so that a missing check cannot hang the test: after a
    // generous wait a writer comes and lets the open go on.
    const QByteArray fifo = QFile::encodeName(dir.filePath("image.fifo"));
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    std::future<int> refused = std::async(std::launch::async, [&] { return run({"flash", fifo}); });
    const bool at_once = refused.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    if (!at_once) ::close(::open(fifo.constData(), O_WRONLY | O_NONBLOCK));
    EXPECT_TRUE(at_once) << "flash waited for a writer of the FIFO";
    EXPECT_EQ(refused.get(), 2);
    EXPECT_TRUE(err_text.contains("not a regular file")) << err_text.toStdString();
#endif
    // Whole pages, but past the window's download limit, one of them past
    // what 32 bits count; neither is read.
    for (qint64 size : {qint64{16} * 1024 * 1024 + 40, (qint64{2} << 30) + 40}) {
        QFile big(dir.filePath("big.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(size));
        big.close();
        EXPECT_EQ(run({"flash", big.fileName()}), 2) << size;
        expect_one_sentence();
        EXPECT_TRUE(err_text.contains(QString("has %1 bytes, more than the 16777216 bytes").arg(size)))
            << err_text.toStdString();
    }
    EXPECT_TRUE(box.feature_log().empty());
    EXPECT_TRUE(bus->opened_paths.empty());
    EXPECT_FALSE(box.in_bootloader());
}

TEST_F(Cli, CtrlCDuringFlashWarnsFirstAndStopsOnlyOnTheSecond) {
    struct Case {
        const char* name;
        std::function<int(const emulator::BoxModel&, const ManualClock&)> presses;
        int status;
        std::size_t flashed;  // bytes in the box at the end
        int sentences;  // on err
    };
    progress_in_place = true;
    const Case cases[] = {
        // One press while the pages go: a warning, and the write goes on.
        {"one press", [](const emulator::BoxModel& b, const ManualClock&) { return b.flash().size() >= 80 ? 1 : 0; },
         0, 400, 1},
        // A second press stops after the page it came with.
        {"two presses", [](const emulator::BoxModel& b, const ManualClock&) {
             return (b.flash().size() >= 80 ? 1 : 0) + (b.flash().size() >= 160 ? 1 : 0);
         }, 130, 160, 2},
        // Both while the box restarts into its bootloader: not a page sent.
        {"two presses before the pages", [](const emulator::BoxModel&, const ManualClock& c) {
             return c.now.count() >= 300 ? 2 : 0;
         }, 130, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bus = std::make_unique<emulator::EmulatedBackend>();
        clock.now = {};
        emulator::BoxModel& box = add_box();
        stops = [&] { return CliStops{c.presses(box, clock), 130}; };
        EXPECT_EQ(run({"flash", write_file(QByteArray(400, 'x')), "--yes"}), c.status) << err_text.toStdString();
        EXPECT_EQ(box.flash().size(), c.flashed);
        // Each on a line of its own, not after the percentage shown in place.
        EXPECT_EQ(err_text.count("shifterctl: "), c.sentences) << err_text.toStdString();
        EXPECT_EQ(err_text.count("\nshifterctl: "), c.sentences) << err_text.toStdString();
        EXPECT_EQ(err_text.contains("press Ctrl+C again"), c.flashed > 0) << err_text.toStdString();
        EXPECT_EQ(err_text.contains("run shifterctl flash FILE again"), c.status != 0) << err_text.toStdString();
    }
}

TEST_F(Cli, FlashReportsABoxThatNeverReachesItsBootloader) {
    emulator::BoxModel& box = add_box();
    box.fail_feature_writes = true;  // ignores the order to restart
    EXPECT_EQ(run({"flash", write_file(QByteArray(80, 'x')), "--yes"}), 1);
    // After the progress, one sentence.
    EXPECT_EQ(err_text.count("shifterctl: "), 1) << err_text.toStdString();
    EXPECT_TRUE(err_text.contains("update mode")) << err_text.toStdString();
    EXPECT_TRUE(box.flash().empty());
}

TEST_F(Cli, EveryCommandAnswersInJson) {
    emulator::BoxModel& box = add_box();
    box.queue_raw(30, 234, 1, 0, 0);
    const QJsonObject factory{{"h1", 102}, {"h2", 152}, {"v1", 64}, {"v2", 190}, {"s1", 100}, {"s2", 155}};
    struct Case {
        QStringList args;
        std::function<void(const QList<QJsonDocument>&)> check;
    };
    const Case cases[] = {
        {{"--json", "info"},
         [&](const QList<QJsonDocument>& d) {
             const QJsonObject o = d.at(0).object();
             EXPECT_EQ(o.value("manufacturer").toString(), "Vantrel");
             EXPECT_EQ(o.value("product").toString(), "Kelvo shifter interface");
             EXPECT_EQ(o.value("serial").toString(), "KV-000123");
             EXPECT_EQ(o.value("version").toString(), "1.06");
             EXPECT_EQ(o.value("version_number").toInt(), 0x0106);
             EXPECT_EQ(o.value("product_id").toString(), "10A0");
             EXPECT_EQ(o.value("mode").toString(), "application");
             EXPECT_EQ(o.value("report_lengths").toObject(), (QJsonObject{{"input", 6}, {"feature", 65}}));
             EXPECT_EQ(o.value("thresholds").toObject(), factory);
         }},
        {{"list", "--json"},
         [](const QList<QJsonDocument>& d) {
             ASSERT_TRUE(d.at(0).isArray());
             EXPECT_EQ(d.at(0).array().at(0).toObject(),
                       (QJsonObject{{"path", "emu:box0#1"}, {"product_id", "10A0"}, {"model", "Kelvo"},
                                    {"serial", "KV-000123"}, {"version", "1.06"}, {"version_number", 0x0106}}));
         }},
        {{"settings", "--json"},
         [&](const QList<QJsonDocument>& d) { EXPECT_EQ(d.at(0).object().value("thresholds").toObject(), factory); }},
        {{"set", "h1=5", "--json"},
         [](const QList<QJsonDocument>& d) {
             EXPECT_EQ(d.at(0).object().value("thresholds").toObject().value("h1").toInt(), 5);
         }},
        {{"factory-reset", "--json"},
         [&](const QList<QJsonDocument>& d) {
             EXPECT_EQ(d.at(0).object().value("replaced").toObject().value("h1").toInt(), 5);
             EXPECT_EQ(d.at(0).object().value("thresholds").toObject(), factory);
         }},
        {{"monitor", "--json", "--count", "1"},
         [](const QList<QJsonDocument>& d) {
             EXPECT_EQ(d.at(0).object(), (QJsonObject{{"x", 30}, {"y", 234}, {"gear", "1"}, {"mode", "H"}}));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        ASSERT_EQ(run(c.args), 0) << err_text.toStdString();
        const QList<QJsonDocument> docs = out_json();
        ASSERT_EQ(docs.size(), 1) << out_text.toStdString();
        c.check(docs);
    }
    box.unplug();
    EXPECT_EQ(run({"info", "--json"}), 3);
    EXPECT_EQ(out_object().value("kind").toString(), "no-box");
}

TEST_F(Cli, WithSeveralBoxesReadersTakeTheFirstAndChangesNeedAChoice) {
    // Boxes of two models, and two of one model that only path and serial
    // number tell apart.
    for (const std::uint16_t first_model : {std::uint16_t{0x10A1}, std::uint16_t{0x10A0}}) {
        SCOPED_TRACE(first_model);
        bus = std::make_unique<emulator::EmulatedBackend>();
        emulator::BoxModel& first = add_box(first_model);
        emulator::BoxIdentity other;
        other.vendor_id = kVid;
        other.serial = u"KV-000777";
        emulator::BoxModel& second = bus->add_box(other, clock.clock());
        ASSERT_EQ(run({"info"}), 0);
        EXPECT_TRUE(out_text.contains("KV-000123"));
        const QString both = "emu:box0#1 (" + QString(first_model == 0x10A1 ? "Dravi" : "Kelvo") +
                             " 1.06, serial number KV-000123), emu:box1#1 (Kelvo 1.06, serial number KV-000777)";
        for (const QStringList& args : {QStringList{"set", "h1=5"}, QStringList{"factory-reset"},
                                        QStringList{"update", "--yes"}}) {
            EXPECT_EQ(run(QStringList(args) << "--json"), 2) << args.join(' ').toStdString();
            EXPECT_EQ(out_object().value("kind").toString(), "several-boxes");
            EXPECT_EQ(out_object().value("boxes").toArray().size(), 2);
            EXPECT_TRUE(err_text.contains(both)) << err_text.toStdString();
        }
        EXPECT_TRUE(setting_writes(first).empty());
        EXPECT_TRUE(setting_writes(second).empty());
        ASSERT_EQ(run({"set", "h1=5", "--serial", "KV-000777"}), 0) << err_text.toStdString();
        EXPECT_EQ(setting_writes(second), (std::vector<std::pair<int, int>>{{0, 5}}));
        ASSERT_EQ(run({"--path=emu:box0#1", "set", "h1=6"}), 0) << err_text.toStdString();
        EXPECT_EQ(setting_writes(first), (std::vector<std::pair<int, int>>{{0, 6}}));
        EXPECT_EQ(setting_writes(second), (std::vector<std::pair<int, int>>{{0, 5}}));
        EXPECT_EQ(run({"settings", "--serial", "KV-999"}), 3);
        EXPECT_TRUE(err_text.contains("No box with serial number KV-999 was found")) << err_text.toStdString();
        // An image goes into the chosen box only.
        ASSERT_EQ(run({"flash", write_file(QByteArray(80, 'x')), "--serial", "KV-000777", "--yes"}), 0)
            << err_text.toStdString();
        EXPECT_EQ(second.flash().size(), 80u);
        EXPECT_TRUE(first.flash().empty());
        for (const auto& r : first.feature_log()) EXPECT_NE(r[1], 0xA7);
    }
}

TEST_F(Cli, BackupAndRestoreAskBeforeWritingIntoAnotherBox) {
    emulator::BoxModel& box = add_box();
    const QString file = dir.filePath("cal.json");
    ASSERT_EQ(run({"set", "h1=11", "s2=222"}), 0);
    ASSERT_EQ(run({"backup", file}), 0) << err_text.toStdString();
#ifdef Q_OS_UNIX
    // Only a new or a regular file is written; a pipe stays a pipe.
    const QByteArray fifo = QFile::encodeName(dir.filePath("fifo"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    EXPECT_EQ(run({"backup", dir.filePath("fifo")}), 2);
    struct stat st {};
    EXPECT_TRUE(::lstat(fifo.constData(), &st) == 0 && S_ISFIFO(st.st_mode));
#endif
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const device::Result<calibration::Backup> b = calibration::read_backup(saved.readAll());
    ASSERT_TRUE(b) << b.sentence();
    EXPECT_EQ(b->serial, "KV-000123");
    EXPECT_EQ(b->model, "Kelvo");
    EXPECT_EQ(b->thresholds.h1, 11);
    EXPECT_EQ(b->thresholds.s2, 222);
    // "-": the file alone on the standard output, and read from the standard input.
    ASSERT_EQ(run({"backup", "-"}), 0) << err_text.toStdString();
    EXPECT_FALSE(QFile::exists("-"));
    EXPECT_EQ(calibration::read_backup(out_text.toUtf8())->thresholds.s2, 222) << out_text.toStdString();
    QBuffer piped;
    piped.setData(out_text.toUtf8());
    piped.open(QIODevice::ReadOnly);
    in_device = &piped;
    ASSERT_EQ(run({"factory-reset"}), 0);
    ASSERT_EQ(run({"restore", "-"}), 0) << err_text.toStdString();
    EXPECT_EQ(box.settings().value[5], 222);
    in_device = nullptr;

    // The same box: no question.
    ASSERT_EQ(run({"factory-reset"}), 0);
    box.clear_log();
    ASSERT_EQ(run({"restore", file}), 0) << err_text.toStdString();
    EXPECT_EQ(setting_writes(box).size(), 6u);
    EXPECT_EQ(box.settings().value[0], 11);

    // Another box: asked; without a terminal or after a no, nothing is written.
    bus = std::make_unique<emulator::EmulatedBackend>();
    emulator::BoxIdentity other;
    other.vendor_id = kVid;
    other.serial = u"KV-000777";
    emulator::BoxModel& second = bus->add_box(other, clock.clock());
    EXPECT_EQ(run({"restore", file}), 2);
    EXPECT_TRUE(err_text.contains("input is not a terminal; add --yes")) << err_text.toStdString();
    QString asked;
    confirm = [&](const QString& q) -> std::optional<bool> {
        asked = q;
        return false;
    };
    EXPECT_EQ(run({"restore", file}), 2);
    EXPECT_TRUE(asked.contains("KV-000123")) << asked.toStdString();
    EXPECT_TRUE(setting_writes(second).empty());
    confirm = [](const QString&) -> std::optional<bool> { return true; };
    EXPECT_EQ(run({"restore", file}), 0);
    EXPECT_EQ(second.settings().value[5], 222);
    confirm = nullptr;
    second.clear_log();
    EXPECT_EQ(run({"restore", file, "--yes", "--json"}), 0);
    EXPECT_EQ(out_object().value("thresholds").toObject().value("s2").toInt(), 222);
    second.fail_feature_writes = true;
    EXPECT_EQ(run({"restore", file, "--yes"}), 1);
    expect_one_sentence();
    // A box that takes a value without keeping it: a failure naming it.
    second.fail_feature_writes = false;
    ASSERT_EQ(run({"factory-reset"}), 0);
    second.ignored_setting = device::kS2;
    EXPECT_EQ(run({"restore", file, "--yes"}), 1);
    EXPECT_TRUE(err_text.contains("s2 155 instead of 222")) << err_text.toStdString();

    // Without serials the file keeps the box's path: restored there, nothing
    // is asked; onto another box without a serial, it is.
    bus = std::make_unique<emulator::EmulatedBackend>();
    emulator::BoxIdentity bare;
    bare.vendor_id = kVid;
    bare.serial = u"";
    emulator::BoxModel& first = bus->add_box(bare, clock.clock());
    const QString bare_file = dir.filePath("bare.json");
    ASSERT_EQ(run({"backup", bare_file}), 0) << err_text.toStdString();
    EXPECT_EQ(run({"restore", bare_file}), 0) << err_text.toStdString();
    first.unplug();
    emulator::BoxModel& other_bare = bus->add_box(bare, clock.clock());
    EXPECT_EQ(run({"restore", bare_file}), 2);
    EXPECT_TRUE(err_text.contains("without a serial number at emu:box0#1")) << err_text.toStdString();
    EXPECT_TRUE(setting_writes(other_bare).empty());
}

TEST_F(Cli, ARestoreFileThatCannotBeUsedSendsNothing) {
    emulator::BoxModel& box = add_box();
    calibration::Backup b;
    b.model = "Kelvo";
    b.product_id = 0x10A0;
    b.serial = "KV-000123";
    b.saved = QDateTime::currentDateTimeUtc();
    const QByteArray good = calibration::write_backup(b);
    QByteArray out_of_range = good;
    out_of_range.replace("\"h1\": 0", "\"h1\": 256");
    ASSERT_NE(out_of_range, good);
    const QByteArray cases[] = {
        good.left(good.size() / 2),           // truncated
        "{\"format\": \"something-else\"}",   // not ours
        "GIF89a",                             // not JSON
        out_of_range,
        QByteArray(calibration::kMaxBackupBytes + 10, ' '),
    };
    for (const QByteArray& bytes : cases) {
        EXPECT_EQ(run({"restore", write_file(bytes), "--yes"}), 2) << bytes.left(40).toStdString();
        expect_one_sentence();
    }
    EXPECT_EQ(run({"restore", dir.filePath("missing.json")}), 2);
    // An escape sequence in a name never reaches the terminal as one.
    EXPECT_EQ(run({"restore", "\x1b[2Jmissing.json"}), 2);
    EXPECT_TRUE(err_text.contains("\\e[2Jmissing.json") && !err_text.contains('\x1b')) << err_text.toStdString();
    EXPECT_EQ(run({"restore", dir.path(), "--json"}), 2);
    EXPECT_EQ(out_object().value("kind").toString(), "file");
    EXPECT_TRUE(box.feature_log().empty());
    EXPECT_TRUE(bus->opened_paths.empty());
}

TEST_F(Cli, CheckUpdateAndUpdateAskTheServiceAndWriteTheFirmware) {
    emulator::BoxModel& box = add_box();
    emulator::UpdateService service{0x0106};
    box.version_after_flash = 0x0107;
    update_host = service.host_port();
    ASSERT_EQ(run({"check-update", "--json"}), 0) << err_text.toStdString();
    const QJsonObject o = out_object();
    EXPECT_EQ(o.value("box_version").toString(), "1.06");
    EXPECT_EQ(o.value("box_version_number").toInt(), 0x0106);
    EXPECT_EQ(o.value("offered_version").toString(), "1.07");
    EXPECT_EQ(o.value("offered_version_number").toInt(), 0x0107);
    EXPECT_EQ(o.value("offer").toString(), "newer");
    ASSERT_EQ(service.requests().size(), 1);
    EXPECT_EQ(service.requests().at(0).query_value("sn"), "KV-000123");
    EXPECT_EQ(service.requests().at(0).query_value("h1"), "102");

    // Without a terminal to ask, nothing is downloaded.
    EXPECT_EQ(run({"update"}), 2);
    EXPECT_EQ(service.requests().size(), 2);
    // The new firmware starts from the factory thresholds: the calibration
    // from before is put back.
    ASSERT_EQ(run({"set", "h1=90"}), 0);
    box.factory_settings_after_flash = true;
    box.clear_log();
    ASSERT_EQ(run({"update", "--yes"}), 0) << err_text.toStdString();
    EXPECT_EQ(box.settings().value[0], 90);
    // The stages are named as the window names them; the hand-over sends the
    // order to restart and nothing before it.
    for (const char* stage : {"Writing the firmware: do not unplug the box.",
                              "The box is switching to its update mode: do not unplug the box.",
                              "The box is restarting with its new firmware."})
        EXPECT_TRUE(err_text.contains(stage)) << stage;
    const auto& log = box.feature_log();
    const auto order = std::find_if(log.begin(), log.end(), [](const auto& r) { return r[1] == 0xA7; });
    ASSERT_NE(order, log.begin());
    EXPECT_EQ((*(order - 1))[1], 0xD0);  // the query's memory read, not a word that the tool let go
    EXPECT_FALSE(box.tool_attached());
    EXPECT_TRUE(err_text.contains("Before: h1=90 h2=152")) << err_text.toStdString();
    EXPECT_EQ(box.flash().size(), static_cast<std::size_t>(service.image().size()));
    EXPECT_TRUE(std::equal(box.flash().begin(), box.flash().end(), service.image().begin(),
                           [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
    EXPECT_EQ(out_lines(), (QStringList{"The firmware was written; the box restarted with version 1.07.",
                                        "The calibration from before was put back."}));
    const QList<int> percents = this->percents();
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    EXPECT_LE(percents.size(), 11);

    ASSERT_EQ(run({"check-update"}), 0);
    EXPECT_TRUE(out_text.contains("Already running latest firmware version 1.07")) << out_text.toStdString();
    service.set_status(emulator::UpdateService::InfoPath, 500);
    EXPECT_EQ(run({"check-update", "--json"}), 1);
    EXPECT_EQ(out_object().value("kind").toString(), "update-service");
    service.clear_faults();
    service.set_answer(QByteArray("nonsense"));
    EXPECT_EQ(run({"update", "--yes"}), 1);
    EXPECT_EQ(err_text.count("shifterctl: "), 1) << err_text.toStdString();
    EXPECT_TRUE(err_text.contains("cannot use")) << err_text.toStdString();
}
