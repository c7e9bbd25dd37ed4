// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QEvent>
#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QWindow>
#include <QScrollBar>
#include <QScreen>

#include <cstring>
#include <variant>

#include "app/Design.h"
#include "app/KeptButton.h"
#include "app/ThresholdBox.h"
#include "app/ValueLabel.h"
#include "app/GearPanel.h"
#include "app/WindowIcon.h"
#include "app/WindowLayout.h"
#include "app/frmMain.h"

// The window's design: every control with its design name, caption and place,
// what a screen reader says of it, the keyboard's order, and the wiring of
// the controls to the window's handlers.

// Where each control of the design table is kept in the window.
struct DesignSlots {
    using Slot = std::variant<QPushButton* frmMain::*, QLineEdit* frmMain::*, QLabel* frmMain::*, QWidget* frmMain::*>;
    static const Slot& of(const design::Control& c);
};

const DesignSlots::Slot& DesignSlots::of(const design::Control& c) {
    struct Member {
        const char* name;
        Slot slot;
    };
    static const Member members[] = {
        {"cmd_auto_cal", &frmMain::cmd_auto_cal},     {"cmd_factory_reset", &frmMain::cmd_factory_reset},
        {"Pic", &frmMain::Pic},                       {"Progress", &frmMain::Progress},
        {"cmd_CheckFirmware", &frmMain::cmd_CheckFirmware}, {"btnUpdate", &frmMain::btnUpdate},
        {"Text10", &frmMain::Text10},                 {"Text9", &frmMain::Text9},
        {"Text8", &frmMain::Text8},                   {"Text7", &frmMain::Text7},
        {"lblSerialNumber", &frmMain::lblSerialNumber}, {"lblVersion", &frmMain::lblVersion},
        {"lblProduct", &frmMain::lblProduct},         {"lblManuf", &frmMain::lblManuf},
        {"Label2", &frmMain::Label2},                 {"Label5", &frmMain::Label5},
        {"Label4", &frmMain::Label4},                 {"Label3", &frmMain::Label3},
        {"Gear", &frmMain::Gear},                     {"TickV2", &frmMain::TickV2},
        {"TickV1", &frmMain::TickV1},                 {"TickH1", &frmMain::TickH1},
        {"TickH2", &frmMain::TickH2},                 {"lblY", &frmMain::lblY},
        {"lblX", &frmMain::lblX},                     {"lblNotice", &frmMain::lblNotice},
        {"lblSaved", &frmMain::lblSaved},             {"cmd_StopDownload", &frmMain::cmd_StopDownload},
        {"lblProgress", &frmMain::lblProgress},       {"lblMode", &frmMain::lblMode},
        {"lblName9", &frmMain::lblName9},             {"lblName10", &frmMain::lblName10},
        {"lblName7", &frmMain::lblName7},             {"lblName8", &frmMain::lblName8},
    };
    for (const Member& m : members)
        if (std::strcmp(m.name, c.name) == 0) return m.slot;
    qFatal("The design's control %s has no member in the window", c.name);
}

namespace {

using layout::Anchor;

using design::Kind;

// What a threshold box holds, for a screen reader: the threshold, its axis
// and mode, and what the box decodes with it.
struct ThresholdText {
    const char* name;
    const char* description;
};

ThresholdText threshold_box_text(int index) {
    switch (index) {
    case device::kH1: return {"Threshold h1, X axis, H-pattern", "Left column: gears 1 and 2 lie left of it. 0 to 254; Enter applies it."};
    case device::kH2: return {"Threshold h2, X axis, H-pattern", "Right column: gears 5, 6 and reverse lie right of it. 0 to 254; Enter applies it."};
    case device::kV1: return {"Threshold v1, Y axis, H-pattern", "Lower row: gears 2, 4, 6 and reverse lie below it. 0 to 254; Enter applies it."};
    case device::kV2: return {"Threshold v2, Y axis, H-pattern", "Upper row: gears 1, 3 and 5 lie above it. 0 to 254; Enter applies it."};
    case device::kS1: return {"Threshold s1, Y axis, sequential", "Minus lies below it. 0 to 254; Enter applies it."};
    default: return {"Threshold s2, Y axis, sequential", "Plus lies above it. 0 to 254; Enter applies it."};
    }
}

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

void frmMain::build_controls() {
    setWindowIcon(window_icon());
    resize(layout::WindowLayout::design_size());
    setMinimumSize(layout::WindowLayout::minimum_size());
    // The design area scrolls only on a screen too small for it; otherwise it
    // fills the window, and at the design size its controls are where the
    // design puts them, relative to the window.
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setWidgetResizable(true);
    scroll_->viewport()->setBackgroundRole(QPalette::Window);
    design_ = new QWidget;
    design_->setMinimumSize(layout::WindowLayout::minimum_size());
    scroll_->setWidget(design_);
    scroll_->setGeometry(rect());
    design_->setGeometry(rect());
    design_->installEventFilter(this);

    Frame1 = new QGroupBox("Information", design_);
    Frame1->setObjectName("Frame1");
    Frame1->setGeometry(layout::px(design::kFrame1));
    Frame1->setEnabled(false);
    Graph = new monitor::GraphView(design_);
    Graph->setObjectName("Graph");
    Graph->setGeometry(layout::px(design::kGraph));
    const std::pair<monitor::GraphLine* frmMain::*, monitor::GraphLine*> lines[] = {
        {&frmMain::lineV1, Graph->line_h1}, {&frmMain::lineV2, Graph->line_h2}, {&frmMain::lineH1, Graph->line_v2},
        {&frmMain::LineH2, Graph->line_v1}, {&frmMain::SeqH1, Graph->line_s2},  {&frmMain::SeqH2, Graph->line_s1}};
    const char* const line_names[] = {"lineV1", "lineV2", "lineH1", "LineH2", "SeqH1", "SeqH2"};
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        this->*lines[i].first = lines[i].second;
        lines[i].second->setObjectName(line_names[i]);
    }
    Timer = new QTimer(this);
    Timer->setObjectName("Timer");

    for (const design::Control& c : design::controls()) {
        QWidget* w = make_control(c, {design_, Frame1, Pic});
        std::visit([this, w](auto member) { this->*member = static_cast<std::remove_reference_t<decltype(this->*member)>>(w); },
                   DesignSlots::of(c));
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
    for (QLabel* l : {lblName7, lblName8, lblName9, lblName10}) l->setAlignment(Qt::AlignCenter);
    lblName9->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblName10->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblName7->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblName8->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblMode->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The map takes the keyboard where typing changes nothing; a click on it
    // leaves a box, which commits what was typed there.
    Graph->setFocusPolicy(Qt::StrongFocus);
    // The window itself holds the keyboard while no box is shown.
    setFocusPolicy(Qt::ClickFocus);
    describe_threshold_boxes();
    name_value_labels();

    chkGearView = new MnemonicCheckBox("Gear view", design_);
    chkGearView->setObjectName("chkGearView");
    chkGearView->setAccessibleName("Gear view");
    chkGearView->setAccessibleDescription(
        "Colours the travel map by the gear the box decoded at each point and shows the calibration check: "
        "each gear's margin to its nearest line.");
    gears_ = new GearView(state_->mon, state_->thresholds, state_->last_reported_mode,
                          {chkGearView, Graph, design_, [this] { return monitor_controls(); },
                           [this](int index, int value) { drag_line(index, value); }},
                          this);

    // Tab runs in the design's order: the thresholds, Save, the box's values,
    // the map, then the other buttons; the controls added to the design take
    // the turn of the place they stand in (the gear view's switch beside h2's
    // box, Stop where the progress frame is).
    const QWidget* order[] = {Text9,           Text10, chkGearView,       Text7,          Text8,
                              btnUpdate,       lblManuf, lblProduct,      lblVersion,     lblSerialNumber,
                              Graph,           cmd_CheckFirmware, cmd_StopDownload, cmd_factory_reset, cmd_auto_cal};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    give_mnemonics();

    updates_ = std::make_unique<UpdateController>(session_, store_, backend_, config_.vendor_id, config_.update_host,
                                                  dialogs_, UpdateWaits{update_limits, pause, clock}, this);
    updates_->attach({this, lblSerialNumber, Text9, Text10, Text8, Text7, cmd_CheckFirmware, cmd_StopDownload, Pic,
                      Progress, lblProgress, [this](const QString& text) { set_saved_line(text); },
                      [this] { show_notice(); }, [this] { return conn().device_found; }, [this] { return closing_; }});
    NetGetInfo = updates_->NetGetInfo;
    NetGetFirmware = updates_->NetGetFirmware;
    lay_out();
}

void frmMain::lay_out() {
    const layout::WindowLayout at(design_->size(), panel_width());
    for (const design::Control& c : design::controls()) {
        if (c.anchor == Anchor::Inside) continue;
        QWidget* w = nullptr;
        std::visit([this, &w](auto member) { w = this->*member; }, DesignSlots::of(c));
        w->setGeometry(at.place(c.anchor, layout::px(c.place)));
    }
    Frame1->setGeometry(at.place(Anchor::Top, layout::px(design::kFrame1)));
    Graph->setGeometry(at.map());
    // Right of h2's box, above the map's right edge, which it keeps clear of
    // h2's box down to the smallest map.
    chkGearView->setGeometry(at.place(Anchor::AboveMapRight, layout::px(design::kGearViewSwitch)));
    place_threshold_boxes();
    gears_->panel()->setGeometry(at.panel());
    // The lines and the drawing follow the map at once, and the markers the
    // position they show.
    Graph->fit_to_area();
    monitor::place_markers(mon(), monitor_controls());
}

void frmMain::wire_controls() {
    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
    connect(cmd_auto_cal, &QPushButton::clicked, this, &frmMain::cmd_auto_cal_Click);
    connect(btnUpdate, &QPushButton::clicked, this, &frmMain::btnUpdate_Click);
    connect(cmd_factory_reset, &QPushButton::clicked, this, &frmMain::cmd_factory_reset_Click);
    connect(chkGearView, &QCheckBox::toggled, this, &frmMain::chkGearView_Toggled);
    // Widened past its screen by the panel: back onto it, the design area
    // scrolling sideways.
    connect(chkGearView, &QCheckBox::toggled, this, [this] {
        if (fitted_) QTimer::singleShot(0, this, &frmMain::fit_to_screen);
    });
    wire_line_drag();
    for (QLineEdit* box : {Text7, Text8, Text9, Text10}) {
        auto* threshold_box = static_cast<ThresholdBox*>(box);
        connect(box, &QLineEdit::textEdited, this, [this] { set_saved_line(""); });
        connect(box, &QLineEdit::textChanged, this, &frmMain::describe_threshold_boxes);
        connect(threshold_box, &ThresholdBox::commit_asked, this, [this, box] { commit_box(box); });
        connect(threshold_box, &ThresholdBox::revert_asked, this, [this, box] { revert_box(box); });
        connect(threshold_box, &ThresholdBox::step_asked, this, [this, box](int counts) { step_box(box, counts); });
    }
    // Ctrl+Q closes the window, as any close does (Command+Q on a Mac).
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &QWidget::close);
}

void frmMain::give_mnemonics() {
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
        auto* key = new QShortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(letter.unicode())), this);
        key->setObjectName(QString("alt") + letter);
        connect(key, &QShortcut::activated, button, [button] {
            if (button->isEnabled() && button->isVisible()) button->click();
        });
    }
}

monitor::MonitorControls frmMain::monitor_controls() const {
    auto* self = const_cast<frmMain*>(this);
    return {Gear,   lblX,   lblY,   Text7,  Text8,
            Text9,  Text10, Graph,  TickV1, TickV2,
            TickH1, TickH2, [self](std::uint8_t, std::uint8_t to) { self->leave_changing_box(to); }};
}

void frmMain::describe_threshold_boxes() {
    // What each box holds follows the mode on show; a box whose text is not
    // taken says why, in its border, its tooltip and to a screen reader.
    const std::uint8_t mode = state_->last_reported_mode;
    const monitor::MonitorControls c = monitor_controls();
    for (QLineEdit* box : {Text9, Text10, Text7, Text8}) {
        int index = monitor::box_threshold(mode, c, box);
        if (index < 0) index = box == Text9 ? device::kH1 : device::kH2;  // hidden in sequential mode
        const ThresholdText t = threshold_box_text(index);
        const monitor::ThresholdText checked = monitor::check_threshold_text(box->text().toStdString());
        QString problem;
        if (!checked.value)
            problem = QString("Not taken: \"%1\" %2; %3 keeps its last valid value.")
                          .arg(box->text(), QString::fromStdString(checked.problem), calibration::setting_name(index));
        auto* threshold_box = static_cast<ThresholdBox*>(box);
        threshold_box->set_problem(problem);
        const QString description = problem.isEmpty() ? QString(t.description) : problem + " " + t.description;
        if (box->accessibleName() != t.name) box->setAccessibleName(t.name);
        if (box->accessibleDescription() != description) box->setAccessibleDescription(description);
    }
}

void frmMain::name_value_labels() {
    // A label's accessible name replaces its text, so the value goes in too.
    const std::pair<QLabel*, const char*> labels[] = {{lblManuf, "Manufacturer"},
                                                      {lblProduct, "Product name"},
                                                      {lblVersion, "Firmware version"},
                                                      {lblSerialNumber, "Serial number"}};
    for (const auto& [label, caption] : labels)
        label->setAccessibleName(QString(caption) + ":" + (label->text().isEmpty() ? QString(" none") : label->text()));
}
