// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The download component against the emulated update service over real
// loopback HTTP: completion, progress, every way a read can fail, replacing a
// running read, and saving what arrived.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <climits>
#include <functional>
#include <vector>

#include "net/NetGrab.h"
#include "update/UpdateQuery.h"
#include "emulator/UpdateService.h"

namespace {

struct Event {
    char kind;          // 'C'omplete, 'F'ailed, 'P'rogress
    int n = 0;          // nBytes or errNum
    QString desc;
    bool busy = false;  // Busy() inside the handler
    QByteArray bytes;   // Bytes() inside the handler
};

class Net : public ::testing::Test {
public:  // the case tables arrange through a Net&
    void SetUp() override {
        ASSERT_TRUE(service.is_listening());
        QObject::connect(&grab, &NetGrab::DownloadComplete, [this](int n) {
            events.push_back({'C', n, {}, grab.Busy(), grab.Bytes()});
        });
        QObject::connect(&grab, &NetGrab::DownloadFailed, [this](int err, const QString& desc) {
            events.push_back({'F', err, desc, grab.Busy(), grab.Bytes()});
        });
        QObject::connect(&grab, &NetGrab::DownloadProgress, [this](int n) {
            events.push_back({'P', n, {}, grab.Busy(), grab.Bytes()});
        });
    }

    QString url(const QString& path) const { return service.base_url() + path; }

    // Runs the event loop until the read has ended (bounded). A loop of its
    // own wakes on every socket event, so chunks are not lumped together.
    bool settle(int ms = 5000) {
        if (!grab.Busy()) return true;
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        const auto done = [&loop, this] {
            if (!grab.Busy()) loop.quit();
        };
        const QMetaObject::Connection c1 = QObject::connect(&grab, &NetGrab::DownloadComplete, &loop, done);
        const QMetaObject::Connection c2 = QObject::connect(&grab, &NetGrab::DownloadFailed, &loop, done);
        loop.exec();
        return !grab.Busy();
    }
    // Runs the event loop for a while, so that anything late would show.
    static void linger(int ms) { QTest::qWait(ms); }

    std::vector<Event> ends() const {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.kind != 'P') out.push_back(e);
        return out;
    }

    // A completed read of the update answer, so later failures have earlier
    // bytes to keep.
    QByteArray fetch_answer() {
        grab.DownloadStart(url(emulator::UpdateService::InfoPath), NetGrab::ModeFreshCopy);
        EXPECT_TRUE(settle());
        EXPECT_EQ(grab.Bytes(), service.answer());
        events.clear();
        return grab.Bytes();
    }

    emulator::UpdateService service{0x0106};
    NetGrab grab;
    std::vector<Event> events;
};

quint16 closed_port() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

}  // namespace

TEST(UpdateServiceOffer, NextVersionAndDefaultAnswer) {
    EXPECT_EQ(emulator::UpdateService::next_version(0x0106), "107");
    EXPECT_EQ(emulator::UpdateService::next_version(0x0109), "10A");
    EXPECT_EQ(emulator::UpdateService::next_version(0x00FF), "100");

    emulator::UpdateService service(0x0109);
    ASSERT_TRUE(service.is_listening());
    EXPECT_EQ(service.answer(), QStringLiteral("10A,8000,http://127.0.0.1:%1/firmware/shifter-10A.bin")
                                    .arg(service.port())
                                    .toLatin1());
    service.set_announced_size(7960);
    EXPECT_TRUE(service.answer().startsWith("10A,7960,"));

    // A whole number of pages, and no page repeats another.
    const QByteArray image = emulator::UpdateService::default_image();
    ASSERT_EQ(image.size(), 40 * 200);
    for (int a = 0; a < 200; ++a)
        for (int b = a + 1; b < 200; ++b) ASSERT_NE(image.mid(a * 40, 40), image.mid(b * 40, 40)) << a << " " << b;
}

static_assert(NetGrab::DefaultMaxBodyBytes == update::kMaxImageBytes);

TEST(NetGrabDeadline, NeverMoreThanTenMinutes) {
    NetGrab grab;
    for (const int asked : {0, -1, INT_MAX, 600'001}) {
        grab.set_transfer_deadline_ms(asked);
        EXPECT_EQ(grab.transfer_deadline_ms(), 600'000) << asked;
    }
    grab.set_transfer_deadline_ms(500);
    EXPECT_EQ(grab.transfer_deadline_ms(), 500);
}

TEST_F(Net, CompletedReadDeliversTheBodyWithBusyAlreadyFalse) {
    grab.DownloadStart(url("/scripts/shifter.php?pid=10A0&vid=1209&mod=Kelvo&sn=KV 001&mem="), NetGrab::ModeFreshCopy);
    EXPECT_TRUE(grab.Busy());
    ASSERT_TRUE(settle());

    const std::vector<Event> end = ends();
    ASSERT_EQ(end.size(), 1u);
    const Event& done = end[0];
    EXPECT_EQ(done.kind, 'C');
    EXPECT_EQ(done.n, service.answer().size());
    EXPECT_FALSE(done.busy);
    EXPECT_EQ(done.bytes, service.answer());
    EXPECT_EQ(grab.Bytes(), service.answer());

    // The service sees the parameters in the order sent, a space carried
    // through, and the empty value kept.
    ASSERT_EQ(service.requests().size(), 1);
    const emulator::HttpRequest& r = service.requests()[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.path, emulator::UpdateService::InfoPath);
    const QList<QPair<QString, QString>> expected = {
        {"pid", "10A0"}, {"vid", "1209"}, {"mod", "Kelvo"}, {"sn", "KV 001"}, {"mem", ""}};
    EXPECT_EQ(r.query_items, expected);
}

TEST_F(Net, FreshCopyModeAsksCachesToStandAside) {
    struct Case {
        int mode;
        QByteArray cache_control;
    };
    for (const Case& c : {Case{NetGrab::ModeFreshCopy, "no-cache"}, Case{0, {}}, Case{8, {}}, Case{16 | 8, "no-cache"}}) {
        service.clear_requests();
        grab.DownloadStart(url(emulator::UpdateService::InfoPath), c.mode);
        ASSERT_TRUE(settle());
        ASSERT_EQ(service.requests().size(), 1);
        EXPECT_EQ(service.requests()[0].header("cache-control"), c.cache_control) << "mode " << c.mode;
    }
}

TEST_F(Net, ProgressReportsGrowingCountsWithTheBytesSoFar) {
    QByteArray image(1536 * 1024, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
    service.set_image(image);
    service.set_trickle(service.image_path(), 64 * 1024, 5);

    grab.DownloadStart(service.image_url(), NetGrab::ModeFreshCopy);
    ASSERT_TRUE(settle());

    ASSERT_GE(events.size(), 3u);
    int last = 0;
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        const Event& p = events[i];
        ASSERT_EQ(p.kind, 'P');
        EXPECT_GT(p.n, last);
        EXPECT_TRUE(p.busy);
        EXPECT_EQ(p.bytes, image.left(p.n));
        last = p.n;
    }
    EXPECT_EQ(last, image.size());
    EXPECT_EQ(events.back().kind, 'C');
    EXPECT_EQ(events.back().n, image.size());
    EXPECT_EQ(grab.Bytes(), image);
}

TEST_F(Net, FailedReadsReportOnceAndKeepTheEarlierBytes) {
    struct Case {
        const char* name;
        std::function<QString(Net&)> arrange;  // returns the URL to read
        int err;                               // -1: any transport error
        bool keeps_earlier_bytes;
    };
    const Case cases[] = {
        {"missing path", [](Net& t) { return t.url("/firmware/none.bin"); }, 404, true},
        {"server error", [](Net& t) {
             t.service.set_status(emulator::UpdateService::InfoPath, 500);
             return t.url(emulator::UpdateService::InfoPath);
         }, 500, true},
        {"connection refused", [](Net&) { return QStringLiteral("http://127.0.0.1:%1/x").arg(closed_port()); },
         QNetworkReply::ConnectionRefusedError, true},
        {"truncated body", [](Net& t) {
             t.service.set_truncate(t.service.image_path(), 3000);
             t.service.set_trickle(t.service.image_path(), 1000, 5);
             return t.service.image_url();
         }, -1, false},
        {"no host", [](Net&) { return QStringLiteral("http://"); }, NetGrab::ErrorBadUrl, true},
        {"not a URL", [](Net&) { return QStringLiteral("::not a url::"); }, NetGrab::ErrorBadUrl, true},
        {"local file", [](Net&) { return QStringLiteral("file:///etc/hostname"); }, NetGrab::ErrorBadUrl, true},
        {"announced body too large", [](Net& t) {
             t.grab.set_max_body_bytes(4000);
             return t.service.image_url();
         }, NetGrab::ErrorBodyTooLarge, true},
        {"unannounced body too large", [](Net& t) {
             t.grab.set_max_body_bytes(100 * 1024);
             t.service.set_image(QByteArray(1024 * 1024, 'x'));
             t.service.set_content_length(false);
             t.service.set_trickle(t.service.image_path(), 40 * 1024, 5);
             return t.service.image_url();
         }, NetGrab::ErrorBodyTooLarge, false},
        {"endless answer, small limit", [](Net& t) {
             // The update answer's own limit against 16 MiB of commas: the
             // read ends at the limit, long before the server is through.
             t.grab.set_max_body_bytes(update::kMaxAnswerBytes);
             t.service.set_answer(QByteArray(16 * 1024 * 1024, ','));
             t.service.set_content_length(false);
             t.service.set_trickle(emulator::UpdateService::InfoPath, 2048, 20);
             return t.url(emulator::UpdateService::InfoPath);
         }, NetGrab::ErrorBodyTooLarge, false},
        {"silent server", [](Net& t) {
             t.grab.set_transfer_timeout_ms(200);
             t.service.set_delay(emulator::UpdateService::InfoPath, 2000);
             return t.url(emulator::UpdateService::InfoPath);
         }, QNetworkReply::TimeoutError, true},
        {"trickling server", [](Net& t) {
             t.grab.set_transfer_deadline_ms(500);
             t.service.set_trickle(t.service.image_path(), 40, 50);  // 10 s for the whole image
             return t.service.image_url();
         }, QNetworkReply::TimeoutError, false},
        {"slow server", [](Net& t) {
             // Bytes keep coming, but fewer than the floor in each window.
             t.grab.set_low_speed_limit(1024, 300);
             t.service.set_trickle(t.service.image_path(), 40, 100);  // 400 bytes a second
             return t.service.image_url();
         }, QNetworkReply::TimeoutError, false},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.clear_faults();
        service.set_image(emulator::UpdateService::default_image());
        grab.set_max_body_bytes(NetGrab::DefaultMaxBodyBytes);
        grab.set_transfer_timeout_ms(NetGrab::DefaultTransferTimeoutMs);
        grab.set_transfer_deadline_ms(NetGrab::DefaultTransferDeadlineMs);
        grab.set_low_speed_limit(NetGrab::DefaultLowSpeedFloorBytes, NetGrab::DefaultLowSpeedWindowMs);
        const QByteArray earlier = fetch_answer();

        grab.DownloadStart(c.arrange(*this), NetGrab::ModeFreshCopy);
        EXPECT_TRUE(grab.Busy());
        // Each failure ends the read well before the 30 s transfer time-out.
        ASSERT_TRUE(settle());

        const std::vector<Event> end = ends();
        ASSERT_EQ(end.size(), 1u);
        EXPECT_EQ(end[0].kind, 'F');
        if (c.err >= 0) {
            EXPECT_EQ(end[0].n, c.err) << end[0].desc.toStdString();
        } else {
            EXPECT_TRUE(end[0].n > 0 && end[0].n < 400) << end[0].n;
        }
        EXPECT_FALSE(end[0].desc.isEmpty());
        EXPECT_FALSE(end[0].busy);
        if (c.keeps_earlier_bytes) {
            EXPECT_EQ(grab.Bytes(), earlier);
        } else {
            // What the last progress event delivered, never more.
            ASSERT_GE(events.size(), 2u);
            EXPECT_EQ(events[events.size() - 2].kind, 'P');
            EXPECT_EQ(grab.Bytes(), events[events.size() - 2].bytes);
        }
        // Nothing counts as received after a failure.
        EXPECT_FALSE(grab.SaveAs(dir.filePath("after-failure.bin")));
        EXPECT_FALSE(QFile::exists(dir.filePath("after-failure.bin")));
        events.clear();
    }
}

TEST_F(Net, ErrorStatusCarriesItsReasonPhrase) {
    grab.DownloadStart(url("/nowhere"), 0);
    ASSERT_TRUE(settle());
    const std::vector<Event> end = ends();
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].n, 404);
    EXPECT_EQ(end[0].desc, "Not Found");
    // The server's error page never becomes the received bytes.
    EXPECT_TRUE(grab.Bytes().isEmpty());
}

TEST_F(Net, ReplacedReadNeverReports) {
    // Each first read would end differently, and later than the second.
    struct Case {
        const char* name;
        std::function<QString(Net&)> first;
    };
    const Case cases[] = {
        {"slow answer", [](Net& t) {
             t.service.set_delay(emulator::UpdateService::InfoPath, 300);
             return t.url(emulator::UpdateService::InfoPath);
         }},
        {"slow failure", [](Net& t) {
             t.service.set_delay("/slow", 300);
             t.service.set_status("/slow", 500);
             return t.url("/slow");
         }},
        {"refused start", [](Net&) { return QStringLiteral("gopher://127.0.0.1/"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.clear_faults();
        service.clear_requests();
        events.clear();
        const QString first = c.first(*this);
        grab.DownloadStart(first, NetGrab::ModeFreshCopy);
        if (first.startsWith("http")) {
            ASSERT_TRUE(QTest::qWaitFor([this] { return !service.requests().isEmpty(); }, 2000));
        }
        grab.DownloadStart(service.image_url(), NetGrab::ModeFreshCopy);
        ASSERT_TRUE(settle());
        linger(500);

        const std::vector<Event> end = ends();
        ASSERT_EQ(end.size(), 1u);
        EXPECT_EQ(end[0].kind, 'C');
        EXPECT_EQ(grab.Bytes(), service.image());
        EXPECT_FALSE(grab.Busy());
    }
}

TEST_F(Net, CancelEndsTheReadWithOneFailureFromTheEventLoop) {
    service.set_delay(emulator::UpdateService::InfoPath, 1000);
    grab.DownloadStart(url(emulator::UpdateService::InfoPath), 0);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !service.requests().isEmpty(); }, 2000));
    grab.DownloadCancel();
    EXPECT_TRUE(grab.Busy());
    EXPECT_TRUE(events.empty());
    grab.DownloadCancel();
    ASSERT_TRUE(settle(500));
    linger(200);

    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, 'F');
    EXPECT_EQ(events[0].n, QNetworkReply::OperationCanceledError);
    EXPECT_FALSE(events[0].busy);

    // Cancelling when idle does nothing.
    grab.DownloadCancel();
    linger(50);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(Net, EmptyUrlChangesNothing) {
    grab.DownloadStart(QString(), NetGrab::ModeFreshCopy);
    EXPECT_FALSE(grab.Busy());
    linger(50);
    EXPECT_TRUE(events.empty());

    // Nor does it disturb a running read.
    service.set_delay(emulator::UpdateService::InfoPath, 200);
    grab.DownloadStart(url(emulator::UpdateService::InfoPath), NetGrab::ModeFreshCopy);
    grab.DownloadStart(QString(), NetGrab::ModeFreshCopy);
    EXPECT_TRUE(grab.Busy());
    ASSERT_TRUE(settle());
    const std::vector<Event> end = ends();
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].kind, 'C');
    EXPECT_EQ(grab.Bytes(), service.answer());
}

TEST_F(Net, RedirectIsFollowed) {
    service.set_redirect("/latest.bin", service.image_url());
    grab.DownloadStart(url("/latest.bin"), NetGrab::ModeFreshCopy);
    ASSERT_TRUE(settle());
    const std::vector<Event> end = ends();
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].kind, 'C');
    EXPECT_EQ(grab.Bytes(), service.image());
    ASSERT_EQ(service.requests().size(), 2);
    EXPECT_EQ(service.requests()[1].path, service.image_path());
}

TEST_F(Net, EmptyBodyCompletesWithNothingToSave) {
    fetch_answer();
    service.set_answer(QByteArray());
    grab.DownloadStart(url(emulator::UpdateService::InfoPath), NetGrab::ModeFreshCopy);
    ASSERT_TRUE(settle());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, 'C');
    EXPECT_EQ(events[0].n, 0);
    EXPECT_TRUE(grab.Bytes().isEmpty());

    QTemporaryDir dir;
    EXPECT_FALSE(grab.SaveAs(dir.filePath("empty.bin")));
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.bin")));
}

TEST_F(Net, SaveAsReplacesTheFileCompletely) {
    QTemporaryDir dir;
    const QString path = dir.filePath("firmware.bin");
    EXPECT_FALSE(grab.SaveAs(path));  // nothing received yet
    EXPECT_FALSE(QFile::exists(path));

    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100 * 1024, 'z'));
    }
    grab.DownloadStart(service.image_url(), NetGrab::ModeFreshCopy);
    ASSERT_TRUE(settle());
    ASSERT_TRUE(grab.SaveAs(path));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), service.image());

    // A place that cannot be written is a false result, not a crash.
    EXPECT_FALSE(grab.SaveAs(dir.filePath("no/such/dir/firmware.bin")));
}
