// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one command line: --help and --version, then the command the line names.
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <thread>

#include "BuildConfig.h"
#include "app/shifterctl/CliRunner.h"
#include "app/Options.h"
#include "calibration/TerminalText.h"

namespace ctl {

int Cli::dispatch() {
    using Handler = int (Cli::*)();
    const std::pair<const char*, Handler> handlers[] = {
        {"list", &Cli::list},         {"info", &Cli::info},       {"settings", &Cli::settings},
        {"set", &Cli::set},           {"factory-reset", &Cli::factory_reset},
        {"backup", &Cli::backup},     {"restore", &Cli::restore}, {"monitor", &Cli::monitor},
        {"gears", &Cli::gears},
        {"flash", &Cli::flash},       {"check-update", &Cli::check_update},
        {"update", &Cli::update},     {"help", &Cli::help},
    };
    host_ = env_.update_host;
    if (r_.has("--update-host")) {
        host_ = r_.options.value("--update-host");
        if (!valid_update_host(host_))
            return fail(Kind::Usage, "--update-host takes HOST or HOST:PORT (port 1 to 65535), not \"" + host_ + "\".");
    }
    for (const auto& [name, handler] : handlers)
        if (r_.command == name) return (this->*handler)();
    return fail(Kind::Usage, "The command " + r_.command + " is in the table but has no handler.");
}

// Within 80 columns, or within a terminal's width; on a wide terminal no
// wider than 100, past which lines of prose are hard to follow.
int Cli::help_width() const { return env_.columns > 0 ? std::clamp(env_.columns, 40, 100) : 80; }

int Cli::help() {
    if (r_.arguments.size() > 1) return fail(Kind::Usage, "The command help takes at most one COMMAND.");
    if (r_.arguments.isEmpty())
        out_ << usage_text(help_width());
    else
        out_ << command_help_text(*find_command(r_.arguments.front()), help_width());
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
    Cli cli(backend, out, err, std::move(env), *r);
    return cli.run();
}
