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

#include <variant>

#include "app/KeptButton.h"
#include "net/NetGrab.h"
#include "app/ThresholdBox.h"
#include "app/ValueLabel.h"
#include "app/GearPanel.h"
#include "app/WindowIcon.h"
#include "app/WindowLayout.h"
#include "app/frmMain.h"

// The window's design: every control with its design name, caption and place,
// what a screen reader says of it, the keyboard's order, and the wiring of
// the controls to the window's handlers.

namespace {

using layout::Anchor;

// The window's controls as designed: name, kind, caption and place in twips.
// They are made in this order, which is also the order they stack in.
enum class Kind { Button, Text, Label, Value, FrameLabel, Marker, Frame, Bar };
using Slot = std::variant<QPushButton* frmMain::*, QLineEdit* frmMain::*, QLabel* frmMain::*, QWidget* frmMain::*>;
struct Control {
    Slot slot;
    const char* name;
    Kind kind;
    const char* caption;
    int left, top, width, height;
    // How it follows the travel map in a window of another size.
    Anchor anchor;
    // What a screen reader says of it. The threshold boxes are named by the
    // mode on show (threshold_box_text), the value labels with their value.
    const char* accessible_name;
    const char* description;
};

const Control kControls[] = {
    {&frmMain::cmd_auto_cal, "cmd_auto_cal", Kind::Button, "Start calibration", 720, 7200, 2500, 495, Anchor::UnderMap, "Start calibration",
     "Starts automatic calibration: move the shifter through all gears, then save. Click again to cancel it."},
    {&frmMain::cmd_factory_reset, "cmd_factory_reset", Kind::Button, "Factory reset", 3600, 8160, 2500, 495, Anchor::UnderMap, "Factory reset",
     "Writes the factory thresholds into the box."},
    {&frmMain::Pic, "Pic", Kind::Frame, "", 1080, 8760, 4950, 100, Anchor::UnderMap, "Firmware update progress",
     "How far the firmware update has come."},
    {&frmMain::Progress, "Progress", Kind::Bar, "", 0, 0, 4995, 195, Anchor::Inside, "Firmware update progress bar",
     "Grows as the firmware is written into the box."},
    {&frmMain::cmd_CheckFirmware, "cmd_CheckFirmware", Kind::Button, "Get latest firmware", 720, 8160, 2500, 495, Anchor::UnderMap, "Get latest firmware",
     "Asks the update service for newer firmware for the box and offers to write it."},
    {&frmMain::btnUpdate, "btnUpdate", Kind::Button, "Save calibration", 3600, 7200, 2500, 495, Anchor::UnderMap, "Save calibration",
     "Writes the thresholds shown into the box and reads them back."},
    {&frmMain::Text10, "Text10", Kind::Text, "0", 3960, 2160, 735, 375, Anchor::AboveMap, "Threshold h2",
     ""},
    {&frmMain::Text9, "Text9", Kind::Text, "0", 2160, 2160, 735, 375, Anchor::AboveMap, "Threshold h1",
     ""},
    {&frmMain::Text8, "Text8", Kind::Text, "0", 5640, 5760, 735, 375, Anchor::RightOfMap, "Threshold v1",
     ""},
    {&frmMain::Text7, "Text7", Kind::Text, "0", 5640, 3240, 735, 375, Anchor::RightOfMap, "Threshold v2",
     ""},
    {&frmMain::lblSerialNumber, "lblSerialNumber", Kind::FrameLabel, "", 1920, 1440, 3420, 330, Anchor::InFrameWide, "Serial number",
     "The serial number of the box."},
    {&frmMain::lblVersion, "lblVersion", Kind::FrameLabel, "", 1920, 1080, 3420, 330, Anchor::InFrameWide, "Firmware version",
     "The firmware version of the box."},
    {&frmMain::lblProduct, "lblProduct", Kind::FrameLabel, "", 1920, 720, 3780, 330, Anchor::InFrameWide, "Product name",
     "The product name the box reports."},
    {&frmMain::lblManuf, "lblManuf", Kind::FrameLabel, "", 1920, 360, 3780, 330, Anchor::InFrameWide, "Manufacturer",
     "The manufacturer the box reports."},
    {&frmMain::Label2, "Label2", Kind::FrameLabel, "Firmware version", 240, 1080, 1695, 285, Anchor::InFrame, "Firmware version",
     "Caption of the firmware version."},
    {&frmMain::Label5, "Label5", Kind::FrameLabel, "Product name", 240, 720, 1575, 285, Anchor::InFrame, "Product name",
     "Caption of the product name."},
    {&frmMain::Label4, "Label4", Kind::FrameLabel, "Manufacturer", 240, 360, 1215, 285, Anchor::InFrame, "Manufacturer",
     "Caption of the manufacturer."},
    {&frmMain::Label3, "Label3", Kind::FrameLabel, "Serial number", 240, 1440, 1815, 285, Anchor::InFrame, "Serial number",
     "Caption of the serial number."},
    {&frmMain::Gear, "Gear", Kind::Label, "1", 5640, 4080, 795, 1365, Anchor::Gear, "Gear",
     "The gear the box decodes from the stick position."},
    {&frmMain::TickV2, "TickV2", Kind::Marker, "", 5380, 3120, 200, 45, Anchor::RightOfMap, "Stick Y marker, right",
     "Follows the stick's Y position beside the travel map."},
    {&frmMain::TickV1, "TickV1", Kind::Marker, "", 1290, 3120, 200, 45, Anchor::LeftOfMap, "Stick Y marker, left",
     "Follows the stick's Y position beside the travel map."},
    {&frmMain::TickH1, "TickH1", Kind::Marker, "", 1560, 2570, 45, 200, Anchor::AboveMap, "Stick X marker, top",
     "Follows the stick's X position above the travel map."},
    {&frmMain::TickH2, "TickH2", Kind::Marker, "", 1560, 6650, 45, 200, Anchor::BelowMap, "Stick X marker, bottom",
     "Follows the stick's X position below the travel map."},
    {&frmMain::lblY, "lblY", Kind::Value, "000", 600, 4560, 615, 255, Anchor::LeftOfMap, "Stick Y",
     "The stick's Y position, 0 to 255, upwards."},
    {&frmMain::lblX, "lblX", Kind::Value, "000", 2880, 6860, 1005, 375, Anchor::BelowMap, "Stick X",
     "The stick's X position, 0 to 255, to the right."},
    // Over the version and serial rows of the information frame (hidden
    // meanwhile) down to the threshold boxes, outside the frame, so that it
    // stays readable while the frame is greyed: four lines of a sentence
    // about the box's permissions.
    {&frmMain::lblNotice, "lblNotice", Kind::Label, "", 360, 1200, 6135, 960, Anchor::Top, "Notice",
     "Why the box cannot be used, that there is no box to plug in, or what a firmware update is doing."},
    // Between the information frame and the threshold boxes.
    {&frmMain::lblSaved, "lblSaved", Kind::Label, "", 240, 1940, 6255, 220, Anchor::SavedLine, "Save result",
     "Says what the last save, or the last firmware update, put into the box."},
    // Left of the update's progress frame while the image downloads.
    {&frmMain::cmd_StopDownload, "cmd_StopDownload", Kind::Button, "Stop", 120, 8670, 900, 300, Anchor::UnderMap,
     "Stop the firmware download",
     "Stops the firmware download; nothing is sent to the box."},
    // Right of the progress frame: how far the bar has come.
    {&frmMain::lblProgress, "lblProgress", Kind::Label, "", 6090, 8670, 600, 300, Anchor::UnderMap,
     "Firmware update progress, percent", "How far the firmware update has come, in percent of the bar."},
    // Left of h1's box: the mode whose thresholds are on show.
    {&frmMain::lblMode, "lblMode", Kind::Label, "", 120, 2160, 1500, 375, Anchor::Inside, "Mode on show",
     "The mode the box reports, H-pattern or Sequential, whose thresholds and lines are shown."},
    // Beside each threshold box, the name of the threshold it holds; placed
    // by their boxes (lay_out).
    {&frmMain::lblName9, "lblName9", Kind::Label, "h1", 0, 0, 255, 375, Anchor::Inside, "Name of the threshold in the box",
     "The threshold the box beside it holds."},
    {&frmMain::lblName10, "lblName10", Kind::Label, "h2", 0, 0, 255, 375, Anchor::Inside, "Name of the threshold in the box",
     "The threshold the box beside it holds."},
    {&frmMain::lblName7, "lblName7", Kind::Label, "v2", 0, 0, 255, 375, Anchor::Inside, "Name of the threshold in the box",
     "The threshold the box beside it holds."},
    {&frmMain::lblName8, "lblName8", Kind::Label, "v1", 0, 0, 255, 375, Anchor::Inside, "Name of the threshold in the box",
     "The threshold the box beside it holds."},
};

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

QWidget* make_control(const Control& c, const Containers& in) {
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
    w->setGeometry(layout::px(c.left, c.top, c.width, c.height));
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
    Frame1->setGeometry(layout::px(120, 120, 6495, 1815));
    Frame1->setEnabled(false);
    Graph = new monitor::GraphView(design_);
    Graph->setObjectName("Graph");
    Graph->setGeometry(layout::px(1485, 2760, 3900, 3900));
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

    for (const Control& c : kControls) {
        QWidget* w = make_control(c, {design_, Frame1, Pic});
        std::visit([this, w](auto member) { this->*member = static_cast<std::remove_reference_t<decltype(this->*member)>>(w); },
                   c.slot);
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
    gear_panel_ = new GearPanel(*Graph, design_);
    gear_panel_->hide();

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

    NetGetInfo = new NetGrab(this);
    NetGetInfo->setObjectName("NetGetInfo");
    NetGetFirmware = new NetGrab(this);
    NetGetFirmware->setObjectName("NetGetFirmware");
    lay_out();
}

void frmMain::lay_out() {
    const layout::WindowLayout at(design_->size(), panel_width());
    for (const Control& c : kControls) {
        if (c.anchor == Anchor::Inside) continue;
        QWidget* w = nullptr;
        std::visit([this, &w](auto member) { w = this->*member; }, c.slot);
        w->setGeometry(at.place(c.anchor, layout::px(c.left, c.top, c.width, c.height)));
    }
    Frame1->setGeometry(at.place(Anchor::Top, layout::px(120, 120, 6495, 1815)));
    Graph->setGeometry(at.map());
    // Right of h2's box, above the map's right edge, which it keeps clear of
    // h2's box down to the smallest map.
    chkGearView->setGeometry(at.place(Anchor::AboveMapRight, layout::px(5130, 2160, 1500, 375)));
    place_threshold_boxes();
    gear_panel_->setGeometry(at.panel());
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
    connect(cmd_CheckFirmware, &QPushButton::clicked, this, &frmMain::cmd_CheckFirmware_Click);
    connect(cmd_StopDownload, &QPushButton::clicked, this, &frmMain::cmd_StopDownload_Click);
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
    connect(NetGetInfo, &NetGrab::DownloadComplete, this, &frmMain::NetGetInfo_DownloadComplete);
    connect(NetGetInfo, &NetGrab::DownloadFailed, this, &frmMain::NetGetInfo_DownloadFailed);
    connect(NetGetFirmware, &NetGrab::DownloadProgress, this, &frmMain::NetGetFirmware_DownloadProgress);
    connect(NetGetFirmware, &NetGrab::DownloadComplete, this, &frmMain::NetGetFirmware_DownloadComplete);
    connect(NetGetFirmware, &NetGrab::DownloadFailed, this, &frmMain::NetGetFirmware_DownloadFailed);
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
