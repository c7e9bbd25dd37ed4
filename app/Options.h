#pragma once
// The command line: --demo, --update-host HOST[:PORT], --version, --help.

#include <QString>
#include <QStringList>

struct Options {
    bool demo = false;
    bool show_version = false;
    bool show_help = false;
    QString update_host;  // empty: the built-in host
    QString error;        // non-empty: the command line was not understood
};

// HOST or HOST:PORT (port 1 to 65535), as --update-host takes it.
bool valid_update_host(const QString& value);

Options parse_options(const QStringList& args);  // args without the program name
QString usage_text();
