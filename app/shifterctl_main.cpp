// shifterctl: the command-line companion of the window, over the same backend.
// A QCoreApplication only, so that it runs without a display.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <memory>

#include "BuildConfig.h"
#include "Cli.h"
#include "DemoStick.h"
#include "EmulatedBackend.h"
#include "HidapiBackend.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) { interrupted = 1; }

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("shifterctl");
    QCoreApplication::setApplicationVersion(buildcfg::kVersion);
    const QStringList args = QCoreApplication::arguments().mid(1);

    std::unique_ptr<device::HidBackend> backend;
    std::unique_ptr<emulator::DemoStick> stick;  // goes before the box it moves
    if (cli_wants_demo(args)) {
        auto emulated = std::make_unique<emulator::EmulatedBackend>();
        emulator::BoxIdentity identity;
        identity.vendor_id = buildcfg::kVendorId;
        stick = std::make_unique<emulator::DemoStick>(emulated->add_box(identity));
        stick->start();
        backend = std::move(emulated);
    } else {
        backend = std::make_unique<device::HidapiBackend>();
    }

    // Ctrl+C ends the monitor through its loop, so the box is let go properly.
    std::signal(SIGINT, on_interrupt);

    CliEnv env;
    env.vendor_id = buildcfg::kVendorId;
    // The event loop runs during every wait: the demo stick moves on a timer.
    env.pause = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    env.stop_requested = [] { return interrupted != 0; };

    QTextStream out(stdout);
    QTextStream err(stderr);
    return run_cli(args, *backend, out, err, std::move(env));
}
