// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fetches one URL at a time into memory in the background and reports
// progress, completion and failure as signals on the thread that owns it (the
// window's). The window keeps one for the update answer and one for the
// firmware image.
//
// A read that is replaced by a new DownloadStart reports nothing at all: each
// reply is matched against the read that is current now, so a late failure of
// an abandoned read is never taken for the outcome of the one that replaced it.

#include <QByteArray>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

class NetGrab : public QObject {
    Q_OBJECT
public:
    // DownloadStart's mode that asks for a fresh copy from the server, never
    // one from a cache on the way. The window asks for it every time, since
    // the service's offer changes without the URL changing.
    static constexpr int ModeFreshCopy = 16;

    static constexpr int DefaultTransferTimeoutMs = 30'000;
    // The idle time-out above never trips on a server that sends a byte now
    // and then; a read that has not ended this long after its start fails.
    static constexpr int DefaultTransferDeadlineMs = 60'000;
    // No read runs longer than this, whatever its size or caller asks. A box's
    // image of a few tens of KiB arrives within it even at 1 KiB/s, and the
    // user waits at a progress bar meanwhile: a read still running after ten
    // minutes has a stalled or hostile server at the other end, which could
    // otherwise keep it open for days by announcing a large size and sending a
    // byte now and then.
    static constexpr int MaxTransferDeadlineMs = 10 * 60'000;
    // A read that receives less than the floor in any window of this length
    // fails as a stalled one: a service that trickles a byte every few
    // seconds never trips the idle time-out, and would otherwise keep the
    // user at the progress bar until the ten minutes are up.
    static constexpr int DefaultLowSpeedWindowMs = 30'000;
    static constexpr qint64 DefaultLowSpeedFloorBytes = 1024;
    // A box's firmware image is a few tens of KiB and the update answer a line
    // of text; a body past this is not ours, and a server that sends one must
    // not be able to fill the memory. The update library's image limit
    // (update::kMaxImageBytes) is the same.
    static constexpr qint64 DefaultMaxBodyBytes = 16 * 1024 * 1024;

    // DownloadFailed's errNum is the HTTP status when the server answered
    // with an error status (400 and up), a QNetworkReply::NetworkError when
    // the transfer itself failed, or one of these (past both ranges) when the
    // read was refused here.
    static constexpr int ErrorBodyTooLarge = 1001;
    static constexpr int ErrorBadUrl = 1002;

    explicit NetGrab(QObject* parent = nullptr);
    ~NetGrab() override;

    // True from DownloadStart until the read's DownloadComplete or
    // DownloadFailed is raised (already false inside those handlers).
    bool Busy() const { return busy_; }
    // The bytes of the last completed read, or while a read runs the bytes
    // received so far. A failure leaves them as they were.
    QByteArray Bytes() const { return received_; }

    // Empty URL: nothing happens. While busy, the running read is abandoned
    // without any signal and the new one starts.
    void DownloadStart(const QString& url, int mode);
    // Stops the running read; it ends with DownloadFailed (operation
    // cancelled), delivered from the event loop, and stays Busy until then.
    void DownloadCancel();
    // Writes the received bytes to fileName, replacing it completely. False if
    // nothing was received (an empty read, or the last read failed) or the
    // file cannot be written; a failed write leaves any old file untouched.
    bool SaveAs(const QString& fileName);

    int transfer_timeout_ms() const { return transfer_timeout_ms_; }
    // No bytes for this long and the read fails; applies from the next start.
    void set_transfer_timeout_ms(int ms) { transfer_timeout_ms_ = ms; }
    int transfer_deadline_ms() const { return transfer_deadline_ms_; }
    // Counted from DownloadStart, however the bytes come. The read then fails
    // with QNetworkReply::TimeoutError. At most MaxTransferDeadlineMs, which
    // is also what 0 or less gets. Applies from the next start.
    void set_transfer_deadline_ms(int ms) {
        transfer_deadline_ms_ = ms > 0 && ms < MaxTransferDeadlineMs ? ms : MaxTransferDeadlineMs;
    }
    // Less than floor_bytes in window_ms and the read fails with
    // QNetworkReply::TimeoutError; 0 for either turns the check off. Applies
    // from the next start.
    void set_low_speed_limit(qint64 floor_bytes, int window_ms) {
        low_speed_floor_ = floor_bytes;
        low_speed_window_ms_ = window_ms;
    }
    qint64 max_body_bytes() const { return max_body_bytes_; }
    // Any limit, small ones included: a body, announced or not, that would
    // pass it ends the read with ErrorBodyTooLarge before it is taken.
    void set_max_body_bytes(qint64 bytes) { max_body_bytes_ = bytes; }

signals:
    void DownloadComplete(int nBytes);
    void DownloadFailed(int errNum, const QString& errDesc);
    void DownloadProgress(int nBytes);

private:
    void on_meta_data(QNetworkReply* reply);
    void on_ready_read(QNetworkReply* reply);
    void on_finished(QNetworkReply* reply);
    void on_deadline();
    void on_low_speed_window();
    // False if the answer's announced length ended the read (and reported it).
    bool headers_acceptable(QNetworkReply* reply);
    // The answer's HTTP status if it is an error status, else 0.
    static int error_status(QNetworkReply* reply);
    void discard_error_page(QNetworkReply* reply);
    // Takes what the reply holds into received_: the number of bytes taken,
    // or -1 if they would pass the limit (the read has then failed).
    qint64 take_available(QNetworkReply* reply);
    // Lets go of the current reply without any signal reaching us from it.
    void abandon_reply();
    void fail(int errNum, const QString& errDesc);
    // Reports a failure later, from the event loop, unless read `read` has
    // been replaced by then.
    void fail_later(quint64 read, int errNum, const QString& errDesc);

    QNetworkAccessManager* manager_;
    QNetworkReply* reply_ = nullptr;
    QTimer* deadline_;          // runs while reply_ is set
    QTimer* low_speed_;         // ends each window of the low-speed check while reply_ is set
    qint64 window_bytes_ = 0;   // bytes arrived in the current window
    quint64 read_ = 0;          // counts starts; names the current read
    bool busy_ = false;
    bool fresh_bytes_ = false;  // received_ already holds bytes of the current read
    qint64 skipped_ = 0;        // bytes of an error page dropped so far
    QByteArray received_;
    int received_count_ = 0;
    int transfer_timeout_ms_ = DefaultTransferTimeoutMs;
    int transfer_deadline_ms_ = DefaultTransferDeadlineMs;
    qint64 max_body_bytes_ = DefaultMaxBodyBytes;
    qint64 low_speed_floor_ = DefaultLowSpeedFloorBytes;
    int low_speed_window_ms_ = DefaultLowSpeedWindowMs;
};
