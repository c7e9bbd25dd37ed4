#include "frmMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QFrame>

#include <QEventLoop>

#include "Commands.h"
#include "Dialogs.h"
#include "NetGrab.h"
#include "UpdateQuery.h"
#include "Products.h"
#include "Readout.h"
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

}  // namespace

frmMain::frmMain(device::HidBackend& backend, Dialogs& dialogs, AppConfig config, QWidget* parent)
    : QWidget(parent), backend_(backend), dialogs_(dialogs), config_(std::move(config)),
      state_(std::make_unique<WindowState>()) {
    setObjectName("frmMain");
    build_controls();

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

    auto button = [this](const char* name, const char* caption, int l, int t, int w, int h) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        place(b, l, t, w, h);
        return b;
    };
    auto text_box = [this](const char* name, int l, int t, int w, int h) {
        auto* e = new QLineEdit("0", this);
        e->setObjectName(name);
        place(e, l, t, w, h);
        return e;
    };
    auto label = [](QWidget* parent, const char* name, const char* caption, int l, int t, int w, int h) {
        auto* lab = new QLabel(caption, parent);
        lab->setObjectName(name);
        place(lab, l, t, w, h);
        return lab;
    };
    auto marker = [this](const char* name, int l, int t, int w, int h) {
        auto* m = new QWidget(this);
        m->setObjectName(name);
        m->setAutoFillBackground(true);
        QPalette p = m->palette();
        p.setColor(QPalette::Window, kRed);
        m->setPalette(p);
        place(m, l, t, w, h);
        m->hide();
        return m;
    };

    cmd_auto_cal = button("cmd_auto_cal", "Start calibration", 720, 7200, 2500, 495);
    cmd_factory_reset = button("cmd_factory_reset", "Factory reset", 3600, 8160, 2500, 495);

    // The update's progress frame: visible as an empty box while the image is
    // fetched and the box restarts, filled by the bar while it is written.
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(1);
    frame->setAutoFillBackground(true);
    Pic = frame;
    Pic->setObjectName("Pic");
    place(Pic, 1080, 8760, 4950, 100);
    Pic->hide();
    Progress = new QWidget(Pic);
    Progress->setObjectName("Progress");
    Progress->setAutoFillBackground(true);
    {
        QPalette p = Progress->palette();
        p.setColor(QPalette::Window, QColor(0, 0, 128));
        Progress->setPalette(p);
    }
    place(Progress, 0, 0, 4995, 195);
    Progress->hide();

    cmd_CheckFirmware = button("cmd_CheckFirmware", "Get latest firmware", 720, 8160, 2500, 495);
    btnUpdate = button("btnUpdate", "Save calibration", 3600, 7200, 2500, 495);
    Text10 = text_box("Text10", 3960, 2160, 735, 375);
    Text9 = text_box("Text9", 2160, 2160, 735, 375);
    Text8 = text_box("Text8", 5640, 5760, 735, 375);
    Text7 = text_box("Text7", 5640, 3240, 735, 375);

    Timer = new QTimer(this);
    Timer->setObjectName("Timer");

    Frame1 = new QGroupBox("Information", this);
    Frame1->setObjectName("Frame1");
    place(Frame1, 120, 120, 6495, 1815);
    Frame1->setEnabled(false);
    lblSerialNumber = label(Frame1, "lblSerialNumber", "", 1920, 1440, 3420, 330);
    lblVersion = label(Frame1, "lblVersion", "", 1920, 1080, 3420, 330);
    lblProduct = label(Frame1, "lblProduct", "", 1920, 720, 3780, 330);
    lblManuf = label(Frame1, "lblManuf", "", 1920, 360, 3780, 330);
    Label2 = label(Frame1, "Label2", "Firmware version", 240, 1080, 1695, 285);
    Label5 = label(Frame1, "Label5", "Product name", 240, 720, 1575, 285);
    Label4 = label(Frame1, "Label4", "Manufacturer", 240, 360, 1215, 285);
    Label3 = label(Frame1, "Label3", "Serial number", 240, 1440, 1815, 285);
    for (QLabel* l : {Label2, Label3, Label4, Label5}) l->setEnabled(false);

    Graph = new monitor::GraphView(this);
    Graph->setObjectName("Graph");
    place(Graph, 1485, 2760, 3900, 3900);

    Gear = label(this, "Gear", "1", 5640, 4080, 795, 1365);
    {
        QFont f("Arial", 48);
        f.setBold(true);
        Gear->setFont(f);
        Gear->setAlignment(Qt::AlignCenter);
    }
    TickV2 = marker("TickV2", 5380, 3120, 200, 45);
    TickV1 = marker("TickV1", 1290, 3120, 200, 45);
    TickH1 = marker("TickH1", 1560, 2570, 45, 200);
    TickH2 = marker("TickH2", 1560, 6650, 45, 200);
    lblY = label(this, "lblY", "000", 600, 4560, 615, 255);
    lblY->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblX = label(this, "lblX", "000", 2880, 6860, 1005, 375);
    lblX->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // Sits over the lower half of the information frame, outside it, so that it
    // stays readable while the frame is greyed.
    lblNotice = label(this, "lblNotice", "", 360, 1100, 6135, 800);
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

    // A threshold the user types becomes known; which one a box holds follows
    // the mode on show.
    const std::pair<QLineEdit*, std::pair<int, int>> typed[] = {{Text9, {device::kH1, device::kH1}},
                                                                {Text10, {device::kH2, device::kH2}},
                                                                {Text8, {device::kV1, device::kS1}},
                                                                {Text7, {device::kV2, device::kS2}}};
    for (const auto& [box, index] : typed)
        connect(box, &QLineEdit::textEdited, this, [this, index = index] {
            const bool sequential = state_->last_reported_mode == monitor::kModeSequential;
            state_->known.set(static_cast<std::size_t>(sequential ? index.second : index.first));
        });

    connect(Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
    connect(cmd_auto_cal, &QPushButton::clicked, this, &frmMain::cmd_auto_cal_Click);
    connect(btnUpdate, &QPushButton::clicked, this, &frmMain::btnUpdate_Click);
    connect(cmd_factory_reset, &QPushButton::clicked, this, &frmMain::cmd_factory_reset_Click);
    connect(cmd_CheckFirmware, &QPushButton::clicked, this, &frmMain::cmd_CheckFirmware_Click);

    NetGetInfo = new NetGrab(this);
    NetGetInfo->setObjectName("NetGetInfo");
    NetGetFirmware = new NetGrab(this);
    NetGetFirmware->setObjectName("NetGetFirmware");
    connect(NetGetInfo, &NetGrab::DownloadComplete, this, &frmMain::NetGetInfo_DownloadComplete);
    connect(NetGetInfo, &NetGrab::DownloadFailed, this, &frmMain::NetGetInfo_DownloadFailed);
    connect(NetGetFirmware, &NetGrab::DownloadProgress, this, &frmMain::NetGetFirmware_DownloadProgress);
    connect(NetGetFirmware, &NetGrab::DownloadComplete, this, &frmMain::NetGetFirmware_DownloadComplete);
    connect(NetGetFirmware, &NetGrab::DownloadFailed, this, &frmMain::NetGetFirmware_DownloadFailed);
}

monitor::MonitorControls frmMain::monitor_controls() const {
    monitor::MonitorControls c;
    c.Gear = Gear;
    c.lblX = lblX;
    c.lblY = lblY;
    c.Text7 = Text7;
    c.Text8 = Text8;
    c.Text9 = Text9;
    c.Text10 = Text10;
    c.Graph = Graph;
    c.TickV1 = TickV1;
    c.TickV2 = TickV2;
    c.TickH1 = TickH1;
    c.TickH2 = TickH2;
    return c;
}

bool frmMain::FindTheHid() {
    // Thresholds known of an earlier box (or an earlier appearance of this
    // one) say nothing about the box found now.
    state_->known.reset();
    const bool found = device::FindTheHid(backend_, conn(), config_.vendor_id);
    show_notice();
    return found;
}

void frmMain::show_notice() {
    const device::DeviceConnection& c = conn();
    QString text;
    if (c.device_found && !c.not_served.empty())
        text = QString::fromStdString(c.not_served);
    else if (!c.device_found && c.open_error)
        text = QString::fromStdString(c.open_error.reason);
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
    if (device::is_application(conn().product_id) && conn().served()) {
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
    cmd_CheckFirmware->setEnabled(!update_running_);
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

void frmMain::Timer_Timer() {
    device::DeviceConnection& c = conn();
    bool searched_after_removal = false;
    if (c.device_found) {
        const device::DrainResult read = device::drain_input(c);
        if (read == device::DrainResult::Reports && c.application() && c.served()) {
            monitor::process_batch(c.input_report.data(), c.bytes_read, c.hid_caps.input_report_length, mon(),
                                   thresholds(), monitor_controls());
            state_->last_reported_mode = c.input_report[5] & monitor::kModeSequential;
            if (mon().auto_calibrating)
                state_->known |= calibration::mode_settings(state_->last_reported_mode == monitor::kModeSequential);
        }
        // Nothing read: a silent box still answers the probe; a removed one does not.
        if (!c.last_result && !device::probe_presence(c)) {
            c.device_found = false;
            c.close_handles();
            mon().shown_mode = monitor::kModeNone;
            initialise_values();
            c.device_found = FindTheHid();
            if (c.device_found)
                EnableUI();
            else
                DisableUI();
            searched_after_removal = true;
        }
        if (!searched_after_removal && Timer->interval() != kConnectedInterval) Timer->setInterval(kConnectedInterval);
    }
    if (!c.device_found) {
        c.device_found = FindTheHid();
        if (c.device_found) EnableUI();
    }
    if (awaiting_restart_) {
        end_restart_wait_if_over();
        if (!awaiting_restart_) cmd_CheckFirmware->setEnabled(c.device_found);
    }
}

void frmMain::end_restart_wait_if_over() {
    if (!awaiting_restart_) return;
    if (!conn().application() && !restart_deadline_.hasExpired()) return;
    awaiting_restart_ = false;
    update_running_ = false;
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
const char* const kWebsiteError = "Website access error";
const char* const kDownloadError = "Firmware download error";
}  // namespace

void frmMain::cmd_CheckFirmware_Click() {
    if (update_running_) return;
    device::DeviceConnection& c = conn();
    update::QueryFields f;
    f.attributes = c.hid_attributes;
    if (!c.bootloader()) {
        device::MemoryDump dump{};
        // A dump the box did not give is left out rather than filled with
        // whatever the buffer held.
        if (device::read_memory(c, dump) == device::CommandResult::Sent) f.memory_dump = update::dump_hex(dump);
    }
    f.serial_caption = lblSerialNumber->text();
    f.h1_text = Text9->text();
    f.h2_text = Text10->text();
    f.v1_text = Text8->text();
    f.v2_text = Text7->text();
    NetGetInfo->set_transfer_deadline_ms(60'000);
    NetGetInfo->DownloadStart(update::build_update_url(config_.update_host, f), kFreshCopy);
}

void frmMain::website_error(const char* title) {
    dialogs_.critical(this, title, "Try downloading firmware from " + config_.update_host + " manually");
}

void frmMain::NetGetInfo_DownloadComplete(int) {
    QString reason;
    const std::optional<update::UpdateAnswer> answer = update::parse_update_answer(NetGetInfo->Bytes(), &reason);
    if (!answer) {
        dialogs_.critical(this, kWebsiteError,
                          "The update service gave an answer this tool cannot use (" + reason +
                              "). Try downloading firmware from " + config_.update_host + " manually");
        return;
    }
    state_->firmware_size = answer->size;
    const QString version = update::version_display(answer->version_text);
    switch (update::decide_offer(*answer, conn().hid_attributes.version_number, conn().bootloader())) {
    case update::Offer::Upgrade:
        if (dialogs_.question(this, "Found new firmware", "Upgrade to version " + version + " now?")) {
            set_bar(0);
            Pic->show();
            update_running_ = true;
            cmd_CheckFirmware->setEnabled(false);
            NetGetFirmware->set_transfer_deadline_ms(NetGrab::deadline_ms_for_size(answer->size));
            NetGetFirmware->DownloadStart(answer->url, kFreshCopy);
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
    update_running_ = false;
    Pic->hide();
    website_error(kWebsiteError);
    cmd_CheckFirmware->setEnabled(true);
}

void frmMain::set_bar(double fraction) {
    Progress->resize(static_cast<int>(fraction * Pic->width()), Progress->height());
}

void frmMain::NetGetFirmware_DownloadProgress(int nBytes) {
    if (state_->firmware_size > 0) set_bar(static_cast<double>(nBytes) / state_->firmware_size * 0.05);
    QCoreApplication::processEvents();
}

void frmMain::NetGetFirmware_DownloadComplete(int) {
    const QByteArray bytes = NetGetFirmware->Bytes();
    if (update::check_image(bytes.size(), state_->firmware_size)) {
        update_running_ = false;
        website_error(kDownloadError);
        cmd_CheckFirmware->setEnabled(true);
    } else {
        state_->firmware_image = bytes;
        flashing_ = true;
        const update::FlashOutcome outcome = switch_to_bootloader();
        flashing_ = false;
        if (outcome.result == update::FlashResult::Done) {
            awaiting_restart_ = true;
            restart_deadline_.setRemainingTime(flash_limits.bootloader_passes * 100);
        } else {
            update_running_ = false;
        }
        if (outcome.result != update::FlashResult::Done && !closing_) {
            dialogs_.critical(this, "Firmware update error", update::outcome_message(outcome));
            // The box may stay open as it was; let the user try again.
            cmd_CheckFirmware->setEnabled(conn().device_found);
        }
    }
    Pic->hide();
}

void frmMain::NetGetFirmware_DownloadFailed(int, const QString&) { website_unreachable(); }

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
        // The search for the bootloader replaced the connection.
        state_->known.reset();
        show_notice();
    };
    env.find = [this] {
        conn().device_found = FindTheHid();
        return conn().device_found;
    };
    env.pause = [this](int ms) {
        if (pause)
            pause(ms);
        else
            pause_ms(ms);
    };
    env.pump = [] { QCoreApplication::processEvents(); };
    env.bar = [this](double f) {
        set_bar(f);
        Progress->repaint();
    };
    env.show_bar = [this] { Progress->show(); };
    env.stop_requested = [this] { return closing_; };
    return env;
}

update::FlashOutcome frmMain::switch_to_bootloader() {
    return update::switch_to_bootloader(conn(), state_->firmware_image, flash_environment(), flash_limits);
}

void frmMain::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    Timer->stop();
    // A write in progress finishes the image first (a half-written box would
    // have to be flashed again) and closes the handles itself; the bootloader
    // takes nothing else anyway.
    if (flashing_) return;
    device::DeviceConnection& c = conn();
    if (!c.device_found) return;
    device::set_tool_attached(c, false);
    calibration::send_fitting_writes(c, calibration::known_writes(calibration::all_writes(thresholds()), state_->known));
    c.close_handles();
}

void frmMain::closeEvent(QCloseEvent* e) {
    closing_ = true;
    unload();
    e->accept();
}
