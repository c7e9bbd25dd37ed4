#include "Cli.h"

#include <QByteArray>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSaveFile>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <thread>

#include "Backup.h"
#include "BuildConfig.h"
#include "Commands.h"
#include "Connection.h"
#include "Flasher.h"
#include "MonitorState.h"
#include "NetGrab.h"
#include "Options.h"
#include "Products.h"
#include "Readout.h"
#include "UpdateQuery.h"
#include "UpdateSequence.h"
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
// The window's limit for the update service's answer.
constexpr int kAnswerDeadlineMs = 60'000;
// After an update, how long to wait for the box to come back, in 100 ms passes.
constexpr int kRestartPasses = 100;

// ---- the command line -----------------------------------------------------

// What a failure is, as a script tells failures apart: the exit status and
// the "kind" of the JSON error.
enum class Kind { Usage, File, Several, Box, Service, Output, NoBox };

int status_of(Kind kind) {
    switch (kind) {
    case Kind::Usage:
    case Kind::File:
    case Kind::Several: return kCliUsage;
    case Kind::Box:
    case Kind::Service:
    case Kind::Output: return kCliBoxProblem;
    case Kind::NoBox: return kCliNoBox;
    }
    return kCliBoxProblem;
}

const char* kind_name(Kind kind) {
    switch (kind) {
    case Kind::Usage: return "usage";
    case Kind::File: return "file";
    case Kind::Several: return "several-boxes";
    case Kind::Box: return "box";
    case Kind::Service: return "update-service";
    case Kind::Output: return "output";
    case Kind::NoBox: return "no-box";
    }
    return "box";
}

struct OptionSpec {
    const char* name;
    bool takes_value;
};

// Every option, wherever it stands on the line. Which command takes which is
// in the command table.
constexpr OptionSpec kOptions[] = {
    {"--demo", false},  {"--json", false},       {"--serial", true}, {"--path", true},  {"--yes", false},
    {"--update-host", true}, {"--count", true}, {"--interval", true}, {"--help", false}, {"--version", false},
};

struct CommandSpec {
    const char* name;
    const char* synopsis;  // after "shifterctl "
    const char* help;      // what it does, a few lines
    const char* options;   // the options beyond --demo, --json and --help, blank-separated
    bool chooses_box;      // takes --serial and --path
};

constexpr CommandSpec kCommands[] = {
    {"list", "list",
     "Lists every attached box: path, product ID, model, firmware version. Nothing is opened.\n", "", false},
    {"info", "info",
     "Shows the box the window would open: path, product ID, manufacturer, product, serial number, firmware\n"
     "version, report lengths and the six thresholds. With several boxes, the first (or the chosen one).\n",
     "", true},
    {"settings", "settings", "Shows the six thresholds stored in the box.\n", "", true},
    {"set", "set NAME=VALUE ...",
     "Stores the given thresholds (h1 h2 v1 v2 s1 s2; 0 to 254), then reads all six back.\n", "", true},
    {"factory-reset", "factory-reset",
     "Stores the factory thresholds, then reads them back. First prints the thresholds it replaces, as a\n"
     "shifterctl set line that puts them back (with --json: \"replaced\" beside \"thresholds\").\n",
     "", true},
    {"backup", "backup FILE",
     "Saves the six thresholds with the box's model, product ID, serial number and firmware version and the\n"
     "time into FILE, a small JSON calibration file (replaced if it exists).\n",
     "", true},
    {"restore", "restore FILE [--yes]",
     "Checks FILE (format and every value) before touching the box, then writes all six thresholds, reads\n"
     "them back and compares. A file saved from a box with another serial number is written only after a\n"
     "yes on the terminal, or with --yes.\n",
     "--yes", true},
    {"monitor", "monitor [--count N] [--interval MS]",
     "One line per stick report (x, y, gear, mode), polled every MS (50) ms, until N reports or Ctrl+C.\n",
     "--count --interval", true},
    {"check-update", "check-update [--update-host HOST[:PORT]]",
     "Asks the update service which firmware it offers for the box, as the window does, and prints the\n"
     "box's version and the offered one.\n",
     "--update-host", true},
    {"update", "update [--yes] [--update-host HOST[:PORT]]",
     "Checks, downloads the offered firmware, asks (unless --yes), hands the box over to its bootloader and\n"
     "writes the firmware, as the window does. Ctrl+C while writing asks first.\n",
     "--yes --update-host", true},
    {"flash", "flash FILE", "Writes a firmware image (whole 40-byte pages) into the box.\n", "", true},
    {"help", "help [COMMAND]", "Shows the help of a command, or of them all.\n", "", false},
};

const CommandSpec* find_command(const QString& name) {
    for (const CommandSpec& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

bool command_takes(const CommandSpec& c, const QString& option) {
    if (option == "--demo" || option == "--json" || option == "--help") return true;
    if (option == "--serial" || option == "--path") return c.chooses_box;
    return QString(c.options).split(' ', Qt::SkipEmptyParts).contains(option);
}

struct Request {
    QString command;
    QStringList arguments;
    QMap<QString, QString> options;  // name -> value ("" for a flag)
    bool has(const char* name) const { return options.contains(name); }
};

// Reads the whole line: options anywhere (NAME VALUE or NAME=VALUE), the first
// other word is the command, the rest its arguments; after "--" every word is
// an argument. Answers the sentence that says what is wrong, or empty.
QString parse_request(const QStringList& args, Request& r) {
    bool options_end = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!options_end && a == "--") {
            options_end = true;
            continue;
        }
        if (options_end || a.size() < 2 || !a.startsWith('-')) {
            if (r.command.isEmpty())
                r.command = a;
            else
                r.arguments << a;
            continue;
        }
        const int eq = a.indexOf('=');
        QString name = eq < 0 ? a : a.left(eq);
        if (name == "-h") name = "--help";
        const OptionSpec* option = nullptr;
        for (const OptionSpec& o : kOptions)
            if (name == o.name) option = &o;
        if (!option) return "Unknown option \"" + a + "\"; run shifterctl --help to see the options.";
        if (r.options.contains(name)) return "The option " + name + " is given twice.";
        QString value;
        if (option->takes_value) {
            if (eq >= 0)
                value = a.mid(eq + 1);
            else if (i + 1 < args.size())
                value = args[++i];
            else
                return "The option " + name + " needs a value.";
            if (value.isEmpty()) return "The option " + name + " needs a value.";
        } else if (eq >= 0) {
            return "The option " + name + " takes no value.";
        }
        r.options.insert(name, value);
    }
    return {};
}

// ---- output ---------------------------------------------------------------

// The whole update as a percentage. Flash: the hand-over's two pauses take the
// first fifth, the pages the rest. Update: the download takes the first tenth
// and the pauses the next.
int update_percent(update::Stage stage, std::int64_t done, std::int64_t total, bool with_download) {
    const auto part = [&](int span) { return total > 0 ? static_cast<int>(done * span / total) : 0; };
    const int pause_span = with_download ? 5 : 10;
    const int start = with_download ? 10 : 0;
    switch (stage) {
    case update::Stage::Download: return with_download ? part(10) : 0;
    case update::Stage::Settle: return start + part(pause_span);
    case update::Stage::SecondSettle: return start + pause_span + part(pause_span);
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

QJsonObject thresholds_json(const device::Thresholds& t) {
    QJsonObject o;
    for (int i = 0; i < device::kSettingCount; ++i) o.insert(device::setting_name(i), t.get(i));
    return o;
}

QJsonObject box_json(const device::HidDeviceInfo& d) {
    return {{"path", QString::fromStdString(d.path)},
            {"product_id", hex4(d.attributes.product_id)},
            {"model", model(d.attributes.product_id)},
            {"version", caption(d.attributes.version_number)}};
}

QString box_words(const device::HidDeviceInfo& d) {
    return QString::fromStdString(d.path) + " (" + model(d.attributes.product_id) + " " +
           caption(d.attributes.version_number) + ")";
}

// The box's version as the update service writes versions: 0x0106 is "1.06".
QString service_version(std::uint16_t version) { return update::version_display(update::hex16(version)); }

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
    Cli(device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env, Request request)
        : backend_(backend), out_(out), err_(err), env_(std::move(env)), r_(std::move(request)) {
        json_ = r_.has("--json");
        conn_.choice.path = r_.options.value("--path").toStdString();
        conn_.choice.serial = r_.options.value("--serial").toStdU16String();
    }

    // The command's status; a command that did its work but whose output did
    // not get out has failed all the same.
    int run() {
        const int status = dispatch();
        out_.flush();
        return status == kCliOk && out_.status() != QTextStream::Ok ? output_failed() : status;
    }

private:
    int fail(Kind kind, const QString& sentence, QJsonObject extra = {}) {
        err_ << "shifterctl: " << sentence << Qt::endl;
        if (json_) {
            extra.insert("error", sentence);
            extra.insert("kind", kind_name(kind));
            emit_json(extra);
        }
        return status_of(kind);
    }
    void emit_json(const QJsonObject& o) { out_ << QJsonDocument(o).toJson(QJsonDocument::Compact) << Qt::endl; }
    int output_failed() {
        return fail(Kind::Output, "The output cannot be written (a closed pipe or a full disk), so shifterctl "
                                  "stopped.");
    }
    int arguments(int count, const char* what) {
        if (r_.arguments.size() == count) return kCliOk;
        if (count == 0) return fail(Kind::Usage, "The command " + r_.command + " takes no arguments.");
        return fail(Kind::Usage, "The command " + r_.command + " needs exactly " + what + ".");
    }

    // Finds the box as the window does, or the chosen one. A command that
    // changes a box refuses to guess among several. Answers kCliOk, or the
    // status after saying why the box cannot be used.
    int find_box(bool need_application, bool changes);
    int dispatch();
    int not_found();
    int read_back(const char* key = "thresholds", QJsonObject extra = {});
    // The image FILE names, whole, or the status after saying why it cannot be
    // used. Nothing is sent to the box before it has been read.
    int read_image(const QString& path, QByteArray& image);
    int read_small_file(const QString& path, qint64 limit, QByteArray& bytes);
    // Asks before a step that cannot be undone; kCliOk to go ahead.
    int confirm(const QString& question, const QString& declined);
    // Prints a percentage: in place on a terminal, else a line per tenth.
    void show_percent(int percent);
    void end_percent();
    bool stop_now(bool& warned);
    update::FlashEnvironment flash_environment(bool& warned, bool with_download);
    int flash_failed(const update::FlashOutcome& outcome, const QString& again);
    // One transfer with a local event loop; Ctrl+C ends it.
    struct Transfer {
        bool ok = false;
        QByteArray bytes;
        int stopped = 0;
    };
    Transfer fetch(const QString& url, int deadline_ms, const std::function<void(qint64)>& progress);
    // The query and the service's answer: kCliOk with offer set.
    int ask_service(update::UpdateSequence& sequence, update::Offer& offer);

    int help();
    int list();
    int info();
    int settings();
    int set();
    int factory_reset();
    int backup();
    int restore();
    int monitor();
    int flash();
    int check_update();
    int update();

    device::HidBackend& backend_;
    QTextStream& out_;
    QTextStream& err_;
    CliEnv env_;
    Request r_;
    bool json_ = false;
    DeviceConnection conn_;
    int shown_ = -1;  // the last percentage printed
    QString host_;
};

int Cli::dispatch() {
    using Handler = int (Cli::*)();
    const std::pair<const char*, Handler> handlers[] = {
        {"list", &Cli::list},         {"info", &Cli::info},       {"settings", &Cli::settings},
        {"set", &Cli::set},           {"factory-reset", &Cli::factory_reset},
        {"backup", &Cli::backup},     {"restore", &Cli::restore}, {"monitor", &Cli::monitor},
        {"flash", &Cli::flash},       {"check-update", &Cli::check_update},
        {"update", &Cli::update},     {"help", &Cli::help},
    };
    const CommandSpec* entry = find_command(r_.command);
    if (!entry)
        return fail(Kind::Usage, "Unknown command \"" + r_.command + "\"; run shifterctl --help to see the commands.");
    for (auto it = r_.options.begin(); it != r_.options.end(); ++it)
        if (!command_takes(*entry, it.key()))
            return fail(Kind::Usage, "The command " + r_.command + " takes no option " + it.key() + ".");
    host_ = env_.update_host;
    if (r_.has("--update-host")) {
        host_ = r_.options.value("--update-host");
        if (!valid_update_host(host_))
            return fail(Kind::Usage, "--update-host takes HOST or HOST:PORT (port 1 to 65535), not \"" + host_ + "\".");
    }
    for (const auto& [name, handler] : handlers)
        if (r_.command == name) return (this->*handler)();
    return kCliUsage;
}

int Cli::help() {
    if (r_.arguments.size() > 1) return fail(Kind::Usage, "The command help takes at most one COMMAND.");
    if (r_.arguments.isEmpty()) {
        out_ << cli_usage_text();
        return kCliOk;
    }
    const CommandSpec* entry = find_command(r_.arguments.front());
    if (!entry)
        return fail(Kind::Usage,
                    "Unknown command \"" + r_.arguments.front() + "\"; run shifterctl --help to see the commands.");
    out_ << "Usage: shifterctl [OPTIONS] " << entry->synopsis << "\n\n" << entry->help;
    out_ << "\nOptions: --demo, --json" << (entry->chooses_box ? ", --serial S, --path P" : "");
    for (const QString& o : QString(entry->options).split(' ', Qt::SkipEmptyParts)) out_ << ", " << o;
    out_ << ".\nRun shifterctl --help for what the options do and the exit status.\n";
    return kCliOk;
}

int Cli::not_found() {
    // An accepted box that may not be opened says why (permissions, ...).
    if (conn_.open_error) return fail(Kind::Box, QString::fromStdString(conn_.open_error.reason));
    if (!conn_.choice.any()) {
        QStringList chosen;
        if (!conn_.choice.path.empty()) chosen << "at " + QString::fromStdString(conn_.choice.path);
        if (!conn_.choice.serial.empty())
            chosen << "with serial number " + QString::fromStdU16String(conn_.choice.serial);
        return fail(Kind::NoBox, "No box " + chosen.join(" and ") + " was found; run shifterctl list to see the "
                                                                    "attached boxes.");
    }
    return fail(Kind::NoBox, "No box was found; plug it in and try again.");
}

int Cli::find_box(bool need_application, bool changes) {
    if (changes && conn_.choice.any()) {
        const std::vector<device::HidDeviceInfo> boxes = device::accepted_boxes(backend_, env_.vendor_id);
        if (boxes.size() > 1) {
            QStringList words;
            QJsonArray listed;
            for (const device::HidDeviceInfo& d : boxes) {
                words << box_words(d);
                listed.append(box_json(d));
            }
            return fail(Kind::Several,
                        QString("%1 boxes are attached, so choose one with --serial S or --path P: %2.")
                            .arg(boxes.size())
                            .arg(words.join(", ")),
                        {{"boxes", listed}});
        }
    }
    device::FindTheHid(backend_, conn_, env_.vendor_id);
    const device::BoxClass found = device::classify(conn_);
    if (found.state == device::BoxState::Absent) return not_found();
    if (found.state == device::BoxState::NotServed) return fail(Kind::Box, QString::fromStdString(found.sentence));
    if (need_application && found.state == device::BoxState::Bootloader)
        return fail(Kind::Box,
                    "The box is in its bootloader, which keeps no thresholds and sends no stick positions; write "
                    "its firmware with shifterctl update or shifterctl flash FILE.");
    return kCliOk;
}

int Cli::read_back(const char* key, QJsonObject extra) {
    const device::Result<device::SettingsBytes> reply = device::read_settings(conn_);
    if (!reply) return fail(Kind::Box, "The box did not answer with its thresholds.");
    const device::Thresholds t = calibration::thresholds_from_reply(*reply);
    if (json_) {
        extra.insert(key, thresholds_json(t));
        emit_json(extra);
    } else {
        out_ << thresholds_line(t) << Qt::endl;
    }
    return kCliOk;
}

int Cli::list() {
    if (const int status = arguments(0, "")) return status;
    // Listed from the platform's attributes alone: nothing is opened, so other
    // programs holding a box are not disturbed.
    const std::vector<device::HidDeviceInfo> boxes = device::accepted_boxes(backend_, env_.vendor_id);
    if (boxes.empty()) return fail(Kind::NoBox, "No box is attached.");
    QJsonArray listed;
    for (const device::HidDeviceInfo& d : boxes) {
        const device::HidAttributes& a = d.attributes;
        if (json_)
            listed.append(box_json(d));
        else
            out_ << QString::fromStdString(d.path) << '\t' << hex4(a.product_id) << '\t' << model(a.product_id)
                 << '\t' << caption(a.version_number) << '\n';
    }
    if (json_) out_ << QJsonDocument(listed).toJson(QJsonDocument::Compact) << '\n';
    out_.flush();
    return kCliOk;
}

int Cli::info() {
    if (const int status = arguments(0, "")) return status;
    if (!device::FindTheHid(backend_, conn_, env_.vendor_id)) return not_found();
    const calibration::DeviceInfo info = calibration::read_device_info(conn_);
    ToolAttached attached(conn_, false);
    const auto text = [](const std::optional<std::string>& s) {
        return s ? QString::fromLatin1(s->c_str()) : QString("(no answer)");
    };
    const std::uint16_t pid = static_cast<std::uint16_t>(conn_.product_id);
    if (json_) {
        const auto value = [](const std::optional<std::string>& s) {
            return s ? QJsonValue(QString::fromLatin1(s->c_str())) : QJsonValue();
        };
        QJsonObject o{{"path", QString::fromStdString(conn_.device_path)},
                      {"product_id", hex4(pid)},
                      {"model", model(pid)},
                      {"mode", conn_.bootloader() ? "bootloader" : "application"},
                      {"manufacturer", value(info.manufacturer)},
                      {"product", value(info.product)},
                      {"serial", value(info.serial)},
                      {"version", caption(conn_.hid_attributes.version_number)},
                      {"report_lengths", QJsonObject{{"input", conn_.hid_caps.input_report_length},
                                                     {"feature", conn_.hid_caps.feature_report_length}}},
                      {"thresholds", info.thresholds ? QJsonValue(thresholds_json(*info.thresholds)) : QJsonValue()}};
        if (conn_.served() && (!conn_.application() || info.thresholds)) emit_json(o);
    } else {
        auto row = [this](const char* label, const QString& value) {
            out_ << QString(label).append(':').leftJustified(18) << value << '\n';
        };
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
    }
    out_.flush();
    if (!conn_.served()) return fail(Kind::Box, QString::fromStdString(conn_.serving.sentence()));
    if (conn_.application() && !info.thresholds) return fail(Kind::Box, "The box did not answer with its thresholds.");
    return kCliOk;
}

int Cli::settings() {
    if (const int status = arguments(0, "")) return status;
    if (const int status = find_box(true, false)) return status;
    ToolAttached attached(conn_, true);
    return read_back();
}

int Cli::set() {
    if (r_.arguments.isEmpty())
        return fail(Kind::Usage, "The command set needs at least one NAME=VALUE (names h1 h2 v1 v2 s1 s2).");
    // Everything is checked before the box is touched: a half-applied
    // calibration is worse than none.
    std::array<std::optional<int>, device::kSettingCount> given;
    for (const QString& arg : r_.arguments) {
        const int eq = arg.indexOf('=');
        const QString name = eq < 0 ? arg : arg.left(eq);
        int index = -1;
        for (int i = 0; i < device::kSettingCount; ++i)
            if (name == calibration::setting_name(i)) index = i;
        if (eq < 0 || index < 0)
            return fail(Kind::Usage, "\"" + arg + "\" is not NAME=VALUE with a NAME of h1 h2 v1 v2 s1 s2.");
        if (given[index]) return fail(Kind::Usage, "The threshold " + name + " is given twice.");
        const QString text = arg.mid(eq + 1);
        given[index] = parse_count(text, 0, kMaxThreshold);
        if (!given[index])
            return fail(Kind::Usage, QString("The threshold %1 must be a whole number from 0 to %2, not \"%3\".")
                                         .arg(name)
                                         .arg(kMaxThreshold)
                                         .arg(text.left(20)));
    }
    device::Thresholds t;
    for (int i = 0; i < device::kSettingCount; ++i) t.set(i, given[i].value_or(0));
    std::vector<calibration::SettingWrite> writes;
    for (const calibration::SettingWrite& w : calibration::all_writes(t))
        if (given[w.index]) writes.push_back(w);

    if (const int status = find_box(true, true)) return status;
    ToolAttached attached(conn_, true);
    const calibration::SendOutcome outcome = calibration::send_writes(conn_, writes);
    if (outcome.failed > 0)
        return fail(Kind::Box, QString("The box did not take %1 of the %2 thresholds; check that it is plugged in "
                                       "and try again.")
                                   .arg(outcome.failed)
                                   .arg(writes.size()));
    return read_back();
}

int Cli::factory_reset() {
    if (const int status = arguments(0, "")) return status;
    if (const int status = find_box(true, true)) return status;
    ToolAttached attached(conn_, true);
    // What is replaced is shown first, so that it can be put back.
    const device::Result<device::SettingsBytes> before = device::read_settings(conn_);
    if (!before) return fail(Kind::Box, "The box did not answer with its thresholds, so they were not replaced.");
    const device::Thresholds replaced = calibration::thresholds_from_reply(*before);
    if (!json_)
        out_ << "Replacing " << thresholds_line(replaced) << "; to put them back: shifterctl set "
             << thresholds_line(replaced) << Qt::endl;
    if (calibration::send_writes(conn_, calibration::factory_writes()).failed > 0)
        return fail(Kind::Box,
                    "The box did not take the factory thresholds; check that it is plugged in and try again.",
                    {{"replaced", thresholds_json(replaced)}});
    return read_back("thresholds", {{"replaced", thresholds_json(replaced)}});
}

int Cli::read_small_file(const QString& path, qint64 limit, QByteArray& bytes) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(Kind::File, "\"" + path + "\" is not a regular file (a device, a pipe or a folder).");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Kind::File, "The file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    if (file.isSequential())
        return fail(Kind::File, "\"" + path + "\" is not a regular file (a device, a pipe or a folder).");
    bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(Kind::File, "The file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    return kCliOk;
}

int Cli::backup() {
    if (const int status = arguments(1, "one FILE")) return status;
    const QString path = r_.arguments.front();
    if (const int status = find_box(true, false)) return status;
    const calibration::DeviceInfo info = calibration::read_device_info(conn_);
    ToolAttached attached(conn_, false);
    if (!info.thresholds) return fail(Kind::Box, "The box did not answer with its thresholds.");
    calibration::Backup b;
    const std::uint16_t pid = static_cast<std::uint16_t>(conn_.product_id);
    b.model = model(pid);
    b.product_id = pid;
    b.serial = info.serial ? QString::fromLatin1(info.serial->c_str()) : QString();
    b.firmware_version = conn_.hid_attributes.version_number;
    b.saved = QDateTime::currentDateTimeUtc();
    b.thresholds = *info.thresholds;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(calibration::write_backup(b)) < 0 || !file.commit())
        return fail(Kind::File, "The file \"" + path + "\" cannot be written: " + file.errorString() + ".");
    if (json_)
        emit_json({{"file", path}, {"serial", b.serial}, {"thresholds", thresholds_json(b.thresholds)}});
    else
        out_ << "Saved " << thresholds_line(b.thresholds) << " of " << b.model << " " << b.serial << " to " << path
             << "." << Qt::endl;
    return kCliOk;
}

int Cli::confirm(const QString& question, const QString& declined) {
    if (r_.has("--yes")) return kCliOk;
    const std::optional<bool> answer = env_.confirm ? env_.confirm(question) : std::nullopt;
    if (!answer)
        return fail(Kind::Usage, "shifterctl cannot ask \"" + question +
                                     "\" because its input is not a terminal; add --yes to go ahead.");
    if (!*answer) return fail(Kind::Usage, declined);
    return kCliOk;
}

int Cli::restore() {
    if (const int status = arguments(1, "one FILE")) return status;
    const QString path = r_.arguments.front();
    QByteArray bytes;
    if (const int status = read_small_file(path, calibration::kMaxBackupBytes, bytes)) return status;
    if (bytes.size() > calibration::kMaxBackupBytes)
        return fail(Kind::File, "\"" + path + "\" is larger than any calibration file, so it is not one.");
    const device::Result<calibration::Backup> b = calibration::read_backup(bytes);
    if (!b) return fail(Kind::File, "\"" + path + "\" cannot be restored: " + QString::fromStdString(b.sentence()));

    if (const int status = find_box(true, true)) return status;
    const calibration::DeviceInfo info = calibration::read_device_info(conn_);
    ToolAttached attached(conn_, false);
    const QString serial = info.serial ? QString::fromLatin1(info.serial->c_str()) : QString();
    if (serial != b->serial) {
        if (const int status = confirm("The file was saved from box " + b->serial + ", not from this box " + serial +
                                           "; write its thresholds into this box?",
                                       "Nothing was written."))
            return status;
    }
    const std::vector<calibration::SettingWrite> writes = calibration::all_writes(b->thresholds);
    const calibration::SendOutcome outcome = calibration::send_writes(conn_, writes);
    if (outcome.out_of_range || outcome.failed > 0)
        return fail(Kind::Box, QString("The box did not take %1 of the 6 thresholds; check that it is plugged in and "
                                       "run shifterctl restore again.")
                                   .arg(outcome.failed));
    const device::Result<device::SettingsBytes> reply = device::read_settings(conn_);
    if (!reply) return fail(Kind::Box, "The box did not answer with its thresholds after the restore.");
    const device::Thresholds held = calibration::thresholds_from_reply(*reply);
    if (!(held == b->thresholds))
        return fail(Kind::Box, "The box holds " + thresholds_line(held) + " instead of the restored " +
                                   thresholds_line(b->thresholds) + ".",
                    {{"thresholds", thresholds_json(held)}});
    if (json_)
        emit_json({{"file", path}, {"thresholds", thresholds_json(held)}});
    else
        out_ << "Restored " << thresholds_line(held) << " from " << path << "." << Qt::endl;
    return kCliOk;
}

int Cli::monitor() {
    int count = 0;  // 0: until interrupted
    int interval = kDefaultInterval;
    if (const int status = arguments(0, "")) return status;
    if (r_.has("--count")) {
        const std::optional<int> n = parse_count(r_.options.value("--count"), 1, 999999999);
        if (!n) return fail(Kind::Usage, "--count needs a number of reports of 1 or more.");
        count = *n;
    }
    if (r_.has("--interval")) {
        const std::optional<int> n = parse_count(r_.options.value("--interval"), 1, kMaxInterval);
        if (!n) return fail(Kind::Usage, QString("--interval needs a time from 1 to %1 ms.").arg(kMaxInterval));
        interval = *n;
    }
    if (const int status = find_box(true, false)) return status;
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
                const QString mode = r.sequential() ? "S" : "H";
                if (json_)
                    emit_json({{"x", r.x}, {"y", r.y}, {"gear", gear}, {"mode", mode}});
                else
                    out_ << QString("x=%1 y=%2 gear=%3 mode=%4").arg(r.x).arg(r.y).arg(gear).arg(mode) << Qt::endl;
                // A reader that went away (a closed pipe) or a full disk ends
                // the monitor, which would otherwise run on unseen for ever.
                if (out_.status() != QTextStream::Ok) return output_failed();
                if (++shown == count) return kCliOk;
            }
        }
        // Nothing read: a silent box still answers the probe, a removed one does not.
        if (!conn_.last_result && !device::probe_presence(conn_)) return fail(Kind::Box, "The box was removed.");
        env_.pause(interval);
    }
}

int Cli::read_image(const QString& path, QByteArray& image) {
    const auto too_large = [&](qint64 size) {
        return fail(Kind::File,
                    QString("The image file \"%1\" has %2 bytes, more than the %3 bytes (%4 MiB) a firmware image "
                            "may have.")
                        .arg(path)
                        .arg(size)
                        .arg(kMaxImageBytes)
                        .arg(kMaxImageBytes / (1024 * 1024)));
    };
    const auto not_regular = [&] {
        return fail(Kind::File, "\"" + path + "\" is not a regular file (a device, a pipe or a folder), so it is no "
                                "firmware image.");
    };
    // Looked at before it is opened: a device such as /dev/zero never ends,
    // and opening a FIFO waits for a writer that may never come.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return not_regular();
    if (info.size() > kMaxImageBytes) return too_large(info.size());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Kind::File, "The image file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    // The path may have been replaced in between, or the file may grow: the
    // opened file is asked again and never read past the limit.
    if (file.isSequential()) return not_regular();
    image = file.read(kMaxImageBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(Kind::File, "The image file \"" + path + "\" cannot be read: " + file.errorString() + ".");
    if (image.size() > kMaxImageBytes) return too_large(image.size());
    if (image.isEmpty())
        return fail(Kind::File, "The image file \"" + path + "\" is empty, so there is nothing to write.");
    // Within the limit, the size fits the int the image checks count in.
    if (const device::Status problem = update::check_image(image.size(), image.size()); !problem)
        return fail(Kind::File, QString::fromStdString(problem.sentence()));
    return kCliOk;
}

void Cli::show_percent(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (env_.output_is_terminal && !json_) {
        if (percent <= shown_) return;
        shown_ = percent;
        out_ << '\r' << QString("%1%").arg(percent, 3) << Qt::flush;
        return;
    }
    const int step = percent / 10 * 10;
    if (step <= shown_) return;
    shown_ = step;
    if (json_)
        emit_json({{"progress", step}});
    else
        out_ << step << '%' << Qt::endl;
}

void Cli::end_percent() {
    if (env_.output_is_terminal && !json_ && shown_ >= 0) out_ << Qt::endl;
}

// Stopping halfway leaves a box that only its bootloader runs, so the first
// request only warns; the second stops at the next wait or page.
bool Cli::stop_now(bool& warned) {
    const CliStops stops = env_.stops();
    if (stops.count >= 2) return true;
    if (stops.count == 1 && !warned) {
        warned = true;
        err_ << "shifterctl: The firmware is being written, and stopping now leaves the box in its update mode; "
                "press Ctrl+C again to stop anyway."
             << Qt::endl;
    }
    return false;
}

update::FlashEnvironment Cli::flash_environment(bool& warned, bool with_download) {
    update::FlashEnvironment fe;
    fe.backend = &backend_;
    fe.vendor_id = env_.vendor_id;
    fe.pause = env_.pause;
    // Closed handles fail the next page, which ends the writing there.
    fe.pump = [this, &warned] {
        if (stop_now(warned)) conn_.close_handles();
    };
    fe.progress = [this, with_download](update::Stage stage, std::int64_t done, std::int64_t total) {
        show_percent(update_percent(stage, done, total, with_download));
    };
    fe.stop_requested = [this, &warned] { return stop_now(warned); };
    return fe;
}

int Cli::flash_failed(const update::FlashOutcome& outcome, const QString& again) {
    end_percent();
    if (env_.stops().count >= 2) {
        const QString how = "; the box may be waiting in its update mode, so run " + again +
                            " again to write the whole firmware.";
        const QString what =
            outcome.status == device::Fault::Failed
                ? QString("The write was stopped after %1 of %2 pages").arg(outcome.page).arg(outcome.pages)
                : QString("The write was stopped before any page was sent");
        err_ << "shifterctl: " << what + how << Qt::endl;
        if (json_) emit_json({{"error", what + how}, {"kind", "stopped"}});
        return env_.stops().status;
    }
    const QString sentence = QString::fromStdString(outcome.status.sentence());
    switch (outcome.status.fault()) {
    case device::Fault::NoDevice: return not_found();
    case device::Fault::Missing: return fail(Kind::Box, sentence + " Unplug the box, plug it in again and retry.");
    case device::Fault::Failed:
    case device::Fault::Stopped: return fail(Kind::Box, sentence + " Run " + again + " again.");
    case device::Fault::Ambiguous:
        return fail(Kind::Box, sentence + " Unplug the other boxes and run " + again + " again.");
    default: return fail(Kind::Box, sentence);
    }
}

int Cli::flash() {
    if (const int status = arguments(1, "one image FILE")) return status;
    QByteArray image;
    if (const int status = read_image(r_.arguments.front(), image)) return status;
    if (const int status = find_box(false, true)) return status;

    if (!json_) out_ << QString("Writing %1 pages into the box.").arg(image.size() / update::kPageSize) << Qt::endl;
    bool warned = false;
    const update::FlashOutcome outcome = update::switch_to_bootloader(conn_, image, flash_environment(warned, false));
    if (!outcome.status) return flash_failed(outcome, "shifterctl flash FILE");
    show_percent(100);
    end_percent();
    if (json_)
        emit_json({{"written", true}, {"pages", outcome.pages}});
    else
        out_ << "The firmware was written; the box restarts with it." << Qt::endl;
    return kCliOk;
}

Cli::Transfer Cli::fetch(const QString& url, int deadline_ms, const std::function<void(qint64)>& progress) {
    Transfer t;
    NetGrab grab;
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&grab, &NetGrab::DownloadComplete, &loop, [&] {
        t.ok = true;
        ended = true;
        loop.quit();
    });
    QObject::connect(&grab, &NetGrab::DownloadFailed, &loop, [&] {
        ended = true;
        loop.quit();
    });
    if (progress) QObject::connect(&grab, &NetGrab::DownloadProgress, &loop, [&](int n) { progress(n); });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (const CliStops stops = env_.stops(); stops.count > 0) {
            t.stopped = stops.status;
            loop.quit();
        }
    });
    watch.start(20);
    grab.set_transfer_deadline_ms(deadline_ms);
    grab.DownloadStart(url, NetGrab::ModeFreshCopy);
    if (grab.Busy() && !ended) loop.exec();
    if (t.ok) t.bytes = grab.Bytes();
    return t;
}

int Cli::ask_service(update::UpdateSequence& sequence, update::Offer& offer) {
    // The query carries what the window shows: the serial number and the
    // thresholds as the box holds them.
    const calibration::DeviceInfo info = calibration::read_device_info(conn_);
    update::QueryTexts texts;
    if (info.serial) texts.serial_caption = QString::fromLatin1(info.serial->c_str());
    if (info.thresholds) {
        texts.h1 = QString::number(info.thresholds->h1);
        texts.h2 = QString::number(info.thresholds->h2);
        texts.v1 = QString::number(info.thresholds->v1);
        texts.v2 = QString::number(info.thresholds->v2);
    }
    const Transfer answer = fetch(sequence.query_url(host_, texts), kAnswerDeadlineMs, {});
    if (answer.stopped) return answer.stopped;
    if (!answer.ok)
        return fail(Kind::Service, "The update service at " + host_ +
                                       " did not answer; try again later or download the firmware from it by hand.");
    const device::Result<update::Offer> taken = sequence.take_answer(answer.bytes);
    if (!taken)
        return fail(Kind::Service, "The update service at " + host_ + " gave an answer this tool cannot use (" +
                                       QString::fromStdString(taken.sentence()) + ").");
    offer = *taken;
    return kCliOk;
}

const char* offer_word(update::Offer offer) {
    switch (offer) {
    case update::Offer::Upgrade: return "newer";
    case update::Offer::AlreadyLatest: return "latest";
    case update::Offer::Older: return "older";
    }
    return "older";
}

int Cli::check_update() {
    if (const int status = arguments(0, "")) return status;
    if (const int status = find_box(false, false)) return status;
    ToolAttached attached(conn_, false);
    bool warned = false;
    update::UpdateSequence sequence(conn_, flash_environment(warned, true));
    update::Offer offer{};
    if (const int status = ask_service(sequence, offer)) return status;
    const QString box = service_version(conn_.hid_attributes.version_number);
    const QString offered = update::version_display(sequence.answer().version_text);
    if (json_) {
        emit_json({{"box_version", box},
                   {"offered_version", offered},
                   {"offer", offer_word(offer)},
                   {"mode", conn_.bootloader() ? "bootloader" : "application"},
                   {"size", sequence.answer().size}});
        return kCliOk;
    }
    out_ << "Box firmware:     " << box << (conn_.bootloader() ? " (bootloader)" : "") << '\n';
    out_ << "Offered firmware: " << offered << '\n';
    switch (offer) {
    case update::Offer::Upgrade: out_ << "Newer firmware is offered; shifterctl update installs it.\n"; break;
    case update::Offer::AlreadyLatest: out_ << "Already running latest firmware version " << offered << ".\n"; break;
    case update::Offer::Older: out_ << "The box runs newer firmware than the one offered.\n"; break;
    }
    return kCliOk;
}

int Cli::update() {
    if (const int status = arguments(0, "")) return status;
    if (const int status = find_box(false, true)) return status;
    ToolAttached attached(conn_, false);
    bool warned = false;
    update::UpdateSequence sequence(conn_, flash_environment(warned, true));
    update::Offer offer{};
    if (const int status = ask_service(sequence, offer)) return status;
    const update::UpdateAnswer& answer = sequence.answer();
    const QString offered = update::version_display(answer.version_text);
    if (offer != update::Offer::Upgrade) {
        const QString why = offer == update::Offer::AlreadyLatest
                                ? "Already running latest firmware version " + offered + "."
                                : "The box runs newer firmware than the offered " + offered + ".";
        if (json_)
            emit_json({{"updated", false}, {"offer", offer_word(offer)}, {"offered_version", offered}});
        else
            out_ << why << Qt::endl;
        return kCliOk;
    }
    if (const int status = confirm("Upgrade to version " + offered + " now?", "The firmware was not updated."))
        return status;
    // The serial number finds the box again once it has restarted (its path
    // may change on the way).
    const std::u16string serial = conn_.read_handle && conn_.read_handle->serial_number_string()
                                      ? *conn_.read_handle->serial_number_string()
                                      : std::u16string();
    const Transfer image = fetch(answer.url, NetGrab::deadline_ms_for_size(answer.size),
                                 [&sequence](qint64 n) { sequence.download_progress(n); });
    if (image.stopped) return image.stopped;
    if (!image.ok)
        return fail(Kind::Service, "The firmware could not be downloaded from the update service at " + host_ +
                                       "; try again later.");
    if (const device::Status taken = sequence.take_image(image.bytes); !taken)
        return fail(Kind::Service, "The update service at " + host_ + " sent firmware this tool cannot use (" +
                                       QString::fromStdString(taken.sentence()) + ").");
    const update::FlashOutcome outcome = sequence.write();
    attached.detach();
    if (!outcome.status) return flash_failed(outcome, "shifterctl update");
    show_percent(100);
    end_percent();
    // Wait for the box to restart with its new firmware, to say what it runs.
    conn_.choice = {"", serial.substr(0, serial.find(u'\0'))};
    std::optional<std::uint16_t> now;
    for (int pass = 0; pass < kRestartPasses && !now && env_.stops().count == 0; ++pass) {
        env_.pause(100);
        if (device::FindTheHid(backend_, conn_, env_.vendor_id) && conn_.application())
            now = conn_.hid_attributes.version_number;
    }
    conn_.close_handles();
    if (json_) {
        emit_json({{"updated", true},
                   {"offered_version", offered},
                   {"box_version", now ? QJsonValue(service_version(*now)) : QJsonValue()}});
    } else if (now) {
        out_ << "The firmware was written; the box restarted with version " << service_version(*now) << "."
             << Qt::endl;
    } else {
        out_ << "The firmware was written; the box restarts with it." << Qt::endl;
    }
    return kCliOk;
}

QString option_before_separator(const QStringList& args, const QString& option) {
    for (const QString& a : args) {
        if (a == "--") break;
        if (a == option) return a;
    }
    return {};
}

}  // namespace

bool cli_wants_demo(const QStringList& args) { return !option_before_separator(args, "--demo").isEmpty(); }

bool cli_wants_update_service(const QStringList& args) {
    Request r;
    if (!parse_request(args, r).isEmpty()) return false;
    return r.command == "check-update" || r.command == "update";
}

int run_cli(const QStringList& args, device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env) {
    if (!env.pause) env.pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    if (!env.stops) env.stops = [] { return CliStops{}; };
    if (env.update_host.isEmpty()) env.update_host = buildcfg::kUpdateHost;
    const bool json = !option_before_separator(args, "--json").isEmpty();
    const auto usage_error = [&](const QString& sentence) {
        err << "shifterctl: " << sentence << Qt::endl;
        if (json)
            out << QJsonDocument(QJsonObject{{"error", sentence}, {"kind", "usage"}}).toJson(QJsonDocument::Compact)
                << Qt::endl;
        return kCliUsage;
    };
    Request r;
    if (const QString problem = parse_request(args, r); !problem.isEmpty()) return usage_error(problem);
    if (r.has("--help")) {
        // CMD --help is help CMD.
        if (!r.command.isEmpty() && r.command != "help") {
            r.arguments = QStringList{r.command};
            r.command = "help";
        }
        r.options.remove("--help");
        if (r.command.isEmpty()) r.command = "help";
    }
    if (r.has("--version")) {
        out << buildcfg::kVersion << Qt::endl;
        return kCliOk;
    }
    if (r.command.isEmpty()) return usage_error("No command given; run shifterctl --help to see the commands.");
    Cli cli(backend, out, err, std::move(env), std::move(r));
    return cli.run();
}

QString cli_usage_text() {
    QString commands;
    for (const CommandSpec& c : kCommands) {
        const QString head = QString("  ") + c.synopsis;
        commands += head.size() < 22 ? head.leftJustified(23) : head + "\n" + QString(23, ' ');
        commands += QString(c.help).trimmed().replace("\n", "\n" + QString(23, ' ')) + "\n";
    }
    return "Usage: shifterctl [OPTIONS] COMMAND [ARGUMENTS]\n"
           "       shifterctl help [COMMAND]  |  shifterctl COMMAND --help\n"
           "       shifterctl --version | --help\n"
           "Options may come before or after the command; after -- every word is an argument.\n"
           "\n"
           "Commands:\n" +
           commands +
           "\n"
           "Options:\n"
           "  --demo                 serve an emulated box (and for check-update and update its own update\n"
           "                         service on 127.0.0.1) instead of a real one\n"
           "  --json                 print JSON instead of text: one object (list: one array; monitor: one\n"
           "                         object per report; update and flash: one per tenth of progress); a\n"
           "                         failure is also the object {\"error\": SENTENCE, \"kind\": KIND}\n"
           "  --serial S             the box with serial number S\n"
           "  --path P               the box at path P (as list shows it)\n"
           "  --yes                  restore, update: go ahead without asking\n"
           "  --update-host HOST[:PORT]\n"
           "                         ask this update service (default " +
           QString(buildcfg::kUpdateHost) +
           ")\n"
           "  --count N              monitor: stop after N reports\n"
           "  --interval MS          monitor: poll every MS milliseconds (1 to 60000)\n"
           "  --version              print the version and exit\n"
           "  --help                 print this text (with a command: its help) and exit\n"
           "\n"
           "With several boxes attached and none chosen, commands that only read (info, settings, backup,\n"
           "monitor, check-update) take the first, as the window does; commands that change a box (set,\n"
           "factory-reset, restore, update, flash) refuse and list the boxes. A question (restore onto\n"
           "another box, update) is asked on the terminal; without a terminal and without --yes the command\n"
           "refuses.\n"
           "\n"
           "Calibration file (backup, restore): one JSON object, {\"format\": \"shifter-calibration\",\n"
           "\"version\": 1, \"saved\": UTC TIME, \"box\": {\"model\", \"product_id\", \"serial\", \"firmware\"},\n"
           "\"thresholds\": {\"h1\", \"h2\", \"v1\", \"v2\", \"s1\", \"s2\"}}, each threshold 0 to 255.\n"
           "\n"
           "Exit status:\n"
           "  0    done\n"
           "  1    the box refused, failed or went away, the update service failed, or the output cannot be\n"
           "       written (kinds box, update-service, output)\n"
           "  2    the command line or a file cannot be used, a question was declined or cannot be asked, or\n"
           "       several boxes are attached and none is chosen; nothing was sent (kinds usage, file,\n"
           "       several-boxes)\n"
           "  3    no box was found, or not the chosen one (kind no-box)\n"
           "  130  stopped by Ctrl+C; 143 by a termination request\n"
           "Ctrl+C while firmware is written asks first, since a box stopped halfway waits in its update mode.\n";
}
