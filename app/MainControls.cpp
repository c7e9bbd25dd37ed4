// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainControls.h"

#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>

#include <cstring>
#include <variant>

#include "app/Design.h"
#include "app/KeptButton.h"
#include "app/ThresholdBox.h"
#include "app/ValueLabel.h"
#include "app/WindowIcon.h"
#include "app/WindowLayout.h"

// The window's design: every control with its design name, caption and place,
// what a screen reader says of it, and the keyboard's order.

namespace {

// Where each control of the design table is kept.
using Slot = std::variant<QPushButton* MainControls::*, QLineEdit* MainControls::*, QLabel* MainControls::*,
                          QWidget* MainControls::*>;

const Slot& slot_of(const design::Control& c) {
    struct Member {
        const char* name;
        Slot slot;
    };
    static const Member members[] = {
        {"cmd_auto_cal", &MainControls::cmd_auto_cal},     {"cmd_factory_reset", &MainControls::cmd_factory_reset},
        {"Pic", &MainControls::Pic},                       {"Progress", &MainControls::Progress},
        {"cmd_CheckFirmware", &MainControls::cmd_CheckFirmware}, {"btnUpdate", &MainControls::btnUpdate},
        {"Text10", &MainControls::Text10},                 {"Text9", &MainControls::Text9},
        {"Text8", &MainControls::Text8},                   {"Text7", &MainControls::Text7},
        {"lblSerialNumber", &MainControls::lblSerialNumber}, {"lblVersion", &MainControls::lblVersion},
        {"lblProduct", &MainControls::lblProduct},         {"lblManuf", &MainControls::lblManuf},
        {"Label2", &MainControls::Label2},                 {"Label5", &MainControls::Label5},
        {"Label4", &MainControls::Label4},                 {"Label3", &MainControls::Label3},
        {"Gear", &MainControls::Gear},                     {"TickV2", &MainControls::TickV2},
        {"TickV1", &MainControls::TickV1},                 {"TickH1", &MainControls::TickH1},
        {"TickH2", &MainControls::TickH2},                 {"lblY", &MainControls::lblY},
        {"lblX", &MainControls::lblX},                     {"lblNotice", &MainControls::lblNotice},
        {"lblSaved", &MainControls::lblSaved},             {"cmd_StopDownload", &MainControls::cmd_StopDownload},
        {"lblProgress", &MainControls::lblProgress},       {"lblMode", &MainControls::lblMode},
        {"lblName9", &MainControls::lblName9},             {"lblName10", &MainControls::lblName10},
        {"lblName7", &MainControls::lblName7},             {"lblName8", &MainControls::lblName8},
    };
    for (const Member& m : members)
        if (std::strcmp(m.name, c.name) == 0) return m.slot;
    qFatal("The design's control %s has no member in the window", c.name);
}

using layout::Anchor;

using design::Kind;

// The containers a control can sit in.
struct Containers {
    QWidget* area;   // the design area
    QWidget* frame;  // the information frame
    QWidget* pic;    // the progress frame
};

QWidget* make_control(const design::Control& c, const Containers& in) {
    QWidget* w = nullptr;
    switch (c.kind) {
    case Kind::Button: {
        auto* b = new KeptButton(c.caption, in.area);
        // Enter presses the focused button, as Space does.
        b->setAutoDefault(true);
        w = b;
        break;
    }
    case Kind::Text: w = new ThresholdBox(c.caption, in.area); break;
    case Kind::Label:
    case Kind::Value:
    case Kind::FrameLabel: {
        QLabel* l = c.kind == Kind::Value ? new ValueLabel(in.area)
                                          : new QLabel(c.kind == Kind::Label ? in.area : in.frame);
        // Whatever a label shows, from the box or the update service too,
        // shows as the characters it is: never as markup or a picture.
        l->setTextFormat(Qt::PlainText);
        l->setText(c.caption);
        w = l;
        break;
    }
    case Kind::Marker: {
        w = new QWidget(in.area);
        w->setAutoFillBackground(true);
        QPalette p = w->palette();
        p.setColor(QPalette::Window, QColor(255, 0, 0));  // red
        w->setPalette(p);
        w->hide();
        break;
    }
    case Kind::Frame: {
        // The update's progress frame: visible as an empty box while the image
        // is fetched and the box restarts, filled by the bar while it is written.
        auto* f = new QFrame(in.area);
        f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        f->setLineWidth(1);
        f->setAutoFillBackground(true);
        f->hide();
        w = f;
        break;
    }
    case Kind::Bar: {
        w = new QWidget(in.pic);  // made right after its frame
        w->setAutoFillBackground(true);
        // The desktop's colour for a selection, as progress bars have it.
        w->setBackgroundRole(QPalette::Highlight);
        w->hide();
        break;
    }
    }
    w->setObjectName(c.name);
    w->setAccessibleName(c.accessible_name);
    w->setAccessibleDescription(c.description);
    w->setGeometry(layout::px(c.place));
    return w;
}


}  // namespace

void MainControls::build(QWidget* window) {
    window->setWindowIcon(window_icon());
    window->resize(layout::WindowLayout::design_size());
    window->setMinimumSize(layout::WindowLayout::minimum_size());
    // The design area scrolls only on a screen too small for it; otherwise it
    // fills the window, and at the design size its controls are where the
    // design puts them, relative to the window.
    scroll_area = new QScrollArea(window);
    scroll_area->setFrameShape(QFrame::NoFrame);
    scroll_area->setFocusPolicy(Qt::NoFocus);
    scroll_area->setWidgetResizable(true);
    scroll_area->viewport()->setBackgroundRole(QPalette::Window);
    design_area = new QWidget;
    design_area->setMinimumSize(layout::WindowLayout::minimum_size());
    scroll_area->setWidget(design_area);
    scroll_area->setGeometry(window->rect());
    design_area->setGeometry(window->rect());

    Frame1 = new QGroupBox("Information", design_area);
    Frame1->setObjectName("Frame1");
    Frame1->setGeometry(layout::px(design::kFrame1));
    Frame1->setEnabled(false);
    Graph = new monitor::GraphView(design_area);
    Graph->setObjectName("Graph");
    Graph->setGeometry(layout::px(design::kGraph));
    const std::pair<monitor::GraphLine* MainControls::*, monitor::GraphLine*> lines[] = {
        {&MainControls::lineV1, Graph->line_h1}, {&MainControls::lineV2, Graph->line_h2},
        {&MainControls::lineH1, Graph->line_v2}, {&MainControls::LineH2, Graph->line_v1},
        {&MainControls::SeqH1, Graph->line_s2},  {&MainControls::SeqH2, Graph->line_s1}};
    const char* const line_names[] = {"lineV1", "lineV2", "lineH1", "LineH2", "SeqH1", "SeqH2"};
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        this->*lines[i].first = lines[i].second;
        lines[i].second->setObjectName(line_names[i]);
    }
    Timer = new QTimer(window);
    Timer->setObjectName("Timer");

    for (const design::Control& c : design::controls()) {
        QWidget* w = make_control(c, {design_area, Frame1, Pic});
        std::visit([this, w](auto member) { this->*member = static_cast<std::remove_reference_t<decltype(this->*member)>>(w); },
                   slot_of(c));
    }
    for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(false);
    QFont gear_font("Arial", 48);
    gear_font.setBold(true);
    Gear->setFont(gear_font);
    Gear->setAlignment(Qt::AlignCenter);
    lblY->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblX->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblNotice->setWordWrap(true);
    lblNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblNotice->hide();
    lblProgress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblProgress->hide();
    cmd_StopDownload->hide();
    Frame1->setAccessibleName("Information");
    Frame1->setAccessibleDescription("Manufacturer, product name, firmware version and serial number of the box.");
    Graph->setAccessibleName("Travel map");
    Graph->setAccessibleDescription("The stick's travel with the threshold lines of the mode the box reports.");

    // The box's values can be selected and copied from the keyboard too.
    for (QLabel* l : {lblManuf, lblProduct, lblVersion, lblSerialNumber}) {
        l->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        l->setFocusPolicy(Qt::TabFocus);
    }
    lblName9->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblName10->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblName7->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblName8->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblMode->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The map takes the keyboard where typing changes nothing; a click on it
    // leaves a box, which commits what was typed there.
    Graph->setFocusPolicy(Qt::StrongFocus);
    // The window itself holds the keyboard while no box is shown.
    window->setFocusPolicy(Qt::ClickFocus);
    name_value_labels();

    chkGearView = new MnemonicCheckBox("Gear view", design_area);
    chkGearView->setObjectName("chkGearView");
    chkGearView->setAccessibleName("Gear view");
    chkGearView->setAccessibleDescription(
        "Colours the travel map by the gear the box decoded at each point and shows the calibration check: "
        "each gear's margin to its nearest line.");

    // Tab runs in the design's order: the thresholds, Save, the box's values,
    // the map, then the other buttons; the controls added to the design take
    // the turn of the place they stand in (the gear view's switch beside h2's
    // box, Stop where the progress frame is).
    QWidget* const order[] = {Text9,     Text10,   chkGearView, Text7,      Text8,
                              btnUpdate, lblManuf, lblProduct,  lblVersion, lblSerialNumber,
                              Graph,     cmd_CheckFirmware, cmd_StopDownload, cmd_factory_reset, cmd_auto_cal};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);

    // Alt and a letter of the caption presses a button, as the underlined
    // letter shows; the captions themselves stay as they are. C stays with
    // the calibration button as it turns into "Cancel calibration".
    const std::pair<QAbstractButton*, QChar> keys[] = {{btnUpdate, 'S'},         {cmd_auto_cal, 'C'},
                                                       {cmd_CheckFirmware, 'L'}, {cmd_factory_reset, 'R'},
                                                       {cmd_StopDownload, 'T'},  {chkGearView, 'G'}};
    for (const auto& key_of : keys) {
        QAbstractButton* button = key_of.first;
        const QChar letter = key_of.second;
        if (auto* b = qobject_cast<KeptButton*>(button)) b->set_mnemonic(letter);
        if (auto* b = qobject_cast<MnemonicCheckBox*>(button)) b->set_mnemonic(letter);
        auto* key = new QShortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(letter.unicode())), window);
        key->setObjectName(QString("alt") + letter);
        QObject::connect(key, &QShortcut::activated, button, [button] {
            if (button->isEnabled() && button->isVisible()) button->click();
        });
    }
    // Ctrl+Q closes the window, as any close does (Command+Q on a Mac).
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), window);
    QObject::connect(quit, &QShortcut::activated, window, &QWidget::close);
}

void MainControls::lay_out(int panel_width) const {
    const layout::WindowLayout at(design_area->size(), panel_width);
    for (const design::Control& c : design::controls()) {
        if (c.anchor == Anchor::Inside) continue;
        QWidget* w = nullptr;
        std::visit([this, &w](auto member) { w = this->*member; }, slot_of(c));
        w->setGeometry(at.place(c.anchor, layout::px(c.place)));
    }
    Frame1->setGeometry(at.place(Anchor::Top, layout::px(design::kFrame1)));
    Graph->setGeometry(at.map());
    // Right of h2's box, above the map's right edge, which it keeps clear of
    // h2's box down to the smallest map.
    chkGearView->setGeometry(at.place(Anchor::AboveMapRight, layout::px(design::kGearViewSwitch)));
}

void MainControls::name_value_labels() const {
    // A label's accessible name replaces its text, so the value goes in too.
    const std::pair<QLabel*, const char*> labels[] = {{lblManuf, "Manufacturer"},
                                                      {lblProduct, "Product name"},
                                                      {lblVersion, "Firmware version"},
                                                      {lblSerialNumber, "Serial number"}};
    for (const auto& [label, caption] : labels)
        label->setAccessibleName(QString(caption) + ":" + (label->text().isEmpty() ? QString(" none") : label->text()));
}

void MainControls::set_saved_line(const QString& text) const {
    lblSaved->setText(text);
    lblSaved->setAccessibleName(text.isEmpty() ? QString("Save result") : text);
}
