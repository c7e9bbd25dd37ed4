#include "Options.h"

bool valid_update_host(const QString& value) {
    const int colon = value.lastIndexOf(':');
    const QString host = colon < 0 ? value : value.left(colon);
    if (host.isEmpty() || host.contains('/') || host.contains(' ')) return false;
    if (colon < 0) return true;
    bool ok = false;
    const int port = value.mid(colon + 1).toInt(&ok);
    return ok && port >= 1 && port <= 65535;
}

Options parse_options(const QStringList& args) {
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--demo") {
            o.demo = true;
        } else if (a == "--version") {
            o.show_version = true;
        } else if (a == "--help" || a == "-h") {
            o.show_help = true;
        } else if (a == "--update-host" || a.startsWith("--update-host=")) {
            QString value;
            if (a == "--update-host") {
                if (i + 1 >= args.size()) {
                    o.error = "--update-host needs a value: HOST or HOST:PORT";
                    return o;
                }
                value = args[++i];
            } else {
                value = a.mid(QString("--update-host=").size());
            }
            if (!valid_update_host(value)) {
                o.error = "--update-host takes HOST or HOST:PORT (port 1 to 65535), not \"" + value + "\"";
                return o;
            }
            o.update_host = value;
        } else {
            o.error = "Unknown argument \"" + a + "\"";
            return o;
        }
    }
    return o;
}

QString usage_text() {
    return "Usage: shiftercal [--demo] [--update-host HOST[:PORT]] [--version] [--help]\n"
           "\n"
           "  --demo                     serve an emulated shifter interface instead of a real box\n"
           "  --update-host HOST[:PORT]  ask this host for firmware updates\n"
           "  --version                  print the version and exit\n"
           "  --help                     print this text and exit\n";
}
