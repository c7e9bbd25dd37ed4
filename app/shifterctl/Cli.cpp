// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one command line: --help and --version, then the command the line names.
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <thread>

#include "BuildConfig.h"
#include "app/shifterctl/Commands.h"
#include "app/shifterctl/Context.h"
#include "app/shifterctl/Output.h"
#include "app/Options.h"
#include "calibration/TerminalText.h"

namespace ctl {

Handler handler(CommandId id) {
    switch (id) {
    case CommandId::List: return box::list;
    case CommandId::Info: return box::info;
    case CommandId::Settings: return box::settings;
    case CommandId::Set: return box::set;
    case CommandId::FactoryReset: return box::factory_reset;
    case CommandId::Backup: return file::backup;
    case CommandId::Restore: return file::restore;
    case CommandId::Monitor: return box::monitor;
    case CommandId::Gears: return gears;
    case CommandId::CheckUpdate: return firmware::check_update;
    case CommandId::Update: return firmware::update;
    case CommandId::Flash: return firmware::flash;
    case CommandId::Help: return help;
    }
    return nullptr;
}

namespace {

// Within 80 columns, or within a terminal's width; on a wide terminal no
// wider than 100, past which lines of prose are hard to follow.
int help_width(const Context& c) { return c.env.columns > 0 ? std::clamp(c.env.columns, 40, 100) : 80; }

// The command's status; a command that did its work but whose output did
// not get out has failed all the same.
int run(Context& c) {
    int status = kCliOk;
    if (c.request.has("--update-host")) {
        c.update_host = c.request.options.value("--update-host");
        if (!valid_update_host(c.update_host))
            status = fail(c, Kind::Usage,
                          "--update-host takes HOST or HOST:PORT (port 1 to 65535), not \"" + c.update_host + "\".");
    }
    if (status == kCliOk) status = handler(find_command(c.request.command)->id)(c);
    if (const device::Status& kept = c.session.store_status(); !kept)
        say(c, "shifterctl: warning: " + QString::fromStdString(kept.sentence()));
    c.out.flush();
    return status == kCliOk && c.out.status() != QTextStream::Ok ? output_failed(c) : status;
}

}  // namespace

int help(Context& c) {
    const QStringList& arguments = c.request.arguments;
    if (arguments.size() > 1) return fail(c, Kind::Usage, "The command help takes at most one COMMAND.");
    if (arguments.isEmpty())
        c.out << usage_text(help_width(c));
    else
        c.out << command_help_text(*find_command(arguments.front()), help_width(c));
    return kCliOk;
}

}  // namespace ctl

using namespace ctl;

int run_cli(const QStringList& args, device::HidBackend& backend, QTextStream& out, QTextStream& err, CliEnv env) {
    if (!env.pause) env.pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    if (!env.stops) env.stops = [] { return CliStops{}; };
    if (env.update_host.isEmpty()) env.update_host = buildcfg::kUpdateHost;
    const bool json = !option_before_separator(args, "--json").isEmpty();
    const auto usage_error = [&](const QString& sentence) {
        // The sentence may quote the user's words: nothing in them may act on
        // the terminal, as on the other error path.
        err << "shifterctl: " << calibration::terminal_text(sentence) << Qt::endl;
        if (json) out << json_text(QJsonDocument(QJsonObject{{"error", sentence}, {"kind", "usage"}})) << Qt::endl;
        return kCliUsage;
    };
    const device::Result<Request> r = read_command_line(args);
    if (!r) return usage_error(QString::fromStdString(r.sentence()));
    if (r->has("--version")) {
        out << "shifterctl " << buildcfg::kVersion << Qt::endl;
        return kCliOk;
    }
    if (r->has("--completion")) {
        const QString shell = r->options.value("--completion");
        const QString script = completion_script(shell);
        if (script.isEmpty()) return usage_error("--completion takes bash, zsh or fish, not \"" + shell + "\".");
        out << script << Qt::flush;
        return kCliOk;
    }
    Context c(backend, out, err, std::move(env), *r);
    c.update_host = c.env.update_host;
    return run(c);
}
