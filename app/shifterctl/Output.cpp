// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// Output and errors: the status and kind of each failure, how a box, its
// version and its thresholds are written, and progress.
#include "app/shifterctl/Output.h"

#include <QJsonArray>
#include <algorithm>

#include "app/shifterctl/Context.h"
#include "calibration/TerminalText.h"
#include "device/Products.h"
#include "calibration/Words.h"

namespace ctl {

int status_of(Kind kind) {
    switch (kind) {
    case Kind::Usage:
    case Kind::File:
    case Kind::Several: return kCliUsage;
    case Kind::Box:
    case Kind::Service:
    case Kind::Output: return kCliBoxProblem;
    case Kind::NoBox: return kCliNoBox;
    }
    return kCliBoxProblem;
}

const char* kind_name(Kind kind) {
    switch (kind) {
    case Kind::Usage: return "usage";
    case Kind::File: return "file";
    case Kind::Several: return "several-boxes";
    case Kind::Box: return "box";
    case Kind::Service: return "update-service";
    case Kind::Output: return "output";
    case Kind::NoBox: return "no-box";
    }
    return "box";
}

QString hex4(std::uint16_t value) { return QString("%1").arg(value, 4, 16, QChar('0')).toUpper(); }

QString version_text(std::uint16_t version) { return calibration::version_text(version); }

void insert_version(QJsonObject& o, const QString& key, std::uint16_t version) {
    o.insert(key, version_text(version));
    o.insert(key + "_number", version);
}

QString model(std::uint16_t product_id) { return calibration::model_name(product_id); }

QString thresholds_line(const device::Thresholds& t) { return QString::fromStdString(calibration::thresholds_line(t)); }

QJsonObject thresholds_json(const device::Thresholds& t) {
    QJsonObject o;
    for (int i = 0; i < device::kSettingCount; ++i) o.insert(device::setting_name(i), t.get(i));
    return o;
}

QJsonObject box_json(const device::HidDeviceInfo& d) {
    QJsonObject o{{"path", QString::fromStdString(d.path)},
                  {"product_id", hex4(d.attributes.product_id)},
                  {"model", model(d.attributes.product_id)},
                  {"serial", QString::fromStdU16String(d.serial)}};
    insert_version(o, "version", d.attributes.version_number);
    return o;
}

QString box_words(const device::HidDeviceInfo& d) {
    // Two boxes of one model differ only in path and serial number.
    const QString serial = d.serial.empty() ? QString(", no serial number")
                                            : ", serial number " + QString::fromStdU16String(d.serial);
    return QString::fromStdString(d.path) + " (" + model(d.attributes.product_id) + " " +
           version_text(d.attributes.version_number) + serial + ")";
}

QByteArray json_text(const QJsonDocument& doc) {
    // Outside strings JSON is ASCII, and Qt already writes C0 controls as
    // escapes; what is left to escape can only stand inside a string.
    const QString text = QString::fromUtf8(doc.toJson(QJsonDocument::Compact));
    QString safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode());
        const char32_t c = pair ? QChar::surrogateToUcs4(u, text[i + 1].unicode()) : u;
        const QString units = text.mid(i, pair ? 2 : 1);
        if (pair) ++i;
        if (c < 0x20 || !calibration::hidden_on_terminal(c)) {
            safe += units;
            continue;
        }
        // The same JSON value, as \u escapes (a pair for a character past the
        // first plane).
        for (const QChar unit : units) safe += QString("\\u%1").arg(unit.unicode(), 4, 16, QChar('0'));
    }
    return safe.toUtf8();
}

// A count or a time in milliseconds: plain digits, within limits.
std::optional<int> parse_count(const QString& text, int minimum, int maximum) {
    if (text.isEmpty() || text.size() > 9) return std::nullopt;
    for (QChar c : text)
        if (c < '0' || c > '9') return std::nullopt;
    const int value = text.toInt();
    if (value < minimum || value > maximum) return std::nullopt;
    return value;
}

int fail(Context& c, Kind kind, const QString& sentence, QJsonObject extra) {
    say(c, "shifterctl: " + sentence);
    if (c.json) {
        extra.insert("error", sentence);
        extra.insert("kind", kind_name(kind));
        emit_json(c, extra);
    }
    return status_of(kind);
}

void say(Context& c, const QString& line) {
    end_percent(c);
    // A sentence may carry a box's string, a file's name or a service's
    // words: nothing in them may act on the terminal.
    c.err << calibration::terminal_text(line) << Qt::endl;
}

void emit_json(Context& c, const QJsonObject& o) { c.out << json_text(QJsonDocument(o)) << Qt::endl; }

int output_failed(Context& c) {
    if (c.env.output_gone && c.env.output_gone()) return kCliOutputGone;
    return fail(c, Kind::Output, "The output cannot be written, so shifterctl stopped.");
}

void show_percent(Context& c, int percent) {
    percent = std::clamp(percent, 0, 100);
    if (c.env.progress_in_place) {
        if (percent <= c.progress.shown) return;
        c.progress.shown = percent;
        c.err << '\r' << QString("%1%").arg(percent, 3) << Qt::flush;
        c.progress.line_open = true;
        return;
    }
    const int step = percent / 10 * 10;
    if (step <= c.progress.shown) return;
    c.progress.shown = step;
    c.err << step << '%' << Qt::endl;
}

void end_percent(Context& c) {
    if (!c.progress.line_open) return;
    c.err << Qt::endl;
    c.progress.line_open = false;
}

}  // namespace ctl
