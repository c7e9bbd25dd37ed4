#include <QFont>
#include <QFrame>

#include <variant>

#include "NetGrab.h"
#include "frmMain.h"

// The window's design: every control with its design name, caption and place,
// what a screen reader says of it, the keyboard's order, and the wiring of
// the controls to the window's handlers.

namespace {

// The layout is designed in twips; 15 twips make a pixel at 96 dpi.
int px(int twips) { return (twips + 7) / 15; }

void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}

// The window's controls as designed: name, kind, caption and place in twips.
// They are made in this order, which is also the order they stack in.
enum class Kind { Button, Text, Label, FrameLabel, Marker, Frame, Bar };
using Slot = std::variant<QPushButton* frmMain::*, QLineEdit* frmMain::*, QLabel* frmMain::*, QWidget* frmMain::*>;
struct Control {
    Slot slot;
    const char* name;
    Kind kind;
    const char* caption;
    int left, top, width, height;
    // What a screen reader says of it. The threshold boxes are named by the
    // mode on show (threshold_box_text), the value labels with their value.
    const char* accessible_name;
    const char* description;
};

const Control kControls[] = {
    {&frmMain::cmd_auto_cal, "cmd_auto_cal", Kind::Button, "Start calibration", 720, 7200, 2500, 495, "Start calibration",
     "Starts automatic calibration: move the shifter through all gears, then save. Click again to cancel it."},
    {&frmMain::cmd_factory_reset, "cmd_factory_reset", Kind::Button, "Factory reset", 3600, 8160, 2500, 495, "Factory reset",
     "Writes the factory thresholds into the box."},
    {&frmMain::Pic, "Pic", Kind::Frame, "", 1080, 8760, 4950, 100, "Firmware update progress",
     "How far the firmware update has come."},
    {&frmMain::Progress, "Progress", Kind::Bar, "", 0, 0, 4995, 195, "Firmware update progress bar",
     "Grows as the firmware is written into the box."},
    {&frmMain::cmd_CheckFirmware, "cmd_CheckFirmware", Kind::Button, "Get latest firmware", 720, 8160, 2500, 495, "Get latest firmware",
     "Asks the update service for newer firmware for the box and offers to write it."},
    {&frmMain::btnUpdate, "btnUpdate", Kind::Button, "Save calibration", 3600, 7200, 2500, 495, "Save calibration",
     "Writes the thresholds shown into the box and reads them back."},
    {&frmMain::Text10, "Text10", Kind::Text, "0", 3960, 2160, 735, 375, "Threshold h2",
     ""},
    {&frmMain::Text9, "Text9", Kind::Text, "0", 2160, 2160, 735, 375, "Threshold h1",
     ""},
    {&frmMain::Text8, "Text8", Kind::Text, "0", 5640, 5760, 735, 375, "Threshold v1",
     ""},
    {&frmMain::Text7, "Text7", Kind::Text, "0", 5640, 3240, 735, 375, "Threshold v2",
     ""},
    {&frmMain::lblSerialNumber, "lblSerialNumber", Kind::FrameLabel, "", 1920, 1440, 3420, 330, "Serial number",
     "The serial number of the box."},
    {&frmMain::lblVersion, "lblVersion", Kind::FrameLabel, "", 1920, 1080, 3420, 330, "Firmware version",
     "The firmware version of the box."},
    {&frmMain::lblProduct, "lblProduct", Kind::FrameLabel, "", 1920, 720, 3780, 330, "Product name",
     "The product name the box reports."},
    {&frmMain::lblManuf, "lblManuf", Kind::FrameLabel, "", 1920, 360, 3780, 330, "Manufacturer",
     "The manufacturer the box reports."},
    {&frmMain::Label2, "Label2", Kind::FrameLabel, "Firmware version", 240, 1080, 1695, 285, "Firmware version",
     "Caption of the firmware version."},
    {&frmMain::Label5, "Label5", Kind::FrameLabel, "Product name", 240, 720, 1575, 285, "Product name",
     "Caption of the product name."},
    {&frmMain::Label4, "Label4", Kind::FrameLabel, "Manufacturer", 240, 360, 1215, 285, "Manufacturer",
     "Caption of the manufacturer."},
    {&frmMain::Label3, "Label3", Kind::FrameLabel, "Serial number", 240, 1440, 1815, 285, "Serial number",
     "Caption of the serial number."},
    {&frmMain::Gear, "Gear", Kind::Label, "1", 5640, 4080, 795, 1365, "Gear",
     "The gear the box decodes from the stick position."},
    {&frmMain::TickV2, "TickV2", Kind::Marker, "", 5380, 3120, 200, 45, "Stick Y marker, right",
     "Follows the stick's Y position beside the travel map."},
    {&frmMain::TickV1, "TickV1", Kind::Marker, "", 1290, 3120, 200, 45, "Stick Y marker, left",
     "Follows the stick's Y position beside the travel map."},
    {&frmMain::TickH1, "TickH1", Kind::Marker, "", 1560, 2570, 45, 200, "Stick X marker, top",
     "Follows the stick's X position above the travel map."},
    {&frmMain::TickH2, "TickH2", Kind::Marker, "", 1560, 6650, 45, 200, "Stick X marker, bottom",
     "Follows the stick's X position below the travel map."},
    {&frmMain::lblY, "lblY", Kind::Label, "000", 600, 4560, 615, 255, "Stick Y",
     "The stick's Y position, 0 to 255, upwards."},
    {&frmMain::lblX, "lblX", Kind::Label, "000", 2880, 6860, 1005, 375, "Stick X",
     "The stick's X position, 0 to 255, to the right."},
    // Over the lower half of the information frame, outside it, so that it
    // stays readable while the frame is greyed.
    {&frmMain::lblNotice, "lblNotice", Kind::Label, "", 360, 1050, 6135, 875, "Notice",
     "Why the box cannot be used, or that there is no box to plug in."},
    // Between the information frame and the threshold boxes.
    {&frmMain::lblSaved, "lblSaved", Kind::Label, "", 240, 1940, 6255, 220, "Save result",
     "Says that the last save went into the box."},
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

QWidget* make_control(const Control& c, frmMain* window) {
    QWidget* w = nullptr;
    switch (c.kind) {
    case Kind::Button: w = new QPushButton(c.caption, window); break;
    case Kind::Text: w = new QLineEdit(c.caption, window); break;
    case Kind::Label: w = new QLabel(c.caption, window); break;
    case Kind::FrameLabel: w = new QLabel(c.caption, window->Frame1); break;
    case Kind::Marker: {
        w = new QWidget(window);
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
        auto* f = new QFrame(window);
        f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        f->setLineWidth(1);
        f->setAutoFillBackground(true);
        f->hide();
        w = f;
        break;
    }
    case Kind::Bar: {
        w = new QWidget(window->Pic);  // made right after its frame
        w->setAutoFillBackground(true);
        QPalette p = w->palette();
        p.setColor(QPalette::Window, QColor(0, 0, 128));
        w->setPalette(p);
        w->hide();
        break;
    }
    }
    w->setObjectName(c.name);
    w->setAccessibleName(c.accessible_name);
    w->setAccessibleDescription(c.description);
    place(w, c.left, c.top, c.width, c.height);
    return w;
}

}  // namespace

void frmMain::build_controls() {
    setFixedSize(px(6735), px(9000));
    Frame1 = new QGroupBox("Information", this);
    Frame1->setObjectName("Frame1");
    place(Frame1, 120, 120, 6495, 1815);
    Frame1->setEnabled(false);
    Graph = new monitor::GraphView(this);
    Graph->setObjectName("Graph");
    place(Graph, 1485, 2760, 3900, 3900);
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
        QWidget* w = make_control(c, this);
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
    lblSaved->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Frame1->setAccessibleName("Information");
    Frame1->setAccessibleDescription("Manufacturer, product name, firmware version and serial number of the box.");
    Graph->setAccessibleName("Travel map");
    Graph->setAccessibleDescription("The stick's travel with the threshold lines of the mode the box reports.");

    // The keyboard reaches the box's information (its values can be selected
    // and copied), then the thresholds, then the buttons left to right, top to
    // bottom, as they are laid out.
    for (QLabel* l : {lblManuf, lblProduct, lblVersion, lblSerialNumber}) {
        l->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        l->setFocusPolicy(Qt::TabFocus);
    }
    const QWidget* order[] = {lblManuf, lblProduct, lblVersion, lblSerialNumber, Text9, Text10, Text7, Text8,
                              cmd_auto_cal, btnUpdate, cmd_CheckFirmware, cmd_factory_reset};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    name_threshold_boxes();
    name_value_labels();

    NetGetInfo = new NetGrab(this);
    NetGetInfo->setObjectName("NetGetInfo");
    NetGetFirmware = new NetGrab(this);
    NetGetFirmware->setObjectName("NetGetFirmware");
}

void frmMain::wire_controls() {
    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
    connect(cmd_auto_cal, &QPushButton::clicked, this, &frmMain::cmd_auto_cal_Click);
    connect(btnUpdate, &QPushButton::clicked, this, &frmMain::btnUpdate_Click);
    connect(cmd_factory_reset, &QPushButton::clicked, this, &frmMain::cmd_factory_reset_Click);
    connect(cmd_CheckFirmware, &QPushButton::clicked, this, &frmMain::cmd_CheckFirmware_Click);
    for (QLineEdit* box : {Text7, Text8, Text9, Text10}) {
        connect(box, &QLineEdit::textEdited, this, [this, box] { mark_typed(box); });
        connect(box, &QLineEdit::returnPressed, this, &frmMain::apply_typed);
    }
    connect(NetGetInfo, &NetGrab::DownloadComplete, this, &frmMain::NetGetInfo_DownloadComplete);
    connect(NetGetInfo, &NetGrab::DownloadFailed, this, &frmMain::NetGetInfo_DownloadFailed);
    connect(NetGetFirmware, &NetGrab::DownloadProgress, this, &frmMain::NetGetFirmware_DownloadProgress);
    connect(NetGetFirmware, &NetGrab::DownloadComplete, this, &frmMain::NetGetFirmware_DownloadComplete);
    connect(NetGetFirmware, &NetGrab::DownloadFailed, this, &frmMain::NetGetFirmware_DownloadFailed);
}

monitor::MonitorControls frmMain::monitor_controls() const {
    return {Gear, lblX, lblY, Text7, Text8, Text9, Text10, Graph, TickV1, TickV2, TickH1, TickH2};
}

void frmMain::name_threshold_boxes() {
    const std::uint8_t mode = state_->last_reported_mode;
    if (mode == named_mode_) return;
    named_mode_ = mode;
    const bool sequential = mode == monitor::kModeSequential;
    const std::pair<QLineEdit*, int> boxes[] = {{Text9, device::kH1},
                                                {Text10, device::kH2},
                                                {Text7, sequential ? device::kS2 : device::kV2},
                                                {Text8, sequential ? device::kS1 : device::kV1}};
    for (const auto& [box, index] : boxes) {
        const ThresholdText t = threshold_box_text(index);
        box->setAccessibleName(t.name);
        box->setAccessibleDescription(t.description);
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

