// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/NetGrab.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <algorithm>
#include <climits>
#include <utility>

NetGrab::NetGrab(QObject* parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this)), deadline_(new QTimer(this)),
      low_speed_(new QTimer(this)) {
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, &NetGrab::on_deadline);
    connect(low_speed_, &QTimer::timeout, this, &NetGrab::on_low_speed_window);
    // The update service may move its images (http to https included); a
    // redirect that would drop from https to http is refused and fails.
    manager_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

NetGrab::~NetGrab() { abandon_reply(); }

void NetGrab::DownloadStart(const QString& url, int mode) {
    if (url.isEmpty()) return;
    abandon_reply();
    const quint64 read = ++read_;
    busy_ = true;
    fresh_bytes_ = false;
    skipped_ = 0;

    // Tolerant parsing: the update query carries its values unescaped, and a
    // space in a serial number or a threshold box is sent percent-encoded.
    const QUrl target(url, QUrl::TolerantMode);
    const QString scheme = target.scheme().toLower();
    // A read that cannot begin still ends the busy state with a failure:
    // otherwise the window would wait for an answer that never comes.
    if (!target.isValid() || target.isRelative() || target.host().isEmpty()) {
        fail_later(read, ErrorBadUrl, tr("Malformed URL: %1").arg(url));
        return;
    }
    // The image URL comes from the service's answer; nothing it says may make
    // the tool read a local file or resource and flash that into the box.
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        fail_later(read, ErrorBadUrl, tr("Unsupported URL scheme: %1").arg(target.scheme()));
        return;
    }

    QNetworkRequest request(target);
    if (transfer_timeout_ms_ > 0) request.setTransferTimeout(transfer_timeout_ms_);
    // The mode is a set of option bits; only the fresh-copy bit means anything
    // here, every other read may be served however the network chooses.
    if (mode & ModeFreshCopy) {
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        // Caches between us and the service must not answer either.
        request.setRawHeader("Cache-Control", "no-cache");
    }

    QNetworkReply* reply = manager_->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { on_meta_data(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { on_ready_read(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { on_finished(reply); });
    deadline_->start(transfer_deadline_ms_);
    window_bytes_ = 0;
    if (low_speed_floor_ > 0 && low_speed_window_ms_ > 0) low_speed_->start(low_speed_window_ms_);
}

void NetGrab::DownloadCancel() {
    // Idle, or the read's end is already on its way: nothing to stop.
    if (!reply_) return;
    abandon_reply();
    // Reported from the event loop so that a caller inside one of our own
    // handlers is not re-entered; a start before then supersedes it.
    fail_later(read_, QNetworkReply::OperationCanceledError, tr("Download cancelled"));
}

bool NetGrab::SaveAs(const QString& fileName) {
    if (received_count_ == 0) return false;
    // Written aside and renamed over the old file on commit: a full disk or a
    // failed write leaves the old file as it was, never half a new one.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(received_.constData(), received_count_) != received_count_) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void NetGrab::on_meta_data(QNetworkReply* reply) {
    if (reply != reply_) return;
    headers_acceptable(reply);
}

void NetGrab::on_ready_read(QNetworkReply* reply) {
    if (reply != reply_) return;
    if (!headers_acceptable(reply)) return;
    if (error_status(reply)) {
        discard_error_page(reply);
        return;
    }
    if (take_available(reply) > 0) emit DownloadProgress(received_count_);
}

void NetGrab::on_finished(QNetworkReply* reply) {
    if (reply != reply_) return;
    if (!headers_acceptable(reply)) return;

    // The status says more than the transfer error Qt derives from it.
    if (const int status = error_status(reply)) {
        const QString reason =
            QString::fromLatin1(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
        fail(status, reason.isEmpty() ? tr("HTTP status %1").arg(status) : reason);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        // Every abort of ours is disconnected before it happens, so a
        // cancelled reply that reaches us was stopped by the transfer timer.
        if (reply->error() == QNetworkReply::OperationCanceledError)
            fail(QNetworkReply::TimeoutError,
                 tr("No data for %1 ms; transfer timed out").arg(transfer_timeout_ms_));
        else
            fail(reply->error(), reply->errorString());
        return;
    }
    // A redirect that was not followed, or any other answer that is not the
    // content itself, is no completed read either.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        fail(status.toInt(), tr("HTTP status %1 where content was expected").arg(status.toInt()));
        return;
    }

    const qint64 tail = take_available(reply);
    if (tail < 0) return;
    if (tail > 0) {
        const QPointer<NetGrab> self(this);
        emit DownloadProgress(received_count_);
        // The progress handler may have started another read, cancelled, or
        // done away with us.
        if (!self || reply != reply_) return;
    }

    abandon_reply();
    if (!fresh_bytes_) received_.clear();  // the read delivered no bytes at all
    received_count_ = static_cast<int>(received_.size());
    busy_ = false;
    emit DownloadComplete(received_count_);
}

void NetGrab::on_deadline() {
    if (!reply_) return;
    fail(QNetworkReply::TimeoutError, tr("The transfer did not end within %1 ms").arg(transfer_deadline_ms_));
}

void NetGrab::on_low_speed_window() {
    if (!reply_) return;
    // What the reply holds but no signal has handed over yet counts too.
    if (window_bytes_ + reply_->bytesAvailable() < low_speed_floor_) {
        fail(QNetworkReply::TimeoutError, tr("Less than %1 bytes arrived in %2 ms; the transfer stalled")
                                              .arg(low_speed_floor_)
                                              .arg(low_speed_window_ms_));
        return;
    }
    window_bytes_ = 0;
}

bool NetGrab::headers_acceptable(QNetworkReply* reply) {
    // An error answer is reported by its status whatever its length.
    if (error_status(reply)) return true;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > max_body_bytes_) {
        fail(ErrorBodyTooLarge, tr("The server announced %1 bytes, more than the limit of %2")
                                    .arg(length.toLongLong())
                                    .arg(max_body_bytes_));
        return false;
    }
    return true;
}

int NetGrab::error_status(QNetworkReply* reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() && status.toInt() >= 400 ? status.toInt() : 0;
}

void NetGrab::discard_error_page(QNetworkReply* reply) {
    // The server's error page never becomes the received bytes. It is read
    // and dropped so that the reply does not hoard it, and the failure is
    // reported when the answer has ended, unless the page goes on for longer
    // than any body may.
    const qint64 skipped = reply->skip(reply->bytesAvailable());
    skipped_ += skipped;
    window_bytes_ += skipped;
    if (skipped_ > max_body_bytes_) {
        const int status = error_status(reply);
        fail(status, tr("HTTP status %1 with an endless error page").arg(status));
    }
}

qint64 NetGrab::take_available(QNetworkReply* reply) {
    const qint64 available = reply->bytesAvailable();
    if (available <= 0) return 0;
    const qint64 so_far = fresh_bytes_ ? received_.size() : 0;
    // Bytes() is an int count; the limit never lets the body come near that.
    const qint64 limit = std::min<qint64>(max_body_bytes_, INT_MAX);
    if (so_far + available > limit) {
        fail(ErrorBodyTooLarge, tr("The body is larger than the limit of %1 bytes").arg(limit));
        return -1;
    }
    const QByteArray chunk = reply->read(available);
    window_bytes_ += chunk.size();
    if (!fresh_bytes_) {
        // The previous read's bytes stay readable until the new read delivers.
        received_.clear();
        fresh_bytes_ = true;
    }
    received_.append(chunk);
    received_count_ = static_cast<int>(received_.size());
    return chunk.size();
}

void NetGrab::abandon_reply() {
    deadline_->stop();
    low_speed_->stop();
    if (!reply_) return;
    QNetworkReply* reply = std::exchange(reply_, nullptr);
    disconnect(reply, nullptr, this, nullptr);
    if (reply->isRunning()) reply->abort();
    reply->deleteLater();
}

void NetGrab::fail(int errNum, const QString& errDesc) {
    abandon_reply();
    busy_ = false;
    received_count_ = 0;
    emit DownloadFailed(errNum, errDesc);
}

void NetGrab::fail_later(quint64 read, int errNum, const QString& errDesc) {
    QMetaObject::invokeMethod(
        this,
        [this, read, errNum, errDesc] {
            if (read == read_ && busy_ && !reply_) fail(errNum, errDesc);
        },
        Qt::QueuedConnection);
}
