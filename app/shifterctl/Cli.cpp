// Runs one command line: --help and --version, then the command the line names.
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <thread>

#include "BuildConfig.h"
#include "CliRunner.h"
#include "Options.h"

namespace ctl {

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
    out_ << command_help_text(*entry);
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
