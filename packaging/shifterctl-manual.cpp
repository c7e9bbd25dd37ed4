// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Writes shifterctl's manual page: the sections made from its command table
// (a section per command with its options, the exit status), then the prose
// of a roff file (environment, files, examples, copyright).
//   shifterctl_manual DATE PROSE.man OUT.1
#include <QFile>

#include <cstdio>

#include "app/shifterctl/CommandLine.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("Usage: shifterctl_manual DATE PROSE.man OUT.1\n", stderr);
        return 2;
    }
    QFile prose(QString::fromLocal8Bit(argv[2]));
    if (!prose.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "shifterctl_manual: %s cannot be read\n", argv[2]);
        return 1;
    }
    QFile out(QString::fromLocal8Bit(argv[3]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(ctl::manual_page(QString::fromLocal8Bit(argv[1])).toUtf8() + prose.readAll()) < 0 ||
        !out.flush()) {
        std::fprintf(stderr, "shifterctl_manual: %s cannot be written\n", argv[3]);
        return 1;
    }
    return 0;
}
