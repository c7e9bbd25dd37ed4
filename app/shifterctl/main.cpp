// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// shifterctl: the command-line companion of the window, over the same backend.
// A QCoreApplication only, so that it runs without a display.
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <memory>

#include <cstdio>
#include <optional>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "app/Backends.h"
#include "BuildConfig.h"
#include "app/shifterctl/Cli.h"
#include "emulator/UpdateService.h"

namespace {

// Set from the handlers, read by the command's loops. Lock-free atomics are
// all a signal handler may touch.
std::atomic<int> stop_count{0};
std::atomic<int> stop_status{0};
static_assert(std::atomic<int>::is_always_lock_free);

#ifdef _WIN32
// Runs on a thread of its own that the console starts for the event.
BOOL WINAPI on_console_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    stop_status = 128 + SIGINT;
    ++stop_count;
    return TRUE;
}

void catch_stops() { SetConsoleCtrlHandler(on_console_event, TRUE); }
#else
void on_stop_signal(int signal) {
    stop_status = 128 + signal;
    ++stop_count;
}

void catch_stops() {
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // One handler at a time, whichever of the two comes.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that goes away would kill the process with the box still
    // believing a tool holds it; as a failed write the command lets the box go
    // and ends quietly with the status the signal would have given.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}
#endif

// The width the help is wrapped to: COLUMNS when it is set (as ls and others
// take it), else the terminal's, else 0 (none: 80).
int output_columns() {
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    if (ok && columns > 0) return columns;
    if (!isatty(fileno(stdout))) return 0;
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size = {};
    return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
#endif
}

// Whether the reader of the standard output has gone away: a pipe or socket
// whose other end is closed reports an error or a hang-up when polled.
bool output_gone() {
#ifdef _WIN32
    // A closed pipe is then reported as an output that cannot be written.
    return false;
#else
    pollfd p = {STDOUT_FILENO, 0, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("shifterctl");
    QCoreApplication::setApplicationVersion(buildcfg::kVersion);
    const QStringList args = QCoreApplication::arguments().mid(1);

    // With --demo, check-update and update ask the demo's own update service.
    const bool demo = cli_wants_demo(args);
    BackendChoice choice = choose_backend(demo, buildcfg::kVendorId, demo && cli_wants_update_service(args));
    // The demo's box keeps its calibration in a store of its own.

    // Ctrl+C and termination requests end the commands through their loops,
    // so the box is let go properly.
    catch_stops();

    CliEnv env;
    env.store_folder = choice.box_store_folder();
    env.vendor_id = buildcfg::kVendorId;
    // The event loop runs during every wait: the demo stick moves on a timer.
    // A stop request ends the wait early, so a monitor polling once a minute
    // still stops at once.
    env.pause = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        const int seen = stop_count;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &loop, [&loop, seen] {
            if (stop_count != seen) loop.quit();
        });
        watch.start(20);
        loop.exec();
    };
    env.stops = [] { return CliStops{stop_count, stop_status}; };
    env.update_host = choice.service ? choice.service->host_port() : QString(buildcfg::kUpdateHost);
    // Progress shares the standard error with questions and warnings.
    env.progress_in_place = isatty(fileno(stderr));
    env.output_is_terminal = isatty(fileno(stdout));
    env.columns = output_columns();
    env.output_gone = output_gone;
    QTextStream in(stdin);
    env.confirm = [&in](const QString& question) -> std::optional<bool> {
        if (!isatty(fileno(stdin))) return std::nullopt;
        QTextStream ask(stderr);
        ask << question << " [y/N] " << Qt::flush;
        const QString answer = in.readLine().trimmed().toLower();
        return answer == "y" || answer == "yes";
    };

    QFile input;
    if (input.open(stdin, QIODevice::ReadOnly)) env.input = &input;

    QTextStream out(stdout);
    QTextStream err(stderr);
    return run_cli(args, *choice.backend, out, err, std::move(env));
}
