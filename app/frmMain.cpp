// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/CalibrationController.h"
#include "app/Dialogs.h"
#include "app/GearPanel.h"
#include "app/GearView.h"
#include "app/ThresholdEditor.h"
#include "app/WindowLayout.h"
#include "app/WindowSizer.h"
#include "calibration/Readout.h"
#include "calibration/Writes.h"
#include "device/Commands.h"
#include "device/Products.h"

namespace {

constexpr int kConnectedInterval = 50;
constexpr int kSearchInterval = 500;

const char* const kNoBoxText =
    "No box found. Plug the shifter's interface box into a USB port; the tool finds it by itself.";

QString text_of(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// ---- Load and unload --------------------------------------------------------

frmMain::frmMain(device::HidBackend& backend, Dialogs& dialogs, AppConfig config, QWidget* parent)
    : QWidget(parent), backend_(backend), dialogs_(dialogs), config_(std::move(config)),
      state_(std::make_unique<WindowState>()), store_(config_.box_store_folder), session_(state_->conn, &store_) {
    setObjectName("frmMain");
    build(this);
    MainControls& ui = *this;
    editor_ = new ThresholdEditor(ui, state_->thresholds, state_->last_reported_mode, session_, this);
    gears_ = new GearView(state_->mon, state_->thresholds, state_->last_reported_mode,
                          {chkGearView, Graph, design_area, editor_->monitor_controls()}, this);
    updates_ = std::make_unique<UpdateController>(session_, store_, backend_, config_.vendor_id, config_.update_host,
                                                  dialogs_, UpdateWaits{update_limits, pause, clock}, this);
    updates_->attach({this, lblSerialNumber, Text9, Text10, Text8, Text7, cmd_CheckFirmware, cmd_StopDownload, Pic,
                      Progress, lblProgress, [this] { return conn().device_found; }, [this] { return closing_; }});
    NetGetInfo = updates_->NetGetInfo;
    NetGetFirmware = updates_->NetGetFirmware;
    sizer_ = new WindowSizer(*this, ui, *gears_, [this] { lay_out(); });
    calibration_ = new CalibrationController(ui, *state_, session_, dialogs_, *editor_, *updates_, *this);
    wire_controls();
    lay_out();

    // Load.
    mon().auto_calibrating = false;
    initialise_values();
    DisableUI();
    conn().device_found = FindTheHid();
    if (conn().device_found) EnableUI();
    Timer->start();
    // The keyboard starts in h1's box, or with no box on the window itself,
    // never in one of the box's read-only values.
    if (!Text9->isHidden())
        Text9->setFocus(Qt::OtherFocusReason);
    else
        setFocus(Qt::OtherFocusReason);
}

frmMain::~frmMain() { unload(); }

void frmMain::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    Timer->stop();
    // A write in progress finishes the image first (a half-written box would
    // have to be flashed again) and closes the handles itself; the bootloader
    // takes nothing else anyway.
    if (updates_->owns_box()) return;
    // What is being typed counts as typed (a text that is not a threshold
    // leaves the last committed value); a calibration still running is
    // cancelled, not written.
    if (conn().device_found) editor_->commit_drafts();
    session_.close(thresholds(), mon().auto_calibrating);
}

void frmMain::closeEvent(QCloseEvent* e) {
    closing_ = true;
    unload();
    e->accept();
}

void frmMain::wire_controls() {
    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
    connect(cmd_auto_cal, &QPushButton::clicked, calibration_, &CalibrationController::cmd_auto_cal_Click);
    connect(btnUpdate, &QPushButton::clicked, calibration_, &CalibrationController::btnUpdate_Click);
    connect(cmd_factory_reset, &QPushButton::clicked, calibration_, &CalibrationController::cmd_factory_reset_Click);
    connect(calibration_, &CalibrationController::reread, this, &frmMain::read_device_info);
    connect(calibration_, &CalibrationController::info_read, this, &frmMain::show_device_info);
    connect(chkGearView, &QCheckBox::toggled, this, &frmMain::chkGearView_Toggled);
    // The check follows the thresholds, and the suggestion goes into them as
    // a dragged line does.
    connect(editor_, &ThresholdEditor::changed, gears_, [this] { gears_->refresh_gear_check(true); });
    connect(gears_, &GearView::suggested, editor_, &ThresholdEditor::drag_line);
    connect(updates_.get(), &UpdateController::notice_changed, this, &frmMain::show_notice);
    connect(updates_.get(), &UpdateController::saved_line_changed, this, [this](const QString& text) { set_saved_line(text); });
}

void frmMain::lay_out() {
    const int panel = gears_->panel_width();
    MainControls::lay_out(panel);
    editor_->place_boxes(panel);
    gears_->panel()->setGeometry(layout::WindowLayout(design_area->size(), panel).panel());
    // The lines and the drawing follow the map at once, and the markers the
    // position they show.
    Graph->fit_to_area();
    monitor::place_markers(mon(), editor_->monitor_controls());
}

// The gear view on or off: the window widens or narrows by its panel, so
// that the map keeps its size.
void frmMain::chkGearView_Toggled(bool on) {
    gears_->show(on);
    sizer_->panel_shown(on);
    lay_out();
    gears_->refresh_gear_check(true);
}

// ---- Finding the box and the control states ---------------------------------

bool frmMain::FindTheHid() {
    const bool found = session_.find(backend_, config_.vendor_id);
    show_notice();
    return found;
}

void frmMain::show_notice() {
    const device::BoxClass found = device::classify(conn());
    bool problem = found.state == device::BoxState::NotServed;
    QString text;
    if (problem) text = text_of(found.sentence);
    if (found.state == device::BoxState::Absent) text = kNoBoxText;
    // While the update has the box, it is gone from the bus at times: say
    // what it is doing rather than ask for it to be plugged in.
    if (const QString stage = updates_->stage_notice(); !stage.isEmpty()) {
        text = stage;
        problem = true;
    }
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
    for (monitor::GraphLine* l : {lineV1, lineV2, lineH1, LineH2, SeqH1, SeqH2}) l->setVisible(false);
    for (QWidget* m : {TickV1, TickV2, TickH1, TickH2}) m->hide();
    for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(false);
    Frame1->setEnabled(false);
    for (QLabel* l : {lblManuf, lblProduct, lblVersion, lblSerialNumber}) l->setText("");
    lblX->hide();
    lblY->hide();
    Gear->setText("");
    set_saved_line("");
    name_value_labels();
    editor_->show_mode_names();
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
    cmd_CheckFirmware->setEnabled(!updates_->running());
    Frame1->setEnabled(true);
    for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(true);
    read_device_info();
    editor_->show_mode_names();
    // A box found with the keyboard nowhere in particular: h1's box takes it.
    if ((focusWidget() == nullptr || focusWidget() == this) && !Text9->isHidden())
        Text9->setFocus(Qt::OtherFocusReason);
    Timer->setInterval(kConnectedInterval);
    calibration_->offer_restore();
}

void frmMain::initialise_values() { monitor::initialise_values(mon(), *Graph); }

void frmMain::read_device_info() {
    if (conn().device_found) {
        show_device_info(session_.read_info());
        // A calibration that could not be kept is not there to offer back
        // after an update that breaks off: the user hears of it now.
        if (const device::Status& kept = session_.store_status(); !kept) set_saved_line(text_of(kept.sentence()));
    } else
        show_device_info({});
}

void frmMain::show_device_info(const calibration::DeviceInfo& info) {
    const device::DeviceConnection& c = conn();
    if (c.device_found) {
        if (info.thresholds) thresholds() = *info.thresholds;
        editor_->show_thresholds();
        mon().shown_mode = monitor::kModeNone;
        if (info.manufacturer) {
            lblManuf->setText(" " + QString::fromLatin1(info.manufacturer->c_str()));
            lblVersion->setText(text_of(*info.version));
        }
        if (info.product) lblProduct->setText(" " + QString::fromLatin1(info.product->c_str()));
        if (info.serial) lblSerialNumber->setText(" " + QString::fromLatin1(info.serial->c_str()));
    } else {
        Frame1->setEnabled(false);
        for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(false);
        for (QLabel* l : {lblManuf, lblProduct, lblSerialNumber, lblVersion}) l->setText("");
    }
    name_value_labels();
    setWindowTitle(calibration::window_title(c.device_found, c.product_id));
}

// ---- The live monitor --------------------------------------------------------

void frmMain::Timer_Timer() {
    editor_->apply_drag();
    // From the hand-over to the last page the update owns the connection.
    if (updates_->owns_box()) return;
    device::DeviceConnection& c = conn();
    if (c.device_found) {
        const device::Poll polled = device::poll(c);
        if (polled == device::Poll::Reports && device::classify(c).state == device::BoxState::Ready) {
            if (const auto mode = monitor::process_batch(c.input_report.data(), c.bytes_read,
                                                         c.hid_caps.input_report_length, mon(), thresholds(),
                                                         editor_->monitor_controls()))
                state_->last_reported_mode = *mode;
            gears_->refresh_gear_check(false);
            if (described_mode_ != state_->last_reported_mode) {
                described_mode_ = state_->last_reported_mode;
                editor_->describe_boxes();
            }
            editor_->show_mode_names();
            editor_->follow_lines();
            if (Gear->accessibleName() != "Gear " + Gear->text()) Gear->setAccessibleName("Gear " + Gear->text());
            if (mon().auto_calibrating)
                session_.mark_derived(calibration::mode_settings(state_->last_reported_mode == monitor::kModeSequential));
        }
        if (polled == device::Poll::Gone)
            lose_box_and_search();
        else if (Timer->interval() != kConnectedInterval)
            Timer->setInterval(kConnectedInterval);
        // The updated box still waiting in its bootloader: in time yet, or
        // not coming back.
        if (updates_->restarting() && c.device_found && c.bootloader()) updates_->sequence()->check_restart_time();
    }
    if (!c.device_found) {
        c.device_found = search();
        if (c.device_found) EnableUI();
    }
    updates_->show_update_end();
}

// The tick's search: any box, or while the updated box restarts, that box only.
bool frmMain::search() {
    if (!updates_->restarting()) return FindTheHid();
    const bool back = updates_->sequence()->look_for_restart();
    show_notice();
    if (back || conn().device_found) return true;
    // Not coming back: any box again.
    if (!updates_->restarting()) return FindTheHid();
    return false;
}

void frmMain::lose_box_and_search() {
    device::DeviceConnection& c = conn();
    c.device_found = false;
    c.close_handles();
    mon().shown_mode = monitor::kModeNone;
    initialise_values();
    c.device_found = search();
    if (c.device_found)
        EnableUI();
    else
        DisableUI();
}
