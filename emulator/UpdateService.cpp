// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/UpdateService.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace emulator {

namespace {

// A request head longer than this is nobody the tool would send.
constexpr qsizetype MaxHeadBytes = 64 * 1024;

QByteArray reason_phrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 410: return "Gone";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status " + QByteArray::number(status);
    }
}

// The request line and header lines of one head (without the blank line).
std::optional<HttpRequest> parse_head(const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> request_line = lines.value(0).trimmed().split(' ');
    if (request_line.size() != 3 || !request_line[2].startsWith("HTTP/1.")) return std::nullopt;

    HttpRequest request;
    request.method = request_line[0];
    QByteArray target = request_line[1];
    if (!target.startsWith('/')) {
        // Absolute form, as sent to a proxy: keep path and query only.
        const QUrl url(QString::fromLatin1(target));
        if (!url.isValid() || url.isRelative()) return std::nullopt;
        target = url.path(QUrl::FullyEncoded).toLatin1();
        if (url.hasQuery()) target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    }
    const qsizetype question = target.indexOf('?');
    const QByteArray raw_path = question < 0 ? target : target.left(question);
    request.path = QUrl::fromPercentEncoding(raw_path);
    if (question >= 0) {
        request.raw_query = target.mid(question + 1);
        for (const QByteArray& item : request.raw_query.split('&')) {
            const qsizetype eq = item.indexOf('=');
            const QByteArray key = eq < 0 ? item : item.left(eq);
            const QByteArray value = eq < 0 ? QByteArray() : item.mid(eq + 1);
            request.query_items.append({QUrl::fromPercentEncoding(key), QUrl::fromPercentEncoding(value)});
        }
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty()) continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) return std::nullopt;
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return request;
}

}  // namespace

QByteArray HttpRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

QString HttpRequest::query_value(const QString& key) const {
    for (const auto& [k, v] : query_items)
        if (k == key) return v;
    return {};
}

UpdateService::UpdateService(quint16 box_version, QObject* parent)
    : QObject(parent), offered_version_(next_version(box_version)), image_(default_image()) {
    connect(&server_, &QTcpServer::newConnection, this, &UpdateService::on_new_connection);
    listen();
}

UpdateService::~UpdateService() {
    // Sockets are the server's children; none may call back into a half-gone
    // service while the server takes them down.
    for (QTcpSocket* socket : server_.findChildren<QTcpSocket*>()) disconnect(socket, nullptr, this, nullptr);
}

bool UpdateService::listen(quint16 port) {
    server_.close();
    return server_.listen(QHostAddress::LocalHost, port);
}

QString UpdateService::host_port() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

QString UpdateService::base_url() const { return QStringLiteral("http://") + host_port(); }

QString UpdateService::image_path() const {
    return QStringLiteral("/firmware/shifter-%1.bin").arg(offered_version_);
}

QString UpdateService::image_url() const { return base_url() + image_path(); }

QByteArray UpdateService::answer() const {
    if (answer_override_) return *answer_override_;
    const qint64 size = announced_size_.value_or(image_.size());
    return offered_version_.toLatin1() + ',' + QByteArray::number(size) + ',' + image_url().toLatin1();
}

QByteArray UpdateService::default_image() {
    QByteArray image(DefaultImagePages * PageBytes, '\0');
    for (int page = 0; page < DefaultImagePages; ++page)
        for (int offset = 0; offset < PageBytes; ++offset)
            // 41 is odd, so two pages differ in every byte unless 256 pages
            // apart; there are only 200.
            image[page * PageBytes + offset] = static_cast<char>((page * 41 + offset * 3 + 1) & 0xFF);
    return image;
}

QString UpdateService::next_version(quint16 box_version) {
    return QString::number(box_version + 1, 16).toUpper();
}

void UpdateService::clear_faults() {
    status_.clear();
    delay_ms_.clear();
    redirect_.clear();
    truncate_at_.clear();
    trickle_.clear();
    send_content_length_ = true;
    answer_override_.reset();
    announced_size_.reset();
}

template <class T>
std::optional<T> UpdateService::knob(const QHash<QString, T>& table, const QString& path) const {
    if (auto it = table.constFind(path); it != table.constEnd()) return *it;
    if (auto it = table.constFind(QString()); it != table.constEnd()) return *it;
    return std::nullopt;
}

void UpdateService::on_new_connection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        auto connection = std::make_shared<Connection>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, connection] { on_bytes(socket, *connection); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void UpdateService::on_bytes(QTcpSocket* socket, Connection& connection) {
    if (connection.answered) {
        // One request per connection: whatever follows the first is ignored.
        socket->readAll();
        return;
    }
    connection.head += socket->readAll();
    const qsizetype end = connection.head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (connection.head.size() > MaxHeadBytes) {
            connection.answered = true;
            send(socket, {}, 431, {}, reason_phrase(431));
        }
        return;
    }
    connection.answered = true;
    const std::optional<HttpRequest> request = parse_head(connection.head.left(end));
    connection.head.clear();
    if (!request) {
        send(socket, {}, 400, {}, reason_phrase(400));
        return;
    }
    requests_.append(*request);
    emit request_received();

    const int delay = knob(delay_ms_, request->path).value_or(0);
    if (delay > 0) {
        // The socket is the timer's context: a client that gives up first
        // takes the pending answer with it.
        QTimer::singleShot(delay, socket, [this, socket, r = *request] { respond(socket, r); });
        return;
    }
    respond(socket, *request);
}

void UpdateService::respond(QTcpSocket* socket, const HttpRequest& request) {
    const QString& path = request.path;
    if (request.method != "GET") {
        send(socket, path, 405, {{"Allow", "GET"}}, reason_phrase(405));
        return;
    }
    if (const std::optional<int> status = knob(status_, path)) {
        send(socket, path, *status, {{"Content-Type", "text/plain"}}, reason_phrase(*status));
        return;
    }
    if (const std::optional<QString> location = knob(redirect_, path)) {
        send(socket, path, 302, {{"Location", location->toUtf8()}, {"Content-Type", "text/plain"}}, reason_phrase(302));
        return;
    }
    if (path == InfoPath) {
        send(socket, path, 200, {{"Content-Type", "text/plain"}}, answer());
        return;
    }
    if (path == image_path()) {
        send(socket, path, 200, {{"Content-Type", "application/octet-stream"}}, image_);
        return;
    }
    send(socket, path, 404, {{"Content-Type", "text/plain"}}, reason_phrase(404));
}

void UpdateService::send(QTcpSocket* socket, const QString& path, int status,
                         const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& body) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason_phrase(status) + "\r\n";
    head += "Connection: close\r\n";
    for (const auto& [name, value] : headers) head += name + ": " + value + "\r\n";
    if (send_content_length_) head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    head += "\r\n";
    // With a truncated body the client sees the connection end before the
    // announced length.
    const QByteArray sent = body.left(knob(truncate_at_, path).value_or(body.size()));
    socket->write(head);

    const std::optional<QPair<qint64, int>> trickle = knob(trickle_, path);
    if (!trickle || trickle->first <= 0) {
        socket->write(sent);
        // Closes once everything written has gone out.
        socket->disconnectFromHost();
        return;
    }
    // The timer is the socket's child: a client that hangs up stops it.
    auto* timer = new QTimer(socket);
    auto offset = std::make_shared<qint64>(0);
    // Plain variables: clang 14 refuses to capture a structured binding in a lambda.
    const qint64 chunk = trickle->first;
    const int interval = trickle->second;
    connect(timer, &QTimer::timeout, socket, [socket, timer, offset, sent, chunk] {
        socket->write(sent.mid(*offset, chunk));
        *offset += chunk;
        if (*offset >= sent.size()) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    timer->start(interval);
}

}  // namespace emulator
