#include "Cli.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <thread>

#include "BuildConfig.h"
#include "Commands.h"
#include "Connection.h"
#include "Flasher.h"
#include "MonitorState.h"
#include "NetGrab.h"
#include "Products.h"
#include "Readout.h"
#include "UpdateQuery.h"
#include "Writes.h"

namespace {

using device::DeviceConnection;

constexpr int kDefaultInterval = 50;  // the window's polling interval with a box open
constexpr int kMaxInterval = 60000;
// The window's download limit: an image file larger than any image the window
// would download is no image, and is never read whole into memory.
constexpr qint64 kMaxImageBytes = NetGrab::DefaultMaxBodyBytes;
// The window's threshold text boxes take 0..254; 255 is refused there too.
constexpr int kMaxThreshold = 254;

// The whole update as a percentage: the hand-over's two pauses take the first
// fifth, the pages the rest.
int update_percent(update::Stage stage, std::int64_t done, std::int64_t total) {
    const auto part = [&](int span) { return total > 0 ? static_cast<int>(done * span / total) : 0; };
    switch (stage) {
    case update::Stage::Download: return 0;
    case update::Stage::Settle: return part(10);
    case update::Stage::SecondSettle: return 10 + part(10);
    case update::Stage::Flash: return 20 + part(80);
    }
    return 0;
}

QString hex4(std::uint16_t value) { return QString("%1").arg(value, 4, 16, QChar('0')).toUpper(); }

QString caption(std::uint16_t version) {
    return QString::fromStdString(calibration::version_caption(version)).trimmed();
}

QString model(std::uint16_t product_id) {
    const device::ProductInfo* p = device::find_product(product_id);
    return p ? QString(p->name) : QString("unknown");
}

QString thresholds_line(const device::Thresholds& t) {
    return QString("h1=%1 h2=%2 v1=%3 v2=%4 s1=%5 s2=%6").arg(t.h1).arg(t.h2).arg(t.v1).arg(t.v2).arg(t.s1).arg(t.s2);
}

// A count or a time in milliseconds: plain digits, within limits.
std::optional<int> parse_count(const QString& text, int minimum, int maximum) {
    if (text.isEmpty() || text.size() > 9) return std::nullopt;
    for (QChar c : text)
        if (c < '0' || c > '9') return std::nullopt;
    const int value = text.toInt();
    if (value < minimum || value > maximum) return std::nullopt;
    return value;
}

using ToolAttached = device::ToolAttachment;

class Cli {
public:
    Cli(device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env)
        : backend_(backend), out_(out), err_(err), env_(std::move(env)) {}

    // The command's status; a command that did its work but whose output did
    // not get out has failed all the same.
    int run(const QString& command, const QStringList& rest) {
        const int status = dispatch(command, rest);
        out_.flush();
        return status == kCliOk && out_.status() != QTextStream::Ok ? output_failed() : status;
    }

private:
    int fail(int status, const QString& sentence) {
        err_ << "shifterctl: " << sentence << Qt::endl;
        return status;
    }
    int output_failed() {
        return fail(kCliBoxProblem, "The output cannot be written (a closed pipe or a full disk), so shifterctl "
                                    "stopped.");
    }
    int no_arguments(const QString& command, const QStringList& rest) {
        return rest.isEmpty() ? kCliOk : fail(kCliUsage, "The command " + command + " takes no arguments.");
    }

    // Finds the box as the window does. Answers kCliOk, or the status after
    // saying why the box cannot be used.
    int find_box(bool need_application);
    int dispatch(const QString& command, const QStringList& rest);
    int not_found();
    int read_back();
    // The image FILE names, whole, or the status after saying why it cannot be
    // used. Nothing is sent to the box before it has been read.
    int read_image(const QString& path, QByteArray& image);

    int list();
    int info();
    int settings();
    int set(const QStringList& rest);
    int factory_reset();
    int monitor(const QStringList& rest);
    int flash(const QStringList& rest);

    device::HidBackend& backend_;
    QTextStream& out_;
    QTextStream& err_;
    CliEnv env_;
    DeviceConnection conn_;
};

int Cli::dispatch(const QString& command, const QStringList& rest) {
    if (command == "monitor") return monitor(rest);
    if (command == "set") return set(rest);
    if (command == "flash") return flash(rest);
    using Handler = int (Cli::*)();
    const std::pair<const char*, Handler> plain[] = {{"list", &Cli::list},
                                                     {"info", &Cli::info},
                                                     {"settings", &Cli::settings},
                                                     {"factory-reset", &Cli::factory_reset}};
    for (const auto& [name, handler] : plain) {
        if (command != name) continue;
        if (const int status = no_arguments(command, rest)) return status;
        return (this->*handler)();
    }
    return fail(kCliUsage, "Unknown command \"" + command + "\"; run shifterctl --help to see the commands.");
}

int Cli::not_found() {
    // An accepted box that may not be opened says why (permissions, ...).
    if (conn_.open_error) return fail(kCliBoxProblem, QString::fromStdString(conn_.open_error.reason));
    return fail(kCliBoxProblem, "No box was found; plug it in and try again.");
}

int Cli::find_box(bool need_application) {
    device::FindTheHid(backend_, conn_, env_.vendor_id);
    const device::BoxClass found = device::classify(conn_);
    if (found.state == device::BoxState::Absent) return not_found();
    if (found.state == device::BoxState::NotServed)
        return fail(kCliBoxProblem, QString::fromStdString(found.sentence));
    if (need_application && found.state == device::BoxState::Bootloader)
        return fail(kCliBoxProblem,
                    "The box is in its bootloader, which keeps no thresholds and sends no stick positions; write "
                    "its firmware with shifterctl flash FILE.");
    return kCliOk;
}

int Cli::read_back() {
    const device::Result<device::SettingsBytes> reply = device::read_settings(conn_);
    if (!reply) return fail(kCliBoxProblem, "The box did not answer with its thresholds.");
    out_ << thresholds_line(calibration::thresholds_from_reply(*reply)) << Qt::endl;
    return kCliOk;
}

int Cli::list() {
    // Listed from the platform's attributes alone: nothing is opened, so other
    // programs holding a box are not disturbed.
    int listed = 0;
    for (const device::HidDeviceInfo& d : backend_.enumerate()) {
        const device::HidAttributes& a = d.attributes;
        if (a.vendor_id != env_.vendor_id || !device::find_product(a.product_id)) continue;
        out_ << QString::fromStdString(d.path) << '\t' << hex4(a.product_id) << '\t' << model(a.product_id) << '\t'
             << caption(a.version_number) << '\n';
        ++listed;
    }
    out_.flush();
    return listed > 0 ? kCliOk : fail(kCliBoxProblem, "No box is attached.");
}

int Cli::info() {
    if (!device::FindTheHid(backend_, conn_, env_.vendor_id)) return not_found();
    const calibration::DeviceInfo info = calibration::read_device_info(conn_);
    ToolAttached attached(conn_, false);
    auto row = [this](const char* label, const QString& value) {
        out_ << QString(label).append(':').leftJustified(18) << value << '\n';
    };
    auto text = [](const std::optional<std::string>& s) {
        return s ? QString::fromLatin1(s->c_str()) : QString("(no answer)");
    };
    const std::uint16_t pid = static_cast<std::uint16_t>(conn_.product_id);
    row("Path", QString::fromStdString(conn_.device_path));
    row("Product ID", hex4(pid) + " (" + model(pid) + ")");
    row("Manufacturer", text(info.manufacturer));
    row("Product", text(info.product));
    row("Serial number", text(info.serial));
    row("Firmware version", caption(conn_.hid_attributes.version_number));
    row("Report lengths", QString("input %1, feature %2 bytes")
                              .arg(conn_.hid_caps.input_report_length)
                              .arg(conn_.hid_caps.feature_report_length));
    row("Window title", calibration::window_title(conn_.device_found, conn_.product_id));
    if (info.thresholds) row("Thresholds", thresholds_line(*info.thresholds));
    out_.flush();
    if (!conn_.served()) return fail(kCliBoxProblem, QString::fromStdString(conn_.serving.sentence()));
    if (conn_.application() && !info.thresholds)
        return fail(kCliBoxProblem, "The box did not answer with its thresholds.");
    return kCliOk;
}

int Cli::settings() {
    if (const int status = find_box(true)) return status;
    ToolAttached attached(conn_, true);
    return read_back();
}

int Cli::set(const QStringList& rest) {
    if (rest.isEmpty())
        return fail(kCliUsage, "The command set needs at least one NAME=VALUE (names h1 h2 v1 v2 s1 s2).");
    // Everything is checked before the box is touched: a half-applied
    // calibration is worse than none.
    std::array<std::optional<int>, device::kSettingCount> given;
    for (const QString& arg : rest) {
        const int eq = arg.indexOf('=');
        const QString name = eq < 0 ? arg : arg.left(eq);
        int index = -1;
        for (int i = 0; i < device::kSettingCount; ++i)
            if (name == calibration::setting_name(i)) index = i;
        if (eq < 0 || index < 0)
            return fail(kCliUsage, "\"" + arg + "\" is not NAME=VALUE with a NAME of h1 h2 v1 v2 s1 s2.");
        if (given[index]) return fail(kCliUsage, "The threshold " + name + " is given twice.");
        const QString text = arg.mid(eq + 1);
        given[index] = parse_count(text, 0, kMaxThreshold);
        if (!given[index])
            return fail(kCliUsage, QString("The threshold %1 must be a whole number from 0 to %2, not \"%3\".")
                                       .arg(name)
                                       .arg(kMaxThreshold)
                                       .arg(text));
    }
    device::Thresholds t;
    t.h1 = given[device::kH1].value_or(0);
    t.h2 = given[device::kH2].value_or(0);
    t.v1 = given[device::kV1].value_or(0);
    t.v2 = given[device::kV2].value_or(0);
    t.s1 = given[device::kS1].value_or(0);
    t.s2 = static_cast<std::int16_t>(given[device::kS2].value_or(0));
    std::vector<calibration::SettingWrite> writes;
    for (const calibration::SettingWrite& w : calibration::all_writes(t))
        if (given[w.index]) writes.push_back(w);

    if (const int status = find_box(true)) return status;
    ToolAttached attached(conn_, true);
    const calibration::SendOutcome outcome = calibration::send_writes(conn_, writes);
    if (outcome.failed > 0)
        return fail(kCliBoxProblem, QString("The box did not take %1 of the %2 thresholds; check that it is plugged in "
                                            "and try again.")
                                        .arg(outcome.failed)
                                        .arg(writes.size()));
    return read_back();
}

int Cli::factory_reset() {
    if (const int status = find_box(true)) return status;
    ToolAttached attached(conn_, true);
    if (calibration::send_writes(conn_, calibration::factory_writes()).failed > 0)
        return fail(kCliBoxProblem,
                    "The box did not take the factory thresholds; check that it is plugged in and try again.");
    return read_back();
}

int Cli::monitor(const QStringList& rest) {
    int count = 0;  // 0: until interrupted
    int interval = kDefaultInterval;
    for (int i = 0; i < rest.size(); ++i) {
        const QString& a = rest[i];
        if (a != "--count" && a != "--interval")
            return fail(kCliUsage, "The command monitor takes --count N and --interval MS, not \"" + a + "\".");
        const QString value = i + 1 < rest.size() ? rest[++i] : QString();
        const bool is_count = a == "--count";
        const std::optional<int> n = parse_count(value, 1, is_count ? 999999999 : kMaxInterval);
        if (!n)
            return fail(kCliUsage, is_count ? QString("--count needs a number of reports of 1 or more.")
                                            : QString("--interval needs a time from 1 to %1 ms.").arg(kMaxInterval));
        (is_count ? count : interval) = *n;
    }
    if (const int status = find_box(true)) return status;
    ToolAttached attached(conn_, true);

    // A report between two gears leaves the caption as it was, as in the window.
    QString gear = "?";
    int shown = 0;
    for (;;) {
        // Every way out returns through `attached`, which lets the box go.
        if (const CliStops stops = env_.stops(); stops.count > 0) return stops.status;
        if (device::drain_input(conn_) == device::DrainResult::Reports) {
            for (const monitor::Report& r :
                 monitor::cut_batch(conn_.input_report.data(), conn_.bytes_read, conn_.hid_caps.input_report_length)) {
                if (const std::optional<std::string> c = monitor::gear_caption(r)) gear = QString::fromStdString(*c);
                out_ << QString("x=%1 y=%2 gear=%3 mode=%4").arg(r.x).arg(r.y).arg(gear).arg(r.sequential() ? 'S' : 'H')
                     << Qt::endl;
                // A reader that went away (a closed pipe) or a full disk ends
                // the monitor, which would otherwise run on unseen for ever.
                if (out_.status() != QTextStream::Ok) return output_failed();
                if (++shown == count) return kCliOk;
            }
        }
        // Nothing read: a silent box still answers the probe, a removed one does not.
        if (!conn_.last_result && !device::probe_presence(conn_))
            return fail(kCliBoxProblem, "The box was removed.");
        env_.pause(interval);
    }
}

int Cli::read_image(const QString& path, QByteArray& image) {
    const auto too_large = [&](qint64 size) {
        return fail(kCliUsage,
                    QString("The image file \"%1\" has %2 bytes, more than the %3 bytes (%4 MiB) a firmware image "
                            "may have.")
                        .arg(path)
                        .arg(size)
                        .arg(kMaxImageBytes)
                        .arg(kMaxImageBytes / (1024 * 1024)));
    };
    const auto not_regular = [&] {
        return fail(kCliUsage, "\"" + path + "\" is not a regular file (a device, a pipe or a folder), so it is no "
                               "firmware image.");
    };
    // Looked at before it is opened: a device such as /dev/zero never ends,
    // and opening a FIFO waits for a writer that may never come.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return not_regular();
    if (info.size() > kMaxImageBytes) return too_large(info.size());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(kCliUsage, "The image file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    // The path may have been replaced in between, or the file may grow: the
    // opened file is asked again and never read past the limit.
    if (file.isSequential()) return not_regular();
    image = file.read(kMaxImageBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(kCliUsage, "The image file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    if (image.size() > kMaxImageBytes) return too_large(image.size());
    if (image.isEmpty())
        return fail(kCliUsage, "The image file \"" + path + "\" is empty, so there is nothing to write.");
    // Within the limit, the size fits the int the image checks count in.
    if (const device::Status problem = update::check_image(image.size(), image.size()); !problem)
        return fail(kCliUsage, QString::fromStdString(problem.sentence()));
    return kCliOk;
}

int Cli::flash(const QStringList& rest) {
    if (rest.size() != 1) return fail(kCliUsage, "The command flash needs exactly one image FILE.");
    QByteArray image;
    if (const int status = read_image(rest.front(), image)) return status;

    out_ << QString("Writing %1 pages into the box.").arg(image.size() / update::kPageSize) << Qt::endl;
    int shown = -1;  // the last percentage printed, in steps of ten
    update::FlashEnvironment fe;
    fe.backend = &backend_;
    fe.vendor_id = env_.vendor_id;
    // Stopping halfway leaves a box that only its bootloader runs, so the
    // first request only warns; the second stops at the next wait or page.
    bool warned = false;
    const auto stop_now = [this, &warned] {
        const CliStops stops = env_.stops();
        if (stops.count >= 2) return true;
        if (stops.count == 1 && !warned) {
            warned = true;
            err_ << "shifterctl: The firmware is being written, and stopping now leaves the box in its update mode; "
                    "press Ctrl+C again to stop anyway."
                 << Qt::endl;
        }
        return false;
    };
    fe.pause = env_.pause;
    // Closed handles fail the next page, which ends the writing there.
    fe.pump = [this, &stop_now] {
        if (stop_now()) conn_.close_handles();
    };
    const auto show_percent = [this, &shown](int percent) {
        const int step = std::clamp(percent / 10, 0, 10) * 10;
        if (step <= shown) return;
        shown = step;
        out_ << step << '%' << Qt::endl;
    };
    fe.progress = [&show_percent](update::Stage stage, std::int64_t done, std::int64_t total) {
        show_percent(update_percent(stage, done, total));
    };
    fe.stop_requested = stop_now;
    const update::FlashOutcome outcome = update::switch_to_bootloader(conn_, image, fe);
    if (!outcome.status && env_.stops().count >= 2) {
        const QString how = "; the box may be waiting in its update mode, so run shifterctl flash FILE again to write "
                            "the whole firmware.";
        const QString what =
            outcome.status == device::Fault::Failed
                ? QString("The write was stopped after %1 of %2 pages").arg(outcome.page).arg(outcome.pages)
                : QString("The write was stopped before any page was sent");
        return fail(env_.stops().status, what + how);
    }
    const QString sentence = QString::fromStdString(outcome.status.sentence());
    switch (outcome.status.fault()) {
    case device::Fault::None:
        show_percent(100);
        out_ << "The firmware was written; the box restarts with it." << Qt::endl;
        return kCliOk;
    case device::Fault::NoDevice: return not_found();
    case device::Fault::Missing: return fail(kCliBoxProblem, sentence + " Unplug the box, plug it in again and retry.");
    case device::Fault::Failed:
    case device::Fault::Stopped: return fail(kCliBoxProblem, sentence + " Run shifterctl flash FILE again.");
    case device::Fault::Ambiguous:
        return fail(kCliBoxProblem, sentence + " Unplug the other boxes and run shifterctl flash FILE again.");
    default: return fail(kCliBoxProblem, sentence);
    }
    return kCliBoxProblem;
}

// Global options come before the command; what follows belongs to it.
int command_index(const QStringList& args) {
    int i = 0;
    while (i < args.size() && args[i].startsWith('-')) ++i;
    return i;
}

}  // namespace

bool cli_wants_demo(const QStringList& args) { return args.mid(0, command_index(args)).contains("--demo"); }

int run_cli(const QStringList& args, device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env) {
    if (!env.pause) env.pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    if (!env.stops) env.stops = [] { return CliStops{}; };
    const int at = command_index(args);
    for (const QString& a : args.mid(0, at)) {
        if (a == "--help" || a == "-h") {
            out << cli_usage_text();
            out.flush();
            return kCliOk;
        }
        if (a == "--version") {
            out << buildcfg::kVersion << Qt::endl;
            return kCliOk;
        }
        if (a != "--demo") {
            err << "shifterctl: Unknown option \"" << a << "\"; run shifterctl --help to see the options." << Qt::endl;
            return kCliUsage;
        }
    }
    if (at == args.size()) {
        err << "shifterctl: No command given; run shifterctl --help to see the commands." << Qt::endl;
        return kCliUsage;
    }
    Cli cli(backend, out, err, std::move(env));
    return cli.run(args[at], args.mid(at + 1));
}

QString cli_usage_text() {
    return "Usage: shifterctl [--demo] COMMAND [ARGUMENTS]\n"
           "       shifterctl --version | --help\n"
           "\n"
           "Commands:\n"
           "  list                 every attached box: path, product ID, model, firmware version\n"
           "  info                 the box the window would open: strings, version, report lengths, thresholds\n"
           "  settings             its six thresholds\n"
           "  set NAME=VALUE ...   store thresholds (h1 h2 v1 v2 s1 s2; 0 to 254), then read them back\n"
           "  factory-reset        store the factory thresholds, then read them back\n"
           "  monitor [--count N] [--interval MS]\n"
           "                       one line per stick report, polled every MS (50) ms, until N reports or Ctrl+C\n"
           "  flash FILE           write a firmware image (whole 40-byte pages) into the box\n"
           "\n"
           "Options:\n"
           "  --demo               serve an emulated box instead of a real one\n"
           "  --version            print the version and exit\n"
           "  --help               print this text and exit\n"
           "\n"
           "Exit status: 0 done; 1 the box is missing or did not do it, or the output cannot be written; 2 the\n"
           "command line or the image file cannot be used; 130 or 143 stopped by Ctrl+C or a termination request.\n"
           "Ctrl+C during flash asks first, since a box stopped halfway waits in its update mode.\n";
}
