#include "App.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <memory>

#include "BuildConfig.h"
#include "DemoStick.h"
#include "Dialogs.h"
#include "EmulatedBackend.h"
#include "HidapiBackend.h"
#include "Options.h"
#include "UpdateService.h"
#include "frmMain.h"

int run_app(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const Options options = parse_options(args);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "shiftercal: %s\n\n%s", qPrintable(options.error), qPrintable(usage_text()));
        return 2;
    }
    if (options.show_help) {
        std::fputs(qPrintable(usage_text()), stdout);
        return 0;
    }
    if (options.show_version) {
        std::printf("%s\n", buildcfg::kVersion);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("shiftercal");
    QApplication::setApplicationVersion(buildcfg::kVersion);
    QApplication::setOrganizationName("Vantrel");

    AppConfig config;
    config.vendor_id = buildcfg::kVendorId;
    config.update_host = options.update_host.isEmpty() ? QString(buildcfg::kUpdateHost) : options.update_host;

    std::unique_ptr<device::HidBackend> backend;
    std::unique_ptr<emulator::DemoStick> stick;
    std::unique_ptr<emulator::UpdateService> service;
    if (options.demo) {
        auto emulated = std::make_unique<emulator::EmulatedBackend>();
        emulator::BoxIdentity identity;
        identity.vendor_id = config.vendor_id;
        emulator::BoxModel& box = emulated->add_box(identity);
        stick = std::make_unique<emulator::DemoStick>(box);
        stick->start();
        // The demo's own update service offers the next version, so the whole
        // update can be tried without a box or the internet.
        if (options.update_host.isEmpty()) {
            service = std::make_unique<emulator::UpdateService>(identity.version);
            config.update_host = service->host_port();
            box.version_after_flash = static_cast<std::uint16_t>(service->offered_version().toUInt(nullptr, 16));
        }
        backend = std::move(emulated);
    } else {
        backend = std::make_unique<device::HidapiBackend>();
    }

    MessageBoxDialogs dialogs;
    frmMain window(*backend, dialogs, config);
    window.show();
    return app.exec();
}
