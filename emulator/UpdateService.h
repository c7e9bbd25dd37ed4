// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The maker's update service, as the tool expects it to behave, served over
// real HTTP/1.1 on 127.0.0.1: the update query on /scripts/shifter.php answers
// "VERSION,SIZE,URL", and the URL delivers the firmware image. Tests point the
// tool at it and turn its knobs to make the service misbehave; --demo can run
// it in-process so that "Get latest firmware" works without the internet.
//
// Single-threaded on the Qt event loop; nothing here blocks. Each connection
// carries one request and is closed after the answer.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <optional>
#include <utility>

class QTcpSocket;

namespace emulator {

// One request as the service saw it.
struct HttpRequest {
    QByteArray method;
    QString path;                                // without the query
    QByteArray raw_query;                        // as sent, after the '?'
    QList<QPair<QString, QString>> query_items;  // percent-decoded, in the order sent
    QList<QPair<QByteArray, QByteArray>> headers;

    // The first header of that name (any case), or a null array.
    QByteArray header(const QByteArray& name) const;
    // The first query value of that key, or a null string.
    QString query_value(const QString& key) const;
};

class UpdateService : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultImagePages = 200;
    static constexpr int PageBytes = 40;
    static inline const QString InfoPath = QStringLiteral("/scripts/shifter.php");

    // Offers the version after box_version (0x0106 offers "107"), so a box at
    // box_version is told that newer firmware exists. Listens at once on a
    // free port of 127.0.0.1.
    explicit UpdateService(quint16 box_version = 0x0106, QObject* parent = nullptr);
    ~UpdateService() override;

    // (Re)listens on 127.0.0.1; port 0 takes any free port.
    bool listen(quint16 port = 0);
    bool is_listening() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }
    QString host_port() const;   // "127.0.0.1:PORT", for --update-host
    QString base_url() const;    // "http://127.0.0.1:PORT"

    // ---- the offer --------------------------------------------------------
    // Hex digits without prefix, as the answer carries them.
    QString offered_version() const { return offered_version_; }
    void set_offered_version(const QString& hex_digits) { offered_version_ = hex_digits; }
    QString image_path() const;  // "/firmware/shifter-VERSION.bin"
    QString image_url() const;   // base_url() + image_path()
    QByteArray image() const { return image_; }
    void set_image(const QByteArray& bytes) { image_ = bytes; }
    // The size the default answer announces; by default the image's own.
    void set_announced_size(std::optional<qint64> size) { announced_size_ = size; }
    // "VERSION,SIZE,URL" from the settings above, or the verbatim answer.
    QByteArray answer() const;
    // Answer exactly these bytes to the update query; nullopt: the default.
    void set_answer(std::optional<QByteArray> body) { answer_override_ = std::move(body); }

    // 200 pages of 40 bytes, no two pages alike and none starting with the
    // same byte, so a page written twice, skipped or out of order shows.
    static QByteArray default_image();
    // The answer's version field for a box at box_version: the next version.
    static QString next_version(quint16 box_version);

    // ---- misbehaviour, per path ("" for the default of every path) ---------
    // Answer with this status and a short text body instead of the content.
    void set_status(const QString& path, int status) { status_[path] = status; }
    // Wait this long before answering (the connection stays open, silent).
    void set_delay(const QString& path, int ms) { delay_ms_[path] = ms; }
    // Answer 302 with this Location (absolute URL or path).
    void set_redirect(const QString& path, const QString& location) { redirect_[path] = location; }
    // Send only the first `bytes` of the body (headers announce it whole),
    // then close the connection.
    void set_truncate(const QString& path, qint64 bytes) { truncate_at_[path] = bytes; }
    // Send the body in pieces of chunk_bytes, one every interval_ms, the way
    // a slow line delivers it.
    void set_trickle(const QString& path, qint64 chunk_bytes, int interval_ms) {
        trickle_[path] = {chunk_bytes, interval_ms};
    }
    // Without Content-Length the body ends where the connection is closed.
    void set_content_length(bool send) { send_content_length_ = send; }
    // Forgets every knob above (the offer stays).
    void clear_faults();

    const QList<HttpRequest>& requests() const { return requests_; }
    void clear_requests() { requests_.clear(); }

signals:
    // A request has been read in full and is now requests().back().
    void request_received();

private:
    void on_new_connection();
    struct Connection {
        QByteArray head;  // the request head as far as it has come
        bool answered = false;
    };
    // Collects the request head; answers once it is complete.
    void on_bytes(QTcpSocket* socket, Connection& connection);
    void respond(QTcpSocket* socket, const HttpRequest& request);
    // Writes the answer, shaped by the path's truncate and trickle knobs, and
    // closes the connection after it.
    void send(QTcpSocket* socket, const QString& path, int status,
              const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& body);
    template <class T>
    std::optional<T> knob(const QHash<QString, T>& table, const QString& path) const;

    QTcpServer server_;
    QList<HttpRequest> requests_;

    QString offered_version_;
    QByteArray image_;
    std::optional<qint64> announced_size_;
    std::optional<QByteArray> answer_override_;
    QHash<QString, int> status_;
    QHash<QString, int> delay_ms_;
    QHash<QString, QString> redirect_;
    QHash<QString, qint64> truncate_at_;
    QHash<QString, QPair<qint64, int>> trickle_;
    bool send_content_length_ = true;
};

}  // namespace emulator
