// Output and errors: the status and kind of each failure, how a box, its
// version and its thresholds are written, questions and progress.
#include <QJsonArray>
#include <algorithm>

#include "CliRunner.h"
#include "Products.h"
#include "Readout.h"
#include "UpdateQuery.h"

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

QString caption(std::uint16_t version) {
    return QString::fromStdString(calibration::version_caption(version)).trimmed();
}

QString model(std::uint16_t product_id) {
    const device::ProductInfo* p = device::find_product(product_id);
    return p ? QString(p->name) : QString("unknown");
}

QString thresholds_line(const device::Thresholds& t) {
    return QString("h1=%1 h2=%2 v1=%3 v2=%4 s1=%5 s2=%6").arg(t.h1).arg(t.h2).arg(t.v1).arg(t.v2).arg(t.s1).arg(t.s2);
}

QJsonObject thresholds_json(const device::Thresholds& t) {
    QJsonObject o;
    for (int i = 0; i < device::kSettingCount; ++i) o.insert(device::setting_name(i), t.get(i));
    return o;
}

QJsonObject box_json(const device::HidDeviceInfo& d) {
    return {{"path", QString::fromStdString(d.path)},
            {"product_id", hex4(d.attributes.product_id)},
            {"model", model(d.attributes.product_id)},
            {"version", caption(d.attributes.version_number)}};
}

QString box_words(const device::HidDeviceInfo& d) {
    return QString::fromStdString(d.path) + " (" + model(d.attributes.product_id) + " " +
           caption(d.attributes.version_number) + ")";
}

// The box's version as the update service writes versions: 0x0106 is "1.06".
QString service_version(std::uint16_t version) { return update::version_display(update::hex16(version)); }

// A count or a time in milliseconds: plain digits, within limits.
std::optional<int> parse_count(const QString& text, int minimum, int maximum) {
    if (text.isEmpty() || text.size() > 9) return std::nullopt;
    for (QChar c : text)
        if (c < '0' || c > '9') return std::nullopt;
    const int value = text.toInt();
    if (value < minimum || value > maximum) return std::nullopt;
    return value;
}

int Cli::confirm(const QString& question, const QString& declined) {
    if (r_.has("--yes")) return kCliOk;
    const std::optional<bool> answer = env_.confirm ? env_.confirm(question) : std::nullopt;
    if (!answer)
        return fail(Kind::Usage, "shifterctl cannot ask \"" + question +
                                     "\" because its input is not a terminal; add --yes to go ahead.");
    if (!*answer) return fail(Kind::Usage, declined);
    return kCliOk;
}

calibration::Ask Cli::asker(int& refusal) {
    return [this, &refusal](const calibration::Question& q) {
        refusal = confirm(QString::fromStdString(q.statement + " " + q.question), "Nothing was written.");
        return refusal == kCliOk;
    };
}

int Cli::written(const calibration::WriteResult& r, int refusal, const char* key, QJsonObject extra) {
    const QString sentence = QString::fromStdString(r.status.sentence());
    switch (r.status.fault()) {
    case device::Fault::None:
        if (json_) {
            extra.insert(key, thresholds_json(*r.kept));
            emit_json(extra);
        } else {
            out_ << thresholds_line(*r.kept) << Qt::endl;
        }
        return kCliOk;
    case device::Fault::Declined: return refusal;  // confirm() said why
    case device::Fault::OutOfRange: return fail(Kind::Usage, sentence);
    case device::Fault::NotKept: extra.insert("thresholds", thresholds_json(*r.kept)); return fail(Kind::Box, sentence, extra);
    case device::Fault::Failed: {
        // A sequence that broke off says how to put back what it changed.
        const std::vector<calibration::SettingWrite> undo = r.undo();
        if (undo.empty()) return fail(Kind::Box, sentence, extra);
        const QString line = "shifterctl set " + QString::fromStdString(calibration::assignments(undo));
        extra.insert("undo", line);
        return fail(Kind::Box, sentence + " To put them back: " + line, extra);
    }
    default: return fail(Kind::Box, sentence, extra);
    }
}

void Cli::show_percent(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (env_.output_is_terminal && !json_) {
        if (percent <= shown_) return;
        shown_ = percent;
        out_ << '\r' << QString("%1%").arg(percent, 3) << Qt::flush;
        return;
    }
    const int step = percent / 10 * 10;
    if (step <= shown_) return;
    shown_ = step;
    if (json_)
        emit_json({{"progress", step}});
    else
        out_ << step << '%' << Qt::endl;
}

void Cli::end_percent() {
    if (env_.output_is_terminal && !json_ && shown_ >= 0) out_ << Qt::endl;
}

}  // namespace ctl
