// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The update check's query and answer, the image checks, and writing an image
// into the emulated box through its bootloader.
#include <gtest/gtest.h>

#include <QUrlQuery>

#include "calibration/BoxSession.h"
#include "emulator/EmulatedBackend.h"
#include "update/Flasher.h"
#include "device/Products.h"
#include "tests/TestSupport.h"
#include "update/UpdateQuery.h"
#include "update/UpdateSequence.h"
#include "calibration/Words.h"

using namespace update;

namespace {

QueryFields fields(std::uint16_t pid) {
    QueryFields f;
    f.attributes = {0x1209, pid, 0x0106};
    f.serial_caption = " KV-000123 ";
    f.h1_text = "102";
    f.h2_text = "152";
    f.v1_text = "64";
    f.v2_text = "190";
    return f;
}

}  // namespace

TEST(UpdateQuery, UrlCarriesTheTenParametersInOrder) {
    QueryFields f = fields(device::kPidKelvo);
    std::array<std::uint8_t, 128> dump{};
    dump[0] = 10;
    dump[1] = 255;
    f.memory_dump = dump_hex(dump);
    const QString url = build_update_url("127.0.0.1:8080", f);
    const QString expected_head =
        "http://127.0.0.1:8080/scripts/shifter.php?pid=10A0&vid=1209&mod=Kelvo&sn=KV-000123&ver=106"
        "&h1=102&h2=152&v1=64&v2=190&mem=0AFF";
    EXPECT_TRUE(url.startsWith(expected_head)) << url.toStdString();
    EXPECT_EQ(url.size(), expected_head.size() + 252);  // 256 dump characters in all
}

TEST(UpdateQuery, ModelWordsAndHexForms) {
    EXPECT_EQ(model_word(0x10A3), "");  // the rest come from the product table
    // The one way a version and a model are told, in the window's lines and
    // shifterctl's output alike.
    EXPECT_EQ(calibration::version_text(0x0106), "1.06");
    EXPECT_EQ(calibration::version_text(0x010A), "1.0A");
    EXPECT_EQ(calibration::version_text(0x0005), "0.05");
    EXPECT_EQ(calibration::model_name(device::kPidGeneric), "generic");
    EXPECT_EQ(calibration::model_name(0x10A3), "unknown");
    EXPECT_EQ(hex16(0xB017), "B017");
    EXPECT_EQ(hex16(0x0106), "106");
    EXPECT_EQ(hex16(0), "0");
    const QString generic = build_update_url("h", fields(device::kPidGeneric));
    EXPECT_TRUE(generic.contains("&mod=&sn=")) << generic.toStdString();
    QueryFields boot = fields(device::kPidBootloader);
    const QString url = build_update_url("h", boot);
    EXPECT_TRUE(url.contains("mod=BOOT"));
    EXPECT_TRUE(url.endsWith("&mem="));
}

TEST(UpdateQuery, TextsGoAsTheyStandButCannotBreakTheQuery) {
    QueryFields f = fields(device::kPidKelvo);
    f.serial_caption = "  A B&x=1  ";
    f.h1_text = "";
    f.h2_text = "abc";
    f.v1_text = "12#5";
    const QString url = build_update_url("h", f);
    const QUrlQuery query(QUrl(url).query());
    EXPECT_EQ(query.queryItemValue("sn", QUrl::FullyDecoded), "A B&x=1");
    EXPECT_FALSE(query.hasQueryItem("x"));
    EXPECT_EQ(query.queryItemValue("h1"), "");
    EXPECT_EQ(query.queryItemValue("h2"), "abc");
    EXPECT_EQ(query.queryItemValue("v1", QUrl::FullyDecoded), "12#5");
    EXPECT_EQ(query.queryItems().size(), 10);
}

TEST(UpdateAnswer, ParsesAndRefusesMalformedAnswers) {
    auto a = parse_update_answer("107,8000,http://h/fw.bin");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->offered_version, 0x107);
    EXPECT_EQ(a->size, 8000);
    EXPECT_EQ(a->url, "http://h/fw.bin");
    EXPECT_EQ(version_display(a->version_text), "1.07");
    EXPECT_EQ(version_display("10A"), "1.0A");

    a = parse_update_answer("7FFF,80,http://h/x");  // the highest version a box can hold
    ASSERT_TRUE(a);
    EXPECT_EQ(a->offered_version, 0x7FFF);

    a = parse_update_answer("107,80,http://h/fw.bin\r\n,extra,fields");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->url, "http://h/fw.bin");

    const QByteArray bad_answers[] = {
        "", "107", "107,80", "7,80,http://h/x", "1G7,80,http://h/x", "1g7,80,http://h/x", "107,0,http://h/x",
        "107,-40,http://h/x", "107,4x,http://h/x", "107,80,ftp://h/x", "107,80,not a url",
        "<html>error</html>", "0x107,80,http://h/x", "-107,80,http://h/x",
        "FFFF,80,http://h/x", "8000,80,http://h/x", "10000,80,http://h/x",
        "7FFFFFFF,80,http://h/x",
        "107,16777217,http://h/x", "107,2000000000,http://h/x",  // no download could deliver it
        "107,80,http://h/" + QByteArray(kMaxAnswerBytes, 'x'),  // longer than any answer
    };
    for (const QByteArray& bad : bad_answers) {
        QString reason;
        EXPECT_FALSE(parse_update_answer(bad, &reason)) << bad.left(40).toStdString();
        EXPECT_FALSE(reason.isEmpty()) << bad.left(40).toStdString();
    }
}

TEST(UpdateAnswer, OfferFollowsTheVersions) {
    UpdateAnswer a;
    a.offered_version = 0x107;
    EXPECT_EQ(decide_offer(a, 0x0106, false), Offer::Upgrade);
    EXPECT_EQ(decide_offer(a, 0x0107, false), Offer::AlreadyLatest);
    EXPECT_EQ(decide_offer(a, 0x0108, false), Offer::Older);
    EXPECT_EQ(decide_offer(a, 0x0107, true), Offer::Upgrade);  // the bootloader always takes it
    EXPECT_EQ(decide_offer(a, 0x8001, false), Offer::Upgrade);  // compared as signed
}

TEST(UpdateImage, OnlyTheAnnouncedWholeNumberOfPagesIsWritten) {
    EXPECT_TRUE(check_image(8000, 8000));
    EXPECT_TRUE(check_image(40, 40));
    EXPECT_FALSE(check_image(7999, 8000));
    EXPECT_FALSE(check_image(8001, 8000));
    EXPECT_FALSE(check_image(8010, 8010));  // not whole pages
    EXPECT_FALSE(check_image(0, 0));
    // A minute and a second per KiB, and never more than ten minutes,
    // whatever size an answer announces.
    const UpdateLimits limits;
    EXPECT_EQ(limits.image_deadline(0).count(), 60'000);
    EXPECT_EQ(limits.image_deadline(8000).count(), 67'812);
    EXPECT_EQ(limits.image_deadline(2'000'000'000).count(), 600'000);  // not 22 days
    EXPECT_EQ(limits.image_deadline(qint64{1} << 50).count(), 600'000);  // no overflow
}

// ---- Hand-over and flashing against the emulated box ----------------------

class Flashing : public ::testing::Test {
protected:
    void SetUp() override {
        emulator::BoxIdentity id;
        id.vendor_id = 0x1209;
        box = &bus.add_box(id, clock.clock());
        env.backend = &bus;
        env.vendor_id = 0x1209;
        env.pause = [this](int ms) {
            clock.now += std::chrono::milliseconds(ms);
            ++pauses;
            if (on_pause) on_pause();
        };
        env.pump = [] {};
        env.clock = clock.clock();
        env.progress = [this](Stage stage, std::int64_t done, std::int64_t total) {
            progress.push_back({stage, done, total});
        };
    }
    // Pins the box the bus lists first, as an update's query does, and
    // writes the image into it.
    FlashOutcome flash(const QByteArray& img, const UpdateLimits& limits = {}) {
        device::FindTheHid(*env.backend, conn, 0x1209);
        device::PinnedBox pin = device::pin_box(*env.backend, conn, 0x1209);
        return switch_to_bootloader(conn, img, env, pin, limits);
    }
    static QByteArray image(int pages) {
        QByteArray bytes(pages * kPageSize, 0);
        for (int i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
        return bytes;
    }
    ManualClock clock;
    emulator::EmulatedBackend bus;
    emulator::BoxModel* box = nullptr;
    device::DeviceConnection conn;
    FlashEnvironment env;
    struct Step {
        Stage stage;
        std::int64_t done, total;
        bool operator==(const Step&) const = default;
    };
    std::vector<Step> progress;
    int pauses = 0;
    std::function<void()> on_pause;
};

TEST_F(Flashing, TheApplicationIsHandedOverAndTheImageWrittenPageByPage) {
    const QByteArray img = image(5);
    const FlashOutcome out = flash(img);
    EXPECT_EQ(out.status, device::Fault::None);
    ASSERT_EQ(box->flash().size(), 200u);
    EXPECT_TRUE(std::equal(box->flash().begin(), box->flash().end(), img.begin(),
                           [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
    // EnterBootloader, then exactly five pages.
    const auto& log = box->feature_log();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0], report_bytes({0x00, 0xA7, 0x3C, 0x51}));
    EXPECT_EQ(bus.open_handles(), 0);  // closed after the last page
    // Ten passes of each pause, then the writing from page 0 to the last.
    ASSERT_EQ(progress.size(), 10u + 10u + 6u);
    EXPECT_EQ(progress.front(), (Step{Stage::Settle, 0, 10}));
    EXPECT_EQ(progress[10], (Step{Stage::SecondSettle, 0, 10}));
    EXPECT_EQ(progress[20], (Step{Stage::Flash, 0, 5}));
    EXPECT_EQ(progress.back(), (Step{Stage::Flash, 5, 5}));
    // The box restarts into its application afterwards, with the new version.
    box->version_after_flash = 0x0107;
    clock.now += box->restart_after_flash + box->reenumerate_delay;
    ASSERT_TRUE(device::FindTheHid(bus, conn, 0x1209));
    EXPECT_TRUE(conn.application());
    EXPECT_EQ(conn.hid_attributes.version_number, 0x0107);
}

TEST_F(Flashing, ABoxInItsBootloaderIsFlashedAtOnce) {
    box->power_up_in_bootloader();
    const FlashOutcome out = flash(image(1));
    EXPECT_EQ(out.status, device::Fault::None);
    EXPECT_EQ(box->feature_log().size(), 1u);
    EXPECT_EQ(pauses, 0);
    EXPECT_EQ(progress, (std::vector<Step>{{Stage::Flash, 0, 1}, {Stage::Flash, 1, 1}}));
}

TEST_F(Flashing, NoBoxNothingSent) {
    box->unplug();
    EXPECT_EQ(flash(image(2)).status, device::Fault::NoDevice);
    EXPECT_TRUE(box->feature_log().empty());
}

TEST_F(Flashing, ABoxThatStaysInItsApplicationIsNeverSentPages) {
    // The box ignores the order to restart: it is still there as the application.
    bus.boxes()[0]->fail_feature_writes = true;
    UpdateLimits limits;
    limits.bootloader_wait = std::chrono::seconds(2);
    const FlashOutcome out = flash(image(3), limits);
    EXPECT_EQ(out.status, device::Fault::Missing);
    EXPECT_TRUE(box->flash().empty());
    EXPECT_FALSE(out.status.sentence().empty());
    EXPECT_LT(pauses, 60);  // gave up after the limit
}

TEST_F(Flashing, AFailedPageStopsTheWrite) {
    box->power_up_in_bootloader();
    box->unplug_after_transfers = 3;
    const FlashOutcome out = flash(image(10));
    EXPECT_EQ(out.status, device::Fault::Failed);
    EXPECT_EQ(out.page, 3);
    EXPECT_EQ(out.pages, 10);
    EXPECT_NE(out.status.sentence().find("4 of 10"), std::string::npos);
    EXPECT_EQ(bus.open_handles(), 0);
}

TEST_F(Flashing, TheBootloaderReEnumeratingWhileItSettlesIsFoundAgain) {
    // Once the bootloader was found, it leaves and returns during the settle.
    bool restarted = false;
    on_pause = [&] {
        if (!restarted && conn.bootloader()) {
            restarted = true;
            box->power_up_in_bootloader();
        }
    };
    EXPECT_EQ(flash(image(3)).status, device::Fault::None);
    EXPECT_TRUE(restarted);
    EXPECT_EQ(box->flash().size(), 120u);
}

// With two boxes on the bus the image goes into the box it was checked for,
// or nowhere.
TEST_F(Flashing, OnlyThePinnedBoxIsEverWritten) {
    using device::Fault;
    struct Case {
        const char* name;
        std::u16string ours, other;
        bool other_first;          // the other is listed before ours
        bool other_in_bootloader;  // and waits in its bootloader
        bool swapped;              // ours is replaced by the other after the check
        Fault fault;
        bool same_model = false;      // the other is a box of our model
        bool enters_at_hand_over = false;  // the other drops into its bootloader just as ours leaves
        std::chrono::seconds ours_back{3};  // until our bootloader is on the bus
    };
    const Case cases[] = {
        {"another box in its bootloader", u"KV-1", u"KV-2", false, true, false, Fault::None},
        // Ours is the one bootloader that appeared after the hand-over.
        {"another box in its bootloader, no serials", u"", u"", false, true, false, Fault::None},
        {"another box listed first", u"KV-1", u"DR-1", true, false, false, Fault::None},
        {"another box listed first, no serials", u"", u"", true, false, false, Fault::None},
        {"a box swapped in during the download", u"KV-1", u"KV-2", false, false, true, Fault::NoDevice},
        {"a box swapped in, no serials", u"", u"", false, false, true, Fault::NoDevice},
        {"a box of our model swapped in", u"KV-1", u"KV-2", false, false, true, Fault::NoDevice, true},
        // Alone on the bus in its bootloader while ours restarts, for longer
        // than the wait for ours.
        {"our model, in its bootloader while ours restarts, ours without a serial", u"", u"KV-2", false, false,
         false, Fault::Missing, true, true, std::chrono::seconds(60)},
        {"our model without a serial, in its bootloader while ours restarts", u"KV-1", u"", false, false, false,
         Fault::None, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emulator::EmulatedBackend fresh;
        emulator::BoxIdentity ours_id, other_id;
        ours_id.serial = c.ours;
        other_id.serial = c.other;
        other_id.product_id = c.same_model ? device::kPidKelvo : device::kPidDravi;
        emulator::BoxModel* other = c.other_first ? &fresh.add_box(other_id, clock.clock()) : nullptr;
        emulator::BoxModel& ours = fresh.add_box(ours_id, clock.clock());
        // The other bootloader is alone on the bus for a while after the hand-over.
        ours.reenumerate_delay = c.ours_back;
        if (!other && !c.swapped) other = &fresh.add_box(other_id, clock.clock());
        if (c.other_in_bootloader) other->power_up_in_bootloader();
        if (c.enters_at_hand_over)
            fresh.at_step(ours, emulator::EmulatedBackend::Step::HandedOver, [&] { other->power_up_in_bootloader(); });
        conn.choice.path = fresh.enumerate()[c.other_first ? 1 : 0].path;
        ASSERT_TRUE(device::FindTheHid(fresh, conn, 0x1209));
        conn.choice = {};
        device::PinnedBox pin = device::pin_box(fresh, conn, 0x1209);
        if (c.swapped) {
            ours.unplug();
            other = &fresh.add_box(other_id, clock.clock());
        }
        env.backend = &fresh;
        const FlashOutcome out = switch_to_bootloader(conn, image(2), env, pin);
        EXPECT_EQ(out.status, c.fault) << out.status;
        EXPECT_TRUE(other->flash().empty());
        for (const auto& r : other->feature_log()) EXPECT_NE(r[1], 0xA7);  // never sent into its bootloader
        EXPECT_EQ(ours.flash().size(), c.fault == Fault::None ? 80u : 0u);
        conn.close_handles();
    }
}

TEST_F(Flashing, ABootloaderWhosePagesDoNotFitSaysSo) {
    box->boot_caps = {6, 33};
    const FlashOutcome out = flash(image(2));
    EXPECT_EQ(out.status, device::Fault::NotServed);
    EXPECT_NE(out.status.sentence().find("33 bytes"), std::string::npos) << out.status;
    EXPECT_TRUE(box->flash().empty());
}

// The update from the question to the end, as a front end without ticks runs
// it: every phase it passes, and how it ends.
TEST_F(Flashing, TheUpdateFlowWalksEveryPhaseAndEndsAsItShould) {
    using P = Phase;
    using K = FailureKind;
    using C = CalibrationOutcome;
    const P to_restart[] = {P::Idle, P::Asking, P::Offered, P::Downloading, P::HandingOver, P::Writing, P::Restarting};
    const auto through = [&](std::initializer_list<P> tail) {
        std::vector<P> v(std::begin(to_restart), std::end(to_restart));
        v.insert(v.end(), tail);
        return v;
    };
    struct Case {
        const char* name;
        const char* answer;  // nullptr: the service is not reached
        int image_bytes = 80;
        bool accept = true;
        bool unplug_before_write = false;
        std::uint16_t version_after = 0x0107;
        bool never_back = false;
        bool factory_after = false;
        bool unreadable_after = false;
        bool put_back = false;
        std::vector<P> phases;
        std::optional<K> failure;
        std::optional<C> calibration;
    };
    const char* const offer = "107,80,http://127.0.0.1/i";
    const Case cases[] = {
        {"service not reached", nullptr, 80, true, false, 0x0107, false, false, false, false,
         {P::Idle, P::Asking, P::Failed}, K::Service, {}},
        {"an answer that is none", "<html>", 80, true, false, 0x0107, false, false, false, false,
         {P::Idle, P::Asking, P::Failed}, K::Service, {}},
        {"already the latest", "106,80,http://127.0.0.1/i", 80, true, false, 0x0107, false, false, false, false,
         {P::Idle, P::Asking, P::Done}, {}, {}},
        {"declined", offer, 80, false, false, 0x0107, false, false, false, false,
         {P::Idle, P::Asking, P::Offered, P::Idle}, {}, {}},
        {"an image one byte short", offer, 79, true, false, 0x0107, false, false, false, false,
         {P::Idle, P::Asking, P::Offered, P::Downloading, P::Failed}, K::Download, {}},
        {"the box unplugged before the hand-over", offer, 80, true, true, 0x0107, false, false, false, false,
         {P::Idle, P::Asking, P::Offered, P::Downloading, P::HandingOver, P::Failed}, K::Box, {}},
        {"never back", offer, 80, true, false, 0x0107, true, false, false, false, through({P::Failed}), K::Box, {}},
        {"back with another version", offer, 80, true, false, 0x0108, false, false, false, false,
         through({P::Failed}), K::Box, {}},
        {"back, thresholds kept", offer, 80, true, false, 0x0107, false, false, false, false, through({P::Done}), {},
         C::Kept},
        {"back, thresholds unreadable", offer, 80, true, false, 0x0107, false, false, true, false,
         through({P::Done}), {}, C::Unchecked},
        {"back from factory values, put back", offer, 80, true, false, 0x0107, false, true, false, true,
         through({P::OfferingCalibration, P::Done}), {}, C::Restored},
        {"back from factory values, left", offer, 80, true, false, 0x0107, false, true, false, false,
         through({P::OfferingCalibration, P::Done}), {}, C::NotRestored},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emulator::EmulatedBackend fresh;
        emulator::BoxIdentity id;
        id.vendor_id = 0x1209;
        emulator::BoxModel& b = fresh.add_box(id, clock.clock());
        emulator::BoxSettings calibrated;
        for (int i = 0; i < 6; ++i) calibrated.value[i] = static_cast<std::uint8_t>(90 + i * 20);
        b.set_settings(calibrated);
        b.version_after_flash = c.version_after;
        b.factory_settings_after_flash = c.factory_after;
        if (c.never_back) b.restart_after_flash = std::chrono::hours(1);
        device::DeviceConnection box_conn;
        calibration::BoxSession session(box_conn);
        std::vector<P> seen;
        UpdateSequence* running = nullptr;
        const auto note = [&] {
            if (running && (seen.empty() || seen.back() != running->phase())) seen.push_back(running->phase());
        };
        FlashEnvironment e = env;
        e.backend = &fresh;
        e.progress = [&](Stage, std::int64_t, std::int64_t) { note(); };
        UpdateSequence sequence(session, e);
        running = &sequence;
        note();
        ASSERT_TRUE(session.find(fresh, 0x1209));
        session.read_info();
        (void)sequence.start("127.0.0.1", {});
        note();
        if (!c.answer) sequence.service_failed("Connection refused");
        if (c.answer) (void)sequence.take_answer(c.answer);
        note();
        if (sequence.phase() == P::Offered) {
            sequence.accept(c.accept);
            note();
            if (c.accept && sequence.take_image(image(2).left(c.image_bytes))) {
                note();
                if (c.unplug_before_write) b.unplug();
                if (sequence.write().status && (note(), sequence.wait_for_restart())) {
                    if (c.unreadable_after) b.feature_reply_bytes = 3;
                    session.read_info();
                    sequence.box_back();
                    note();
                    (void)sequence.answer_restore(c.put_back);
                }
            }
        }
        note();
        EXPECT_EQ(seen, c.phases);
        ASSERT_EQ(sequence.failure().has_value(), c.failure.has_value());
        if (c.failure) {
            EXPECT_EQ(sequence.failure()->kind, *c.failure);
            EXPECT_FALSE(sequence.failure_text("try again").empty());
        }
        EXPECT_EQ(sequence.calibration(), c.calibration);
        if (c.calibration == C::Unchecked)
            EXPECT_NE(sequence.done_sentence().find("could not be checked"), std::string::npos)
                << sequence.done_sentence();
        if (c.calibration == C::Restored || c.calibration == C::Kept)
            for (int i = 0; i < 6; ++i) EXPECT_EQ(b.settings().value[i], calibrated.value[i]) << i;
    }
}
