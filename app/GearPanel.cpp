// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "GearPanel.h"

#include <QLabel>
#include <QVBoxLayout>

GearPanel::GearPanel(const monitor::GraphView& map, QWidget* parent) : QFrame(parent) {
    setObjectName("GearPanel");
    setAccessibleName("Gear view");
    setAccessibleDescription("The colour of each gear on the travel map, and the calibration check: each gear's "
                             "margin to its nearest line, in stick counts.");
    auto* title = new QLabel("Calibration check", this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    legend_ = new monitor::GearLegend(map, this);
    lines_ = new QLabel(this);
    lines_->setObjectName("lblGearCheck");
    lines_->setTextFormat(Qt::PlainText);
    lines_->setWordWrap(true);
    lines_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lines_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lines_->setFocusPolicy(Qt::TabFocus);
    lines_->setAccessibleName("Calibration check");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 0, 6, 0);
    column->addWidget(title);
    column->addWidget(legend_);
    column->addWidget(lines_, 1);
    show_check({});
}

void GearPanel::show_check(const monitor::GearCheck& check) {
    legend_->set_sequential(check.sequential);
    QStringList lines;
    for (const std::string& line : monitor::gear_lines(check)) lines << QString::fromStdString(line);
    if (lines.isEmpty())
        lines << "Move the stick through every gear: each gear's margin to its lines shows here.";
    else
        lines << (check.any_at_risk() ? QString("A gear closer than %1 counts to a line may drop out or flicker.")
                                            .arg(check.limit)
                                      : QString("Every gear sits at least %1 counts inside its lines.").arg(check.limit));
    const QString text = lines.join('\n');
    if (lines_->text() == text) return;
    lines_->setText(text);
    lines_->setAccessibleDescription(text);
}

QString GearPanel::check_text() const { return lines_->text(); }
