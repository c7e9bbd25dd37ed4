// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
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

// HOST or HOST:PORT, as --update-host takes it: HOST a host name (letters,
// digits, '-' and '.'), an IPv4 address or an IPv6 address in brackets
// ([::1]); PORT plain digits, 1 to 65535. Anything else, blanks and line
// breaks included, would only fail later as a host that does not answer.
bool valid_update_host(const QString& value);

Options parse_options(const QStringList& args);  // args without the program name
QString usage_text();
