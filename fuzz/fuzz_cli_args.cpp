// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// shifterctl's command-line reader on arbitrary words (the input split at NUL
// bytes, which no command-line word can hold). A line it accepts names a
// command of the table (or none, when it asks for the version or a completion
// script) and only options the table knows and that command takes, each with
// a value exactly when it takes one, and that value as the line gave it; the
// request written back as words reads as the same request.
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

#include "app/shifterctl/CommandLine.h"
#include "fuzz/FuzzCheck.h"

using namespace ctl;

namespace {

// Whether the line gave `value` to the option: NAME VALUE or NAME=VALUE.
bool given(const QStringList& args, const QString& name, const QString& value) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == name + "=" + value) return true;
        if (args[i] == name && i + 1 < args.size() && args[i + 1] == value) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringList args;
    if (!bytes.isEmpty())
        for (const QByteArray& word : bytes.split('\0')) args << QString::fromUtf8(word);

    const device::Result<Request> r = read_command_line(args);
    if (!r) {
        FUZZ_CHECK(!r.sentence().empty());
        return 0;
    }
    const CommandSpec* command = r->command.isEmpty() ? nullptr : find_command(r->command);
    if (r->command.isEmpty())
        FUZZ_CHECK(r->has("--version") || r->has("--completion"));
    else
        FUZZ_CHECK(command);
    if (command && r->command == "help" && !r->arguments.isEmpty()) FUZZ_CHECK(find_command(r->arguments.front()));
    for (auto it = r->options.cbegin(); it != r->options.cend(); ++it) {
        const OptionSpec* option = find_option(it.key());
        FUZZ_CHECK(option && it.key() == option->name);
        if (command) FUZZ_CHECK(command_takes(*command, it.key()));
        FUZZ_CHECK(it.value().isEmpty() == !option->value);
        if (option->value) FUZZ_CHECK(given(args, it.key(), it.value()));
    }

    const device::Result<Request> again = read_command_line(command_line_words(*r));
    FUZZ_CHECK(again);
    FUZZ_CHECK(*again == *r);
    return 0;
}
