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

Options parse_options(const QStringList& args);  // args without the program name
QString usage_text();
