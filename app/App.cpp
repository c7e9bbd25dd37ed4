// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/App.h"

#include <QApplication>
#include <QPalette>
#include <QStringList>

#include <cstdio>
#include <memory>

#include "app/Backends.h"
#include "BuildConfig.h"
#include "app/Dialogs.h"
#include "app/Options.h"
#include "emulator/UpdateService.h"
#include "app/frmMain.h"

AppConfig app_config(const Options& options, const BackendChoice& choice) {
    AppConfig config;
    config.vendor_id = buildcfg::kVendorId;
    config.update_host = options.update_host.isEmpty() ? QString(buildcfg::kUpdateHost) : options.update_host;
    if (choice.service) config.update_host = choice.service->host_port();
    config.box_store_folder = choice.box_store_folder();
    return config;
}

namespace {

bool display_available() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // A chosen platform (offscreen, vnc, ...) is the user's word; otherwise
    // the X11 or the Wayland one needs its server.
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("DISPLAY");
#else
    // Windows and macOS always have their desktop.
    return true;
#endif
}

}  // namespace

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

    // Without a display Qt would abort in QApplication's constructor with a
    // message about its platform plug-ins.
    if (!display_available()) {
        std::fputs("shiftercal: The window needs a desktop session to show itself in: run it there "
                   "(or with QT_QPA_PLATFORM=offscreen).\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("shiftercal");
    QApplication::setApplicationVersion(buildcfg::kVersion);
    QApplication::setOrganizationName("Vantrel");
    // The desktop entry the window belongs to (its icon on Wayland).
    QGuiApplication::setDesktopFileName("shiftercal");

    // Not in --help: the window under a dark palette, to check that every text
    // stays readable there.
    if (qEnvironmentVariableIsSet("SHIFTERCAL_DARK_PALETTE")) {
        QApplication::setStyle("Fusion");
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(45, 45, 48));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        dark.setColor(QPalette::Button, QColor(60, 60, 64));
        dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
        dark.setColor(QPalette::ToolTipBase, QColor(70, 60, 20));
        dark.setColor(QPalette::ToolTipText, QColor(255, 240, 200));
        dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
        dark.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
        dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
        QApplication::setPalette(dark);
    }

    BackendChoice choice = choose_backend(options.demo, buildcfg::kVendorId, options.update_host.isEmpty());
    const AppConfig config = app_config(options, choice);

    MessageBoxDialogs dialogs;
    frmMain window(*choice.backend, dialogs, config);
    window.show();
    return app.exec();
}
