#include "frmMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFont>
#include <QFrame>

#include <variant>

#include "Commands.h"
#include "Dialogs.h"
#include "NetGrab.h"
#include "Products.h"
#include "Readout.h"
#include "Safeguards.h"
#include "UpdateQuery.h"
#include "Writes.h"

namespace {

// The layout is designed in twips; 15 twips make a pixel at 96 dpi.
int px(int twips) { return (twips + 7) / 15; }

void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}

const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

constexpr int kConnectedInterval = 50;
constexpr int kSearchInterval = 500;

const char* const kCalibrationTitle = "Automatic calibration";
const char* const kCalibrationText =
    "Move shifter through all gears several times\r\n\r\nThen click \"Save calibration\" button";

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

const char* const kSavedText = "Saved to the box";
const char* const kNoBoxText =
    "No box found. Plug the shifter's interface box into a USB port; the tool finds it by itself.";

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
        p.setColor(QPalette::Window, kRed);
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

// ---- Load, layout and unload ------------------------------------------------

frmMain::frmMain(device::HidBackend& backend, Dialogs& dialogs, AppConfig config, QWidget* parent)
    : QWidget(parent), backend_(backend), dialogs_(dialogs), config_(std::move(config)),
      state_(std::make_unique<WindowState>()), store_(config_.box_store_folder) {
    setObjectName("frmMain");
    build_controls();
    wire_controls();

    // Load.
    mon().auto_calibrating = false;
    initialise_values();
    DisableUI();
    conn().device_found = FindTheHid();
    if (conn().device_found) EnableUI();
    Timer->start();
}

frmMain::~frmMain() { unload(); }

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

void frmMain::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    Timer->stop();
    // A write in progress finishes the image first (a half-written box would
    // have to be flashed again) and closes the handles itself; the bootloader
    // takes nothing else anyway.
    if (update_state_ == UpdateState::HandingOver || update_state_ == UpdateState::Flashing) return;
    device::DeviceConnection& c = conn();
    if (!c.device_found) return;
    device::ToolAttachment(c, false).detach();
    calibration::send_fitting_writes(c, calibration::known_writes(calibration::all_writes(thresholds()), state_->known));
    c.close_handles();
}

void frmMain::closeEvent(QCloseEvent* e) {
    closing_ = true;
    unload();
    e->accept();
}

// ---- Finding the box and the control states ---------------------------------

bool frmMain::FindTheHid() {
    // Thresholds known of an earlier box (or an earlier appearance of this
    // one) say nothing about the box found now.
    state_->known.reset();
    state_->box_thresholds.reset();
    state_->serial.clear();
    const bool found = device::FindTheHid(backend_, conn(), config_.vendor_id);
    show_notice();
    return found;
}

void frmMain::show_notice() {
    const device::BoxClass found = device::classify(conn());
    const bool problem = found.state == device::BoxState::NotServed;
    QString text;
    if (problem) text = QString::fromStdString(found.sentence);
    if (found.state == device::BoxState::Absent) text = kNoBoxText;
    if (lblNotice->text() != text) {
        lblNotice->setText(text);
        // Colours of the user's palette, so that the notice stays readable in
        // a dark theme too: a problem stands out as the tooltip's colours do.
        lblNotice->setAutoFillBackground(problem);
        lblNotice->setForegroundRole(problem ? QPalette::ToolTipText : QPalette::WindowText);
        lblNotice->setBackgroundRole(problem ? QPalette::ToolTipBase : QPalette::Window);
    }
    lblNotice->setVisible(!text.isEmpty());
    if (!text.isEmpty()) lblNotice->raise();
    // The notice covers the version and serial rows.
    for (QWidget* w : std::initializer_list<QWidget*>{Label2, Label3, lblVersion, lblSerialNumber})
        w->setVisible(text.isEmpty());
}

void frmMain::DisableUI() {
    for (QLineEdit* t : {Text7, Text8, Text9, Text10}) t->setText("");
    Graph->clear();
    for (QPushButton* b : {btnUpdate, cmd_CheckFirmware, cmd_auto_cal, cmd_factory_reset}) b->setEnabled(false);
    for (QLineEdit* t : {Text7, Text8, Text9, Text10}) t->setEnabled(false);
    for (QLineEdit* t : {Text7, Text8, Text9, Text10}) t->hide();
    Graph->setEnabled(false);
    for (monitor::GraphLine* l : {lineV1, lineV2, lineH1, LineH2, SeqH1, SeqH2})
        l->setVisible(false);
    for (QWidget* m : {TickV1, TickV2, TickH1, TickH2}) m->hide();
    for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(false);
    Frame1->setEnabled(false);
    for (QLabel* l : {lblManuf, lblProduct, lblVersion, lblSerialNumber}) l->setText("");
    lblX->hide();
    lblY->hide();
    Gear->setText("");
    set_saved_line("");
    name_value_labels();
    Timer->setInterval(kSearchInterval);
    setWindowTitle(device::kNoDeviceTitle);
}


void frmMain::EnableUI() {
    // A box whose reports we cannot read gets only the information frame.
    if (device::classify(conn()).state == device::BoxState::Ready) {
        btnUpdate->setEnabled(true);
        for (QLineEdit* t : {Text7, Text8, Text9, Text10}) t->setEnabled(true);
        for (QLineEdit* t : {Text7, Text8, Text9, Text10}) t->show();
        Graph->setEnabled(true);
        for (QWidget* m : {TickV1, TickV2, TickH1, TickH2}) m->show();
        lblX->show();
        lblY->show();
        cmd_auto_cal->setEnabled(true);
        cmd_factory_reset->setEnabled(true);
    }
    // A box found again in the middle of an update (it restarts into its
    // bootloader) must not offer a second update on top of the first.
    end_restart_wait_if_over();
    cmd_CheckFirmware->setEnabled(update_state_ == UpdateState::Idle || update_state_ == UpdateState::Asking);
    Frame1->setEnabled(true);
    for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(true);
    read_device_info();
    Timer->setInterval(kConnectedInterval);
    offer_restore();
}

void frmMain::initialise_values() { monitor::initialise_values(mon(), *Graph); }

void frmMain::read_device_info() {
    device::DeviceConnection& c = conn();
    if (c.device_found) {
        const calibration::DeviceInfo info = calibration::read_device_info(c);
        if (info.serial) state_->serial = QString::fromLatin1(info.serial->c_str());
        if (info.thresholds) {
            thresholds() = *info.thresholds;
            state_->known.set();
            box_read(*info.thresholds);
        }
        Text9->setText(QString::number(thresholds().h1));
        Text10->setText(QString::number(thresholds().h2));
        mon().shown_mode = monitor::kModeNone;
        monitor::fill_mode_texts(state_->last_reported_mode, thresholds(), monitor_controls());
        if (info.manufacturer) {
            lblManuf->setText(" " + QString::fromLatin1(info.manufacturer->c_str()));
            lblVersion->setText(QString::fromStdString(*info.version));
        }
        if (info.product) lblProduct->setText(" " + QString::fromLatin1(info.product->c_str()));
        if (info.serial) lblSerialNumber->setText(" " + QString::fromLatin1(info.serial->c_str()));
        name_value_labels();
    } else {
        Frame1->setEnabled(false);
        for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(false);
        for (QLabel* l : {lblManuf, lblProduct, lblSerialNumber, lblVersion}) l->setText("");
        name_value_labels();
    }
    setWindowTitle(calibration::window_title(c.device_found, c.product_id));
}

// ---- The live monitor --------------------------------------------------------

void frmMain::Timer_Timer() {
    // From the hand-over to the last page the update owns the connection.
    if (update_state_ == UpdateState::HandingOver || update_state_ == UpdateState::Flashing) return;
    device::DeviceConnection& c = conn();
    if (c.device_found) {
        const device::Poll polled = device::poll(c);
        if (polled == device::Poll::Reports && device::classify(c).state == device::BoxState::Ready) {
            monitor::process_batch(c.input_report.data(), c.bytes_read, c.hid_caps.input_report_length, mon(),
                                   thresholds(), monitor_controls());
            state_->last_reported_mode = c.input_report[5] & monitor::kModeSequential;
            name_threshold_boxes();
            if (Gear->accessibleName() != "Gear " + Gear->text()) Gear->setAccessibleName("Gear " + Gear->text());
            if (mon().auto_calibrating)
                state_->known |= calibration::mode_settings(state_->last_reported_mode == monitor::kModeSequential);
        }
        if (polled == device::Poll::Gone)
            lose_box_and_search();
        else if (Timer->interval() != kConnectedInterval)
            Timer->setInterval(kConnectedInterval);
    }
    if (!c.device_found) {
        c.device_found = FindTheHid();
        if (c.device_found) EnableUI();
    }
    if (update_state_ == UpdateState::Restarting) {
        end_restart_wait_if_over();
        if (update_state_ == UpdateState::Idle) cmd_CheckFirmware->setEnabled(c.device_found);
    }
}

void frmMain::lose_box_and_search() {
    device::DeviceConnection& c = conn();
    c.device_found = false;
    c.close_handles();
    mon().shown_mode = monitor::kModeNone;
    initialise_values();
    c.device_found = FindTheHid();
    if (c.device_found)
        EnableUI();
    else
        DisableUI();
}

// ---- Calibration ---------------------------------------------------------------

void frmMain::mark_typed(QLineEdit* box) {
    // A threshold the user types becomes known; which one a box holds follows
    // the mode on show.
    const bool sequential = state_->last_reported_mode == monitor::kModeSequential;
    int index = box == Text9 ? device::kH1 : device::kH2;
    if (box == Text8) index = sequential ? device::kS1 : device::kV1;
    if (box == Text7) index = sequential ? device::kS2 : device::kV2;
    state_->known.set(static_cast<std::size_t>(index));
    set_saved_line("");
}

void frmMain::apply_typed() {
    // Enter applies the boxes at once rather than on the next tick with reports.
    monitor::read_back_texts(state_->last_reported_mode, thresholds(), monitor_controls());
}

void frmMain::set_saved_line(const QString& text) {
    lblSaved->setText(text);
    lblSaved->setAccessibleName(text.isEmpty() ? QString("Save result") : text);
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

void frmMain::box_read(const device::Thresholds& read) {
    state_->box_thresholds = read;
    // While a calibration from before an update waits to be offered, the
    // box's new values must not replace it in the store.
    if (restore_pending_) return;
    const device::DeviceConnection& c = conn();
    (void)store_.remember(
        calibration::make_backup(static_cast<std::uint16_t>(c.product_id), c.hid_attributes.version_number,
                                 state_->serial, read));
}

void frmMain::read_back_after(const std::vector<calibration::SettingWrite>& sent, const char* title) {
    const device::Result<device::SettingsBytes> reply = device::read_settings(conn());
    if (!reply) {
        dialogs_.critical(this, title, QString::fromStdString(calibration::readback_failed_message(reply.sentence())));
        return;
    }
    const device::Thresholds read = device::thresholds_from_bytes(*reply);
    box_read(read);
    // The working values stay as typed, so that a second save can be tried.
    if (!calibration::differing_writes(sent, read).empty()) {
        dialogs_.critical(this, title, QString::fromStdString(calibration::readback_mismatch_message(sent, read)));
        return;
    }
    set_saved_line(kSavedText);
}

void frmMain::offer_restore() {
    if (!restore_pending_ || !conn().application() || !state_->box_thresholds) return;
    if (restore_pending_->serial != state_->serial) return;  // another box: keep waiting for ours
    const calibration::Backup before = *restore_pending_;
    restore_pending_.reset();
    const device::Thresholds now = *state_->box_thresholds;
    const std::optional<device::Thresholds> offer = calibration::restore_offer(before, state_->serial, now);
    if (offer && dialogs_.question(this, "Restore calibration",
                                   QString::fromStdString(calibration::restore_question(before, now)))) {
        // All six, in the order closing the window writes them.
        const std::vector<calibration::SettingWrite> writes = calibration::all_writes(*offer);
        if (!conn().application()) return;  // gone while the question was open
        if (calibration::send_writes(conn(), writes).failed > 0) {
            dialogs_.critical(this, "Restore calibration",
                              "The box did not take the calibration. Check that it is plugged in and save again.");
            return;
        }
        thresholds() = *offer;
        state_->known.set();
        Text9->setText(QString::number(thresholds().h1));
        Text10->setText(QString::number(thresholds().h2));
        monitor::fill_mode_texts(state_->last_reported_mode, thresholds(), monitor_controls());
        read_back_after(writes, "Restore calibration");
    } else {
        box_read(now);
    }
}

void frmMain::set_calibration_look(bool calibrating) {
    for (monitor::GraphLine* l : {lineH1, LineH2, lineV1, lineV2})
        l->set_color(calibrating ? kRed : kBlue);
    for (monitor::GraphLine* l : {SeqH1, SeqH2}) l->set_color(calibrating ? kRed : kGreen);
    for (QLineEdit* t : {Text7, Text8, Text9, Text10}) t->setEnabled(!calibrating);
    cmd_auto_cal->setText(calibrating ? "Cancel calibration" : "Start calibration");
}

void frmMain::cmd_auto_cal_Click() {
    if (!mon().auto_calibrating) {
        set_saved_line("");
        mon().auto_calibrating = true;
        for (monitor::GraphLine* l :
             {lineH1, LineH2, lineV1, lineV2, SeqH1, SeqH2})
            l->set_color(kRed);
        for (QLineEdit* t : {Text7, Text8, Text9, Text10}) t->setEnabled(false);
        initialise_values();
        Graph->repaint();
        QCoreApplication::processEvents();
        dialogs_.information(this, kCalibrationTitle, kCalibrationText);
        // The calibration may have been ended while the message was open.
        if (!mon().auto_calibrating) return;
        cmd_auto_cal->setText("Cancel calibration");
        btnUpdate->setFocus();
        QCoreApplication::processEvents();
    } else {
        mon().auto_calibrating = false;
        set_calibration_look(false);
        read_device_info();
    }
}

void frmMain::btnUpdate_Click() {
    device::DeviceConnection& c = conn();
    const bool sequential = state_->last_reported_mode == monitor::kModeSequential;
    const std::vector<calibration::SettingWrite> writes = calibration::save_writes(thresholds(), sequential);
    if (c.device_found) {
        // A derived threshold that does not fit in a byte is not sent, and the
        // calibration goes on so that the user can widen the travel and save again.
        if (const auto bad = calibration::first_out_of_range(writes)) {
            dialogs_.critical(this, "Save calibration", QString::fromStdString(calibration::out_of_range_message(*bad)));
            return;
        }
    }
    if (c.device_found) {
        // A crossed pair makes gears unreachable; saving it takes a deliberate yes.
        if (const auto crossed = calibration::crossed_pair(thresholds(), sequential)) {
            if (!dialogs_.confirm(this, "Save calibration",
                                  QString::fromStdString(calibration::crossed_pair_question(*crossed, thresholds()))))
                return;
        }
    }
    set_saved_line("");
    mon().auto_calibrating = false;
    set_calibration_look(false);
    if (!c.device_found) return;
    const calibration::SendOutcome outcome = calibration::send_writes(c, writes);
    if (outcome.failed > 0) {
        dialogs_.critical(this, "Save calibration",
                          "The box did not take the calibration. Check that it is plugged in and save again.");
        return;
    }
    // What the user saved now is the calibration to keep across an update.
    restore_pending_.reset();
    read_back_after(writes, "Save calibration");
}

void frmMain::cmd_factory_reset_Click() {
    set_saved_line("");
    mon().auto_calibrating = false;
    set_calibration_look(false);
    thresholds() = calibration::factory_thresholds();
    state_->known.set();
    if (conn().device_found) calibration::send_writes(conn(), calibration::factory_writes());
    initialise_values();
    Graph->repaint();
    read_device_info();
}


// ---- Firmware update -------------------------------------------------------

namespace {
constexpr int kFreshCopy = NetGrab::ModeFreshCopy;
constexpr int kAnswerDeadlineMs = 60'000;
const char* const kWebsiteError = "Website access error";
const char* const kDownloadError = "Firmware download error";
}  // namespace

double update_bar_fraction(update::Stage stage, std::int64_t done, std::int64_t total) {
    const double part = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
    switch (stage) {
    case update::Stage::Download: return part * 0.05;
    case update::Stage::Settle: return part * 0.05 + 0.05;
    case update::Stage::SecondSettle: return part * 0.05 + 0.1;
    case update::Stage::Flash:
        // After page i (counted from 0) the bar stands at i / pages of the way.
        return done == 0 ? 0.0 : static_cast<double>(done - 1) / static_cast<double>(total) * 0.8 + 0.2;
    }
    return 0.0;
}

QString update_failure_text(const update::FlashOutcome& outcome) {
    const QString sentence = QString::fromStdString(outcome.status.sentence());
    const QString again = "click \"Get latest firmware\" once more.";
    switch (outcome.status.fault()) {
    case device::Fault::NoDevice: return sentence + " Plug it in and try again.";
    case device::Fault::Missing: return sentence + " Unplug the box, plug it in again and " + again;
    case device::Fault::Failed: return sentence + " Click \"Get latest firmware\" to write the firmware again.";
    case device::Fault::Ambiguous:
        return sentence + " Unplug the other boxes, leave only this one plugged in and " + again;
    default: return sentence;
    }
}

void frmMain::cmd_CheckFirmware_Click() {
    // Asking again while the service is asked replaces the question.
    if (update_state_ != UpdateState::Idle && update_state_ != UpdateState::Asking) return;
    update_ = std::make_unique<update::UpdateSequence>(conn(), flash_environment(), flash_limits);
    update_state_ = UpdateState::Asking;
    const update::QueryTexts texts{lblSerialNumber->text(), Text9->text(), Text10->text(), Text8->text(),
                                   Text7->text()};
    NetGetInfo->set_transfer_deadline_ms(kAnswerDeadlineMs);
    NetGetInfo->DownloadStart(update_->query_url(config_.update_host, texts), kFreshCopy);
}

void frmMain::website_error(const char* title) {
    dialogs_.critical(this, title, "Try downloading firmware from " + config_.update_host + " manually");
}

void frmMain::NetGetInfo_DownloadComplete(int) {
    if (update_state_ != UpdateState::Asking) return;
    update_state_ = UpdateState::Idle;
    const device::Result<update::Offer> offer = update_->take_answer(NetGetInfo->Bytes());
    if (!offer) {
        dialogs_.critical(this, kWebsiteError,
                          "The update service gave an answer this tool cannot use (" +
                              QString::fromStdString(offer.sentence()) + "). Try downloading firmware from " +
                              config_.update_host + " manually");
        return;
    }
    const update::UpdateAnswer& answer = update_->answer();
    const QString version = update::version_display(answer.version_text);
    switch (*offer) {
    case update::Offer::Upgrade:
        if (dialogs_.question(this, "Found new firmware", "Upgrade to version " + version + " now?")) {
            set_bar(0);
            Pic->show();
            update_state_ = UpdateState::Downloading;
            cmd_CheckFirmware->setEnabled(false);
            NetGetFirmware->set_transfer_deadline_ms(NetGrab::deadline_ms_for_size(answer.size));
            NetGetFirmware->DownloadStart(answer.url, kFreshCopy);
        }
        break;
    case update::Offer::AlreadyLatest:
        dialogs_.information(this, "No new firmware", "Already running latest firmware version " + version);
        break;
    case update::Offer::Older:
        break;
    }
}

void frmMain::NetGetInfo_DownloadFailed(int, const QString&) { website_unreachable(); }

void frmMain::website_unreachable() {
    update_state_ = UpdateState::Idle;
    Pic->hide();
    website_error(kWebsiteError);
    cmd_CheckFirmware->setEnabled(true);
}

void frmMain::set_bar(double fraction) {
    Progress->resize(static_cast<int>(fraction * Pic->width()), Progress->height());
}

void frmMain::NetGetFirmware_DownloadProgress(int nBytes) {
    if (update_) update_->download_progress(nBytes);
    QCoreApplication::processEvents();
}

void frmMain::NetGetFirmware_DownloadComplete(int) {
    if (const device::Status image = update_->take_image(NetGetFirmware->Bytes()); !image) {
        update_state_ = UpdateState::Idle;
        website_error(kDownloadError);
        cmd_CheckFirmware->setEnabled(true);
    } else {
        // The calibration to offer back if the new firmware starts from other
        // thresholds: as last read from the box, or, for a box that is in its
        // bootloader after an update that broke off, as kept for its serial.
        if (state_->box_thresholds && conn().application())
            restore_pending_ = calibration::make_backup(static_cast<std::uint16_t>(conn().product_id),
                                                        conn().hid_attributes.version_number, state_->serial,
                                                        *state_->box_thresholds);
        else
            restore_pending_ = store_.last_read(state_->serial);
        update_state_ = UpdateState::HandingOver;
        const update::FlashOutcome outcome = switch_to_bootloader();
        if (outcome.status) {
            update_state_ = UpdateState::Restarting;
            restart_deadline_.setRemainingTime(flash_limits.bootloader_passes * 100);
        } else {
            update_state_ = UpdateState::Idle;
            // The application still runs with the calibration it had.
            if (conn().application()) restore_pending_.reset();
            if (!closing_) {
                dialogs_.critical(this, "Firmware update error", update_failure_text(outcome));
                // The box may stay open as it was; let the user try again.
                cmd_CheckFirmware->setEnabled(conn().device_found);
            }
        }
    }
    Pic->hide();
}

void frmMain::NetGetFirmware_DownloadFailed(int, const QString&) { website_unreachable(); }

update::FlashOutcome frmMain::switch_to_bootloader() { return update_->write(); }

void frmMain::end_restart_wait_if_over() {
    if (update_state_ != UpdateState::Restarting) return;
    if (!conn().application() && !restart_deadline_.hasExpired()) return;
    update_state_ = UpdateState::Idle;
}

void frmMain::pause_ms(int ms) {
    // The window stays responsive for the whole wait: ticks, repaints and
    // clicks run inside it.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

update::FlashEnvironment frmMain::flash_environment() {
    update::FlashEnvironment env;
    env.backend = &backend_;
    env.vendor_id = config_.vendor_id;
    env.found = [this] {
        // The search replaced the connection.
        state_->known.reset();
        state_->box_thresholds.reset();
        show_notice();
    };
    env.pause = [this](int ms) {
        if (pause)
            pause(ms);
        else
            pause_ms(ms);
    };
    env.pump = [] { QCoreApplication::processEvents(); };
    env.progress = [this](update::Stage stage, std::int64_t done, std::int64_t total) {
        if (stage == update::Stage::Flash && done == 0) {
            update_state_ = UpdateState::Flashing;
            Progress->show();
        }
        set_bar(update_bar_fraction(stage, done, total));
        if (stage == update::Stage::Flash) Progress->repaint();
    };
    env.stop_requested = [this] { return closing_; };
    return env;
}
