// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Options.h"

#include <QUrl>

namespace {

bool ascii_digit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

bool all_digits(QStringView text) {
    for (const QChar c : text)
        if (!ascii_digit(c)) return false;
    return !text.isEmpty();
}

// Four decimal numbers 0..255 without leading zeros: some resolvers read
// "010" as octal.
bool ipv4_address(QStringView text) {
    const QList<QStringView> parts = text.split(u'.');
    if (parts.size() != 4) return false;
    for (const QStringView part : parts)
        if (!all_digits(part) || part.size() > 3 || (part.size() > 1 && part[0] == u'0') || part.toInt() > 255)
            return false;
    return true;
}

// Labels of letters, digits and '-' (not at either end), 1 to 63 long, 253 in
// all. A name whose last label is all digits is no name but an IPv4 address,
// and must be a whole one: resolvers take "127.1" and even "2130706433" for
// 127.0.0.1.
bool host_name_or_ipv4(QStringView text) {
    if (text.isEmpty() || text.size() > 253) return false;
    const QList<QStringView> labels = text.split(u'.');
    for (const QStringView label : labels) {
        if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-') return false;
        for (const QChar c : label)
            if (!ascii_digit(c) && !(c.unicode() >= 'a' && c.unicode() <= 'z') &&
                !(c.unicode() >= 'A' && c.unicode() <= 'Z') && c != u'-')
                return false;
    }
    return !all_digits(labels.back()) || ipv4_address(text);
}

// Between the brackets: hexadecimal groups and colons (and an IPv4 tail), as
// a URL's host takes them; no zone, which a URL cannot carry.
bool ipv6_address(QStringView text) {
    if (text.isEmpty()) return false;
    for (const QChar c : text)
        if (!ascii_digit(c) && !(c.toLower().unicode() >= 'a' && c.toLower().unicode() <= 'f') && c != u':' &&
            c != u'.')
            return false;
    const QUrl url("http://[" + text.toString() + "]/", QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

bool port_number(QStringView text) {
    return all_digits(text) && text.size() <= 5 && text.toInt() >= 1 && text.toInt() <= 65535;
}

}  // namespace

bool valid_update_host(const QString& value) {
    const QStringView v(value);
    QStringView host = v;
    QStringView rest;
    if (v.startsWith(u'[')) {
        const qsizetype close = v.indexOf(u']');
        if (close < 0 || !ipv6_address(v.mid(1, close - 1))) return false;
        rest = v.mid(close + 1);
    } else {
        const qsizetype colon = v.indexOf(u':');
        host = colon < 0 ? v : v.left(colon);
        rest = colon < 0 ? QStringView() : v.mid(colon);
        if (!host_name_or_ipv4(host)) return false;
    }
    if (rest.isEmpty()) return true;
    return rest.front() == u':' && port_number(rest.mid(1));
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
