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
};

const Control kControls[] = {
    {&frmMain::cmd_auto_cal, "cmd_auto_cal", Kind::Button, "Start calibration", 720, 7200, 2500, 495},
    {&frmMain::cmd_factory_reset, "cmd_factory_reset", Kind::Button, "Factory reset", 3600, 8160, 2500, 495},
    {&frmMain::Pic, "Pic", Kind::Frame, "", 1080, 8760, 4950, 100},
    {&frmMain::Progress, "Progress", Kind::Bar, "", 0, 0, 4995, 195},
    {&frmMain::cmd_CheckFirmware, "cmd_CheckFirmware", Kind::Button, "Get latest firmware", 720, 8160, 2500, 495},
    {&frmMain::btnUpdate, "btnUpdate", Kind::Button, "Save calibration", 3600, 7200, 2500, 495},
    {&frmMain::Text10, "Text10", Kind::Text, "0", 3960, 2160, 735, 375},
    {&frmMain::Text9, "Text9", Kind::Text, "0", 2160, 2160, 735, 375},
    {&frmMain::Text8, "Text8", Kind::Text, "0", 5640, 5760, 735, 375},
    {&frmMain::Text7, "Text7", Kind::Text, "0", 5640, 3240, 735, 375},
    {&frmMain::lblSerialNumber, "lblSerialNumber", Kind::FrameLabel, "", 1920, 1440, 3420, 330},
    {&frmMain::lblVersion, "lblVersion", Kind::FrameLabel, "", 1920, 1080, 3420, 330},
    {&frmMain::lblProduct, "lblProduct", Kind::FrameLabel, "", 1920, 720, 3780, 330},
    {&frmMain::lblManuf, "lblManuf", Kind::FrameLabel, "", 1920, 360, 3780, 330},
    {&frmMain::Label2, "Label2", Kind::FrameLabel, "Firmware version", 240, 1080, 1695, 285},
    {&frmMain::Label5, "Label5", Kind::FrameLabel, "Product name", 240, 720, 1575, 285},
    {&frmMain::Label4, "Label4", Kind::FrameLabel, "Manufacturer", 240, 360, 1215, 285},
    {&frmMain::Label3, "Label3", Kind::FrameLabel, "Serial number", 240, 1440, 1815, 285},
    {&frmMain::Gear, "Gear", Kind::Label, "1", 5640, 4080, 795, 1365},
    {&frmMain::TickV2, "TickV2", Kind::Marker, "", 5380, 3120, 200, 45},
    {&frmMain::TickV1, "TickV1", Kind::Marker, "", 1290, 3120, 200, 45},
    {&frmMain::TickH1, "TickH1", Kind::Marker, "", 1560, 2570, 45, 200},
    {&frmMain::TickH2, "TickH2", Kind::Marker, "", 1560, 6650, 45, 200},
    {&frmMain::lblY, "lblY", Kind::Label, "000", 600, 4560, 615, 255},
    {&frmMain::lblX, "lblX", Kind::Label, "000", 2880, 6860, 1005, 375},
    // Over the lower half of the information frame, outside it, so that it
    // stays readable while the frame is greyed.
    {&frmMain::lblNotice, "lblNotice", Kind::Label, "", 360, 1100, 6135, 800},
};

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
    place(w, c.left, c.top, c.width, c.height);
    return w;
}

}  // namespace

// ---- Load, layout and unload ------------------------------------------------

frmMain::frmMain(device::HidBackend& backend, Dialogs& dialogs, AppConfig config, QWidget* parent)
    : QWidget(parent), backend_(backend), dialogs_(dialogs), config_(std::move(config)),
      state_(std::make_unique<WindowState>()) {
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
    lblNotice->setStyleSheet("color: #a00000;");
    lblNotice->hide();

    setTabOrder(Text9, Text10);
    setTabOrder(Text10, Text7);
    setTabOrder(Text7, Text8);
    setTabOrder(Text8, btnUpdate);
    setTabOrder(btnUpdate, cmd_CheckFirmware);
    setTabOrder(cmd_CheckFirmware, cmd_factory_reset);
    setTabOrder(cmd_factory_reset, cmd_auto_cal);

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
    for (QLineEdit* box : {Text7, Text8, Text9, Text10})
        connect(box, &QLineEdit::textEdited, this, [this, box] { mark_typed(box); });
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
    const bool found = device::FindTheHid(backend_, conn(), config_.vendor_id);
    show_notice();
    return found;
}

void frmMain::show_notice() {
    const device::BoxClass found = device::classify(conn());
    const QString text =
        found.state == device::BoxState::NotServed ? QString::fromStdString(found.sentence) : QString();
    if (lblNotice->text() != text) lblNotice->setText(text);
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
    for (monitor::GraphLine* l : {Graph->lineV1, Graph->lineV2, Graph->lineH1, Graph->LineH2, Graph->SeqH1, Graph->SeqH2})
        l->setVisible(false);
    for (QWidget* m : {TickV1, TickV2, TickH1, TickH2}) m->hide();
    for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(false);
    Frame1->setEnabled(false);
    for (QLabel* l : {lblManuf, lblProduct, lblVersion, lblSerialNumber}) l->setText("");
    lblX->hide();
    lblY->hide();
    Gear->setText("");
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
}

void frmMain::initialise_values() { monitor::initialise_values(mon(), *Graph); }

void frmMain::read_device_info() {
    device::DeviceConnection& c = conn();
    if (c.device_found) {
        const calibration::DeviceInfo info = calibration::read_device_info(c);
        if (info.thresholds) {
            thresholds() = *info.thresholds;
            state_->known.set();
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
    } else {
        Frame1->setEnabled(false);
        for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(false);
        for (QLabel* l : {lblManuf, lblProduct, lblSerialNumber, lblVersion}) l->setText("");
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
}

void frmMain::set_calibration_look(bool calibrating) {
    for (monitor::GraphLine* l : {Graph->lineH1, Graph->LineH2, Graph->lineV1, Graph->lineV2})
        l->set_color(calibrating ? kRed : kBlue);
    for (monitor::GraphLine* l : {Graph->SeqH1, Graph->SeqH2}) l->set_color(calibrating ? kRed : kGreen);
    for (QLineEdit* t : {Text7, Text8, Text9, Text10}) t->setEnabled(!calibrating);
    cmd_auto_cal->setText(calibrating ? "Cancel calibration" : "Start calibration");
}

void frmMain::cmd_auto_cal_Click() {
    if (!mon().auto_calibrating) {
        mon().auto_calibrating = true;
        for (monitor::GraphLine* l :
             {Graph->lineH1, Graph->LineH2, Graph->lineV1, Graph->lineV2, Graph->SeqH1, Graph->SeqH2})
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
    mon().auto_calibrating = false;
    set_calibration_look(false);
    if (!c.device_found) return;
    const calibration::SendOutcome outcome = calibration::send_writes(c, writes);
    if (outcome.failed > 0)
        dialogs_.critical(this, "Save calibration",
                          "The box did not take the calibration. Check that it is plugged in and save again.");
}

void frmMain::cmd_factory_reset_Click() {
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
        update_state_ = UpdateState::HandingOver;
        const update::FlashOutcome outcome = switch_to_bootloader();
        if (outcome.status) {
            update_state_ = UpdateState::Restarting;
            restart_deadline_.setRemainingTime(flash_limits.bootloader_passes * 100);
        } else {
            update_state_ = UpdateState::Idle;
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
