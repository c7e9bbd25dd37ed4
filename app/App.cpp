#include "App.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <memory>

#include "Backends.h"
#include "BuildConfig.h"
#include "Dialogs.h"
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

    BackendChoice choice = choose_backend(options.demo, config.vendor_id, options.update_host.isEmpty());
    if (choice.service) config.update_host = choice.service->host_port();

    MessageBoxDialogs dialogs;
    frmMain window(*choice.backend, dialogs, config);
    window.show();
    return app.exec();
}
