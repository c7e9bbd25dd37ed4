// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// What the command families share over the context: its making, the count of
// arguments, finding the box, questions and how a threshold write ended.
#include "app/shifterctl/Context.h"

#include <QJsonArray>

#include "app/shifterctl/Output.h"
#include "calibration/TerminalText.h"
#include "calibration/Writes.h"
#include "device/Commands.h"

namespace ctl {

Context::Context(device::HidBackend& backend_, QTextStream& out_, QTextStream& err_, CliEnv env_, Request request_)
    : backend(backend_), out(out_), err(err_), env(std::move(env_)), request(std::move(request_)) {
    json = request.has("--json");
    conn.choice.path = request.options.value("--path").toStdString();
    conn.choice.serial = request.options.value("--serial").toStdU16String();
}

int arguments(Context& c, int count, const char* what) {
    if (c.request.arguments.size() == count) return kCliOk;
    if (count == 0) return fail(c, Kind::Usage, "The command " + c.request.command + " takes no arguments.");
    return fail(c, Kind::Usage, "The command " + c.request.command + " needs exactly " + what + ".");
}

int not_found(Context& c) {
    // An accepted box that may not be opened says why (permissions, ...).
    if (c.conn.open_error) return fail(c, Kind::Box, QString::fromStdString(c.conn.open_error.reason));
    if (!c.conn.choice.any()) {
        QStringList chosen;
        if (!c.conn.choice.path.empty()) chosen << "at " + QString::fromStdString(c.conn.choice.path);
        if (!c.conn.choice.serial.empty())
            chosen << "with serial number " + QString::fromStdU16String(c.conn.choice.serial);
        return fail(c, Kind::NoBox,
                    "No box " + chosen.join(" and ") + " was found; run shifterctl list to see the attached boxes.");
    }
    return fail(c, Kind::NoBox, "No box was found; plug it in and try again.");
}

int find_box(Context& c, bool need_application, bool changes) {
    if (changes && c.conn.choice.any()) {
        const std::vector<device::HidDeviceInfo> boxes = device::accepted_boxes(c.backend, c.env.vendor_id);
        if (boxes.size() > 1) {
            QStringList words;
            QJsonArray listed;
            for (const device::HidDeviceInfo& d : boxes) {
                words << box_words(d);
                listed.append(box_json(d));
            }
            return fail(c, Kind::Several,
                        QString("%1 boxes are attached, so choose one with --serial S or --path P: %2.")
                            .arg(boxes.size())
                            .arg(words.join(", ")),
                        {{"boxes", listed}});
        }
    }
    c.session.find(c.backend, c.env.vendor_id);
    const device::BoxClass found = device::classify(c.conn);
    if (found.state == device::BoxState::Absent) return not_found(c);
    if (found.state == device::BoxState::NotServed) return fail(c, Kind::Box, QString::fromStdString(found.sentence));
    if (need_application && found.state == device::BoxState::Bootloader)
        return fail(c, Kind::Box,
                    "The box is in its bootloader, which keeps no thresholds and sends no stick positions; write "
                    "its firmware with shifterctl update or shifterctl flash FILE.");
    return kCliOk;
}

int confirm(Context& c, const QString& question, const QString& declined) {
    if (c.request.has("--yes")) return kCliOk;
    const std::optional<bool> answer =
        c.env.confirm ? c.env.confirm(calibration::terminal_text(question)) : std::nullopt;
    if (!answer)
        return fail(c, Kind::Usage, "The question \"" + question +
                                        "\" cannot be asked, since the input is not a terminal; add --yes to go ahead.");
    if (!*answer) return fail(c, Kind::Usage, declined);
    return kCliOk;
}

calibration::Ask asker(Context& c, int& refusal) {
    return [&c, &refusal](const calibration::Question& q) {
        refusal = confirm(c, QString::fromStdString(q.statement + " " + q.question), "Nothing was written.");
        return refusal == kCliOk;
    };
}

int written(Context& c, const calibration::WriteResult& r, int refusal, const char* key, QJsonObject extra) {
    const QString sentence = QString::fromStdString(r.status.sentence());
    switch (r.status.fault()) {
    case device::Fault::None:
        if (c.json) {
            extra.insert(key, thresholds_json(*r.kept));
            emit_json(c, extra);
        } else {
            c.out << thresholds_line(*r.kept) << Qt::endl;
        }
        return kCliOk;
    case device::Fault::Declined: return refusal;  // confirm() said why
    case device::Fault::OutOfRange: return fail(c, Kind::Usage, sentence);
    case device::Fault::NotKept:
        extra.insert("thresholds", thresholds_json(*r.kept));
        return fail(c, Kind::Box, sentence, extra);
    case device::Fault::Failed: {
        // A sequence that broke off says how to put back what it changed.
        const std::vector<calibration::SettingWrite> undo = r.undo();
        if (undo.empty()) return fail(c, Kind::Box, sentence, extra);
        const QString line = "shifterctl set " + QString::fromStdString(calibration::assignments(undo));
        extra.insert("undo", line);
        return fail(c, Kind::Box, sentence + " To put them back: " + line, extra);
    }
    default: return fail(c, Kind::Box, sentence, extra);
    }
}

}  // namespace ctl
