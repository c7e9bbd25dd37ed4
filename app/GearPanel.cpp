// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/GearPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* reading_label(const char* name, const char* accessible, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFocusPolicy(Qt::TabFocus);
    label->setAccessibleName(accessible);
    return label;
}

void set_reading(QLabel* label, const QString& text) {
    if (label->text() == text) return;
    label->setText(text);
    label->setAccessibleDescription(text);
}

}  // namespace

GearPanel::GearPanel(const monitor::GraphView& map, QWidget* parent) : QFrame(parent) {
    setObjectName("GearPanel");
    setAccessibleName("Gear view");
    setAccessibleDescription("The colour of each gear on the travel map, and the calibration check: each gear's "
                             "margin to its nearest line, in stick counts.");
    auto* title = new QLabel("Calibration check", this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    suggest_ = new QPushButton("Suggest", this);
    suggest_->setObjectName("cmdSuggest");
    suggest_->setToolTip("Put the thresholds that leave every gear's rest the most room into the threshold boxes "
                         "of this mode; Save calibration stores them.");
    suggest_->setAccessibleName("Suggest thresholds");
    suggest_->setAccessibleDescription(suggest_->toolTip());
    legend_ = new monitor::GearLegend(map, this);
    lines_ = reading_label("lblGearCheck", "Calibration check", this);
    suggestion_ = reading_label("lblSuggestion", "Suggested thresholds", this);
    show_suggestion(std::nullopt);
    auto* head = new QHBoxLayout;
    head->addWidget(title, 1);
    head->addWidget(suggest_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 0, 6, 0);
    column->addLayout(head);
    column->addWidget(legend_);
    column->addWidget(lines_);
    column->addWidget(suggestion_);
    column->addStretch(1);
    show_check({});
}

void GearPanel::show_check(const monitor::GearCheck& check) {
    // A suggestion speaks for the mode it was made in.
    if (suggested_mode_ && *suggested_mode_ != check.sequential) show_suggestion(std::nullopt);
    legend_->set_sequential(check.sequential);
    QStringList lines;
    for (const std::string& line : monitor::gear_lines(check)) lines << QString::fromStdString(line);
    lines << QString::fromStdString(monitor::check_summary(check));
    set_reading(lines_, lines.join('\n'));
}

QString GearPanel::check_text() const { return lines_->text(); }

void GearPanel::show_suggestion(const std::optional<monitor::Suggestion>& suggestion) {
    suggestion_->setVisible(suggestion.has_value());
    suggested_mode_ = suggestion ? std::optional<bool>(suggestion->sequential) : std::nullopt;
    if (!suggestion) {
        set_reading(suggestion_, QString());
        suggestion_->setAccessibleDescription("Each gear's margin now and with the suggested thresholds, once "
                                              "Suggest was pressed.");
        return;
    }
    QStringList lines{"Suggested (margins in counts), in the threshold boxes until you save:"};
    for (const std::string& line : monitor::suggestion_lines(*suggestion)) lines << QString::fromStdString(line);
    set_reading(suggestion_, lines.join('\n'));
}

QString GearPanel::suggestion_text() const { return suggestion_->text(); }
