// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
// The live monitor: the arithmetic over the window state, and what one batch
// of input reports does to the travel map, the captions, the markers and the
// threshold boxes and lines, on real widgets laid out as in the window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QWidget>

#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "emulator/BoxModel.h"
#include "emulator/DemoStick.h"
#include "monitor/GearCheck.h"
#include "monitor/GraphView.h"
#include "monitor/Monitor.h"
#include "monitor/MonitorState.h"
#include "monitor/Palette.h"
#include "monitor/Suggest.h"
#include "monitor/TraceRaster.h"

using namespace monitor;

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[13] = "test_monitor";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qt_environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

struct R {
    std::uint8_t x = 0, y = 0, gear = 0, minus = 0, flags = 0;
};
constexpr std::uint8_t kSeq = 2;

// Reports as a read delivers them, each with its leading report-ID byte.
std::vector<std::uint8_t> batch(std::initializer_list<R> reports, int length = 6) {
    std::vector<std::uint8_t> b;
    for (const R& r : reports) {
        std::vector<std::uint8_t> one(static_cast<std::size_t>(length), 0xEE);
        one[0] = 0;
        one[1] = r.x;
        one[2] = r.y;
        one[3] = r.gear;
        one[4] = r.minus;
        one[5] = r.flags;
        b.insert(b.end(), one.begin(), one.end());
    }
    return b;
}

std::size_t cell(int x, int y) { return static_cast<std::size_t>(x) * 256 + y; }

// ---- pure functions ----------------------------------------------------------

TEST(CutBatch, ReportsStartEveryLengthAndTrailingPartIsDropped) {
    auto b = batch({{10, 20, 1, 0, 0}, {30, 40, 2, 0, 2}, {50, 60, 4, 1, 3}}, 8);
    b.resize(b.size() + 7, 0x55);  // a partial fourth report
    const auto reports = cut_batch(b.data(), static_cast<int>(b.size()), 8);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[1].x, 30);
    EXPECT_EQ(reports[1].y, 40);
    EXPECT_EQ(reports[1].gear, 2);
    EXPECT_TRUE(reports[1].sequential());
    EXPECT_EQ(reports[2].minus, 1);
    EXPECT_EQ(reports[2].flags, 3);
    EXPECT_EQ(reports[2].mode(), kModeSequential);
    EXPECT_EQ(reports[0].mode(), kModeH);
}

TEST(CutBatch, TooShortLengthsOrBatchesGiveNothing) {
    const auto b = batch({{1, 2, 0, 0, 0}, {3, 4, 0, 0, 0}});
    for (int length : {-1, 0, 1, 5}) EXPECT_TRUE(cut_batch(b.data(), 12, length).empty()) << length;
    EXPECT_TRUE(cut_batch(b.data(), 5, 6).empty());
    EXPECT_TRUE(cut_batch(b.data(), 0, 6).empty());
    EXPECT_EQ(cut_batch(b.data(), 11, 6).size(), 1u);
    EXPECT_EQ(cut_batch(b.data(), 12, 6).size(), 2u);
}

TEST(GearCaption, Table) {
    struct Case {
        std::uint8_t gear, minus;
        std::optional<std::string> caption;
    };
    const Case cases[] = {
        {0, 1, "-"},   {0, 0, "N"},   {0, 0xFF, "-"}, {1, 0, "1"},  {2, 0, "2"},   {4, 0, "3"},
        {8, 0, "4"},   {16, 0, "5"},  {32, 1, "6"},   {64, 0, "R"}, {128, 0, "+"}, {0x80, 1, "+"},
        {0x03, 0, std::nullopt},      {0x03, 1, std::nullopt},      {0xFF, 0, std::nullopt},
        {0x81, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        Report r;
        r.gear = c.gear;
        r.minus = c.minus;
        EXPECT_EQ(gear_caption(r), c.caption) << int(c.gear) << "/" << int(c.minus);
    }
}

TEST(CaptureRange, SequencesOfPositions) {
    struct Step {
        std::uint8_t x, y;
        bool moved;
        int x_min, x_max, y_min, y_max;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"first position opens a band of ten",
         {{100, 50, true, 95, 105, 45, 55}, {100, 50, false, 95, 105, 45, 55}, {104, 46, false, 95, 105, 45, 55}}},
        {"later positions only widen",
         {{100, 50, true, 95, 105, 45, 55}, {120, 50, true, 95, 120, 45, 55}, {90, 40, true, 90, 120, 40, 55}}},
        {"a maximum stops at 255", {{255, 255, true, 250, 255, 250, 255}, {255, 255, false, 250, 255, 250, 255}}},
        {"253 gives a narrower band at the top", {{253, 0, true, 248, 255, -5, 5}}},
        {"minima may go below zero", {{0, 0, true, -5, 5, -5, 5}, {3, 3, false, -5, 5, -5, 5}}},
    };
    for (const Case& c : cases) {
        MonitorState s;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& st = c.steps[i];
            EXPECT_EQ(capture_range(s, st.x, st.y), st.moved) << c.name << " step " << i;
            EXPECT_EQ(s.x_min, st.x_min) << c.name << " step " << i;
            EXPECT_EQ(s.x_max, st.x_max) << c.name << " step " << i;
            EXPECT_EQ(s.y_min, st.y_min) << c.name << " step " << i;
            EXPECT_EQ(s.y_max, st.y_max) << c.name << " step " << i;
        }
    }
}

TEST(DeriveThresholds, Table) {
    struct Case {
        const char* name;
        std::uint8_t mode;
        int x_min, x_max, y_min, y_max;
        Thresholds expected;  // from before = {1, 2, 3, 4, 5, 6}
    };
    const Case cases[] = {
        {"H from 20..230 / 10..240", kModeH, 20, 230, 10, 240, {72, 177, 56, 194, 5, 6}},  // 72.5 floored
        // Only X = 0 seen: the band -5..5, a quarter in is -2.5, three quarters
        // 2.5, floored towards minus infinity.
        {"H on one column", kModeH, -5, 5, 95, 105, {-3, 2, 97, 103, 5, 6}},
        {"sequential touches only its own", kModeSequential, 0, 0, 0, 255, {1, 2, 3, 4, 51, 204}},
    };
    for (const Case& c : cases) {
        const TravelRange r{c.x_min, c.x_max, c.y_min, c.y_max};
        EXPECT_EQ(derive_thresholds(r, c.mode, Thresholds{1, 2, 3, 4, 5, 6}), c.expected) << c.name;
    }
    // The band a single report opens.
    MonitorState s;
    capture_range(s, 0, 100);
    EXPECT_EQ(std::tuple(s.x_min, s.x_max, s.y_min, s.y_max), std::tuple(-5, 5, 95, 105));
    // Through both modes, as the demo's hand goes: each mode's thresholds come
    // from its own travel, the range over both is their union.
    MonitorState both;
    for (const auto& [x, y, mode] : {std::tuple{30, 2, kModeH}, {226, 236, kModeH}, {127, 48, kModeSequential},
                                     {127, 207, kModeSequential}})
        capture_range(both, std::uint8_t(x), std::uint8_t(y), mode);
    EXPECT_EQ(std::tuple(both.x_min, both.x_max, both.y_min, both.y_max), std::tuple(25, 226, -3, 236));
    const Thresholds derived = derive_thresholds(both, kModeSequential, derive_thresholds(both, kModeH, {}));
    EXPECT_EQ(derived, (Thresholds{75, 175, 44, 188, 75, 174}));
}

TEST(ParseThresholdText, Table) {
    struct Case {
        const char* text;
        std::optional<int> value;
    };
    const Case cases[] = {
        {"0", 0},         {"254", 254},      {"7", 7},         {"007", 7},       {" 12 ", 12},
        {"\t12", 12},     {"+7", 7},         {"12.", 12},      {".5", 0},        {"1.5", 2},
        {"12.5", 12},     {"13.5", 14},      {"12.51", 13},    {"12.50", 12},    {"12.4999", 12},
        {"254.4", 254},   {"253.5", 254},    {"254.5", 254},   {"254.6", std::nullopt},
        {"-0.4", 0},      {"-0.5", 0},       {"-0", 0},        {"-0.6", std::nullopt},
        {"255", std::nullopt},               {"-1", std::nullopt},                {"", std::nullopt},
        {"   ", std::nullopt},               {"abc", std::nullopt},               {"12a", std::nullopt},
        {"1e2", std::nullopt},               {"70000", std::nullopt},             {"1,5", std::nullopt},
        {".", std::nullopt},                 {"+", std::nullopt},                 {"1.2.3", std::nullopt},
        {"--1", std::nullopt},               {"- 1", std::nullopt},               {"1 2", std::nullopt},
        {"99999999999999999999", std::nullopt},                                   {"0000000000012", 12},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_threshold_text(c.text), c.value) << '"' << c.text << '"';
    // Why a text is not taken, as the window says it.
    const std::pair<const char*, const char*> reasons[] = {
        {" ", "is empty"}, {"1e2", "is not a number"}, {"255", "is not within 0 to 254"},
        {"99999999", "is not within 0 to 254"}, {"12", ""}};
    for (const auto& [text, reason] : reasons) EXPECT_EQ(check_threshold_text(text).problem, reason) << text;
}

TEST(MapPosition, EdgesAndSinglePrecision) {
    EXPECT_EQ(map_x(0, 258), 0.0);
    EXPECT_EQ(map_x(255, 258), 258.0);
    EXPECT_EQ(map_y(255, 258), 0.0);
    EXPECT_EQ(map_y(0, 258), 258.0);
    // The quotient in double, the product kept as a float.
    EXPECT_EQ(map_x(1, 258), static_cast<double>(static_cast<float>(1 / 255.0 * 258)));
    EXPECT_NE(map_x(1, 258), 1 / 255.0 * 258);
    EXPECT_EQ(map_y(100, 300), static_cast<double>(static_cast<float>(155 / 255.0 * 300)));
}


// ---- the gear record and the check -------------------------------------------

TEST(GearRecord, KeepsTheNewestReportsUpToItsLimit) {
    GearRecord record(3);
    for (std::uint8_t x = 0; x < 5; ++x) record.add(x, 0, Gear::G1, kModeH);
    ASSERT_EQ(record.size(), 3u);
    std::set<int> kept;
    for (const RecordedReport& r : record.reports()) kept.insert(r.x);
    EXPECT_EQ(kept, (std::set<int>{2, 3, 4}));
}

const Thresholds kFactory{102, 152, 64, 190, 100, 155};

struct Many {
    std::uint8_t x, y;
    Gear gear;
    int count = 1;
    std::uint8_t mode = kModeH;
};

std::vector<RecordedReport> reports_of(std::initializer_list<Many> many) {
    std::vector<RecordedReport> out;
    for (const Many& m : many) out.insert(out.end(), static_cast<std::size_t>(m.count), {m.x, m.y, m.gear, m.mode});
    return out;
}

// Every position under several sets of thresholds, equal and crossed ones
// among them, on each way a box tells reverse: the zone the host's gate gives
// a position holds the gear the box decodes there.
TEST(GearCheck, HostReadsTheGateAsTheBoxDoes) {
    const emulator::BoxSettings sets[] = {{}, {{50, 60, 100, 200, 20, 30}}, {{150, 100, 200, 60, 90, 40}},
                                          {{0, 254, 1, 254, 0, 254}}, {{80, 80, 3, 3, 70, 70}}};
    for (const emulator::ReverseRule rule : emulator::kReverseRules) {
        for (const emulator::BoxSettings& b : sets) {
            const Thresholds t{b.value[0], b.value[1], b.value[2], b.value[3], b.value[4], b.value[5]};
            for (int x = 0; x < 256; ++x)
                for (int y = 0; y < 256; ++y)
                    for (const bool sequential : {false, true})
                        for (const bool held : {false, true}) {
                            const auto d = emulator::decode_gear(x, y, sequential, b, rule, held);
                            const Gear box = gear_of(Report{static_cast<std::uint8_t>(x),
                                                            static_cast<std::uint8_t>(y), d.gear_bits, d.minus, 0});
                            ASSERT_EQ(zone_at(x, y, sequential, t), zone_of(box))
                                << x << "," << y << " seq " << sequential << " " << reverse_rule_name(rule);
                        }
        }
    }
}

TEST(GearCheck, LinesPerGear) {
    struct Case {
        const char* name;
        std::vector<RecordedReport> reports;
        bool sequential;
        std::vector<std::string> lines;  // those of the gears reached, and of crossed pairs
        std::string summary;
        Thresholds t = kFactory;
    };
    const std::string unreached_but_3 = "Not safe yet: gear 1, gear 2, gear 4, gear 5, gear 6, reverse and neutral "
                                        "not reached yet.";
    std::vector<RecordedReport> passed;  // gear 3 passed through, never rested
    for (int y = 191; y <= 240; ++y) passed.push_back({127, static_cast<std::uint8_t>(y), Gear::G3, kModeH});
    const Case cases[] = {
        {"a good margin; h1's own value belongs to the middle column", reports_of({{127, 220, Gear::G3, 40}}), false,
         {"Gear 3: 40 reports, margin 26 counts to h1"}, unreached_but_3},
        {"judged where the stick rests, not on the way in nor where it once went further",
         reports_of({{127, 200, Gear::G3, 30}, {127, 191, Gear::G3, 5}, {127, 240, Gear::G3, 4}}), false,
         {"Gear 3: 39 reports, margin 10 counts to v2"}, unreached_but_3},
        {"a rest close to a line is at risk", reports_of({{127, 195, Gear::G3, 30}}), false,
         {"Gear 3: 30 reports, margin 5 counts to v2 \u2014 at risk"},
         "Not safe yet: gear 1, gear 2, gear 4, gear 5, gear 6, reverse and neutral not reached yet; gear 3 closer "
         "than 8 counts to a line, so it may drop out or flicker."},
        {"a gear only passed through is judged at the far end of its gate", passed, false,
         {"Gear 3: 50 reports, margin 26 counts to h1 at the far end of its gate"}, unreached_but_3},
        {"sixth and reverse share a zone and its lines, wherever the box puts reverse",
         reports_of({{212, 26, Gear::G6, 30}, {160, 12, Gear::Reverse, 40}, {200, 40, Gear::Reverse, 30}}), false,
         {"Gear 6: 30 reports, margin 38 counts to v1", "Reverse: 70 reports, margin 8 counts to h2"},
         "Not safe yet: gear 1, gear 2, gear 3, gear 4, gear 5 and neutral not reached yet."},
        {"a mismatch names the zone these thresholds give the rest",
         reports_of({{127, 195, Gear::Neutral, 30}, {127, 127, Gear::Neutral, 5}}), false,
         {"Neutral: 35 reports, but it rests where they put gear 3 \u2014 mismatch"},
         "Not safe yet: gear 1, gear 2, gear 3, gear 4, gear 5, gear 6 and reverse not reached yet; neutral "
         "resting in another gear's zone."},
        {"thresholds all 0: gear 5 everywhere, most gears without a zone", reports_of({{200, 200, Gear::G5, 30}}),
         false,
         {"Gear 1: not reached yet; these thresholds leave it no zone",
          "Gear 2: not reached yet; these thresholds leave it no zone",
          "Gear 4: not reached yet; these thresholds leave it no zone", "Gear 5: 30 reports, margin 200 counts to v2",
          "Gear 6: not reached yet; these thresholds leave it no zone",
          "Reverse: not reached yet; these thresholds leave it no zone", "h1 (0) is not below h2 (0): the pair is crossed.",
          "v1 (0) is not below v2 (0): the pair is crossed."},
         "Not safe yet: gear 1, gear 2, gear 3, gear 4, gear 6, reverse and neutral not reached yet; no zone for gear "
         "1, gear 2, gear 4, gear 6 and reverse; a crossed pair of lines.",
         {0, 0, 0, 0, 0, 0}},
        {"sequential mode leaves H reports out",
         reports_of({{127, 160, Gear::Plus, 20, kModeSequential}, {9, 50, Gear::Minus, 20, kModeSequential},
                     {127, 127, Gear::Neutral, 20, kModeSequential}, {30, 230, Gear::G1, 9}}),
         true,
         {"Plus: 20 reports, margin 5 counts to s2 \u2014 at risk", "Minus: 20 reports, margin 50 counts to s1",
          "Neutral: 20 reports, margin 28 counts to s1"},
         "Not safe yet: plus closer than 8 counts to a line, so it may drop out or flicker."},
        {"the all-clear",
         reports_of({{127, 205, Gear::Plus, 20, kModeSequential}, {127, 50, Gear::Minus, 20, kModeSequential},
                     {127, 127, Gear::Neutral, 20, kModeSequential}}),
         true,
         {"Plus: 20 reports, margin 50 counts to s2", "Minus: 20 reports, margin 50 counts to s1",
          "Neutral: 20 reports, margin 28 counts to s1"},
         "Every gear sits at least 8 counts inside its lines."},
    };
    for (const Case& c : cases) {
        const GearCheck check = check_gears(c.reports, c.t, c.sequential);
        std::vector<std::string> lines;
        for (const std::string& l : gear_lines(check))
            if (!l.ends_with(": not reached yet")) lines.push_back(l);
        EXPECT_EQ(lines, c.lines) << c.name;
        EXPECT_EQ(check_summary(check), c.summary) << c.name;
        EXPECT_EQ(check.all_clear(), c.summary.starts_with("Every")) << c.name;
    }
}

TEST(GearCheck, QuestionBeforeSave) {
    auto with = [](auto change) {
        Thresholds t = kFactory;
        change(t);
        return t;
    };
    struct Case {
        const char* name;
        std::vector<RecordedReport> reports;
        Thresholds to_save;
        std::string question;
    };
    // Gear 3 rests at Y 234 and passes Y 200 on the way in.
    const auto third = reports_of({{127, 234, Gear::G3, 60}, {127, 200, Gear::G3, 15}});
    const auto sixth_and_reverse = reports_of({{212, 26, Gear::G6, 40}, {226, 4, Gear::Reverse, 40}});
    const Case cases[] = {
        {"the box's own thresholds", third, kFactory, ""},
        {"a line across the way in only", third, with([](Thresholds& t) { t.v2 = 205; }), ""},
        {"a line just clear of the margin", third, with([](Thresholds& t) { t.v2 = 226; }), ""},
        {"a line just inside the margin", third, with([](Thresholds& t) { t.v2 = 227; }),
         "With v2 at 227, the stick resting in gear 3 (X 127, Y 234) would be only 7 counts from v2."},
        {"a line past where the stick rests", third, with([](Thresholds& t) { t.v2 = 240; }),
         "With v2 at 240, the stick resting in gear 3 (X 127, Y 234) would be in neutral."},
        {"nothing is predicted between sixth and reverse", sixth_and_reverse, with([](Thresholds& t) { t.v1 = 140; }),
         ""},
        {"sixth near v1", sixth_and_reverse, with([](Thresholds& t) { t.v1 = 30; }),
         "With v1 at 30, the stick resting in gear 6 (X 212, Y 26) would be only 4 counts from v1."},
        {"fifth into the zone of sixth and reverse", reports_of({{212, 234, Gear::G5, 30}}),
         with([](Thresholds& t) {
             t.v1 = 245;
             t.v2 = 250;
         }),
         "With v1 at 245 and v2 at 250, the stick resting in gear 5 (X 212, Y 234) would be in gear 6 or reverse."},
        {"neutral into a gear, and two gears at once",
         reports_of({{127, 127, Gear::Neutral, 50}, {30, 220, Gear::G1, 20}}),
         with([](Thresholds& t) {
             t.h1 = 20;
             t.v1 = 230;
             t.v2 = 240;
         }),
         "With h1 at 20, v1 at 230 and v2 at 240, the stick resting in gear 1 (X 30, Y 220) would be in gear 4. "
         "With v1 at 230, the stick resting in neutral (X 127, Y 127) would be in gear 4."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(crossings_statement(save_crossings(c.reports, c.to_save, false), c.to_save), c.question) << c.name;
}

// Rests at the ends of a gate drawn square: the lines go where they leave the
// smallest margin the most room, each to the middle of its gap on a tie.
TEST(GearCheck, SuggestedThresholds) {
    struct Rested {
        std::uint8_t x, y;
        Gear gear;
    };
    const Rested gate[] = {{30, 234, Gear::G1},  {30, 26, Gear::G2},  {127, 234, Gear::G3}, {127, 26, Gear::G4},
                           {212, 234, Gear::G5}, {212, 26, Gear::G6}, {226, 4, Gear::Reverse}, {127, 127, Gear::Neutral}};
    auto record = [](std::initializer_list<Rested> rests, const Thresholds* box, bool sequential = false) {
        std::vector<RecordedReport> out;
        for (const Rested& r : rests) {
            // Under a box's thresholds, the gear it decodes there.
            const Gear g = box ? gear_of(Report{r.x, r.y,
                                                emulator::decode_gear(r.x, r.y, false,
                                                                      {{std::uint8_t(box->h1), std::uint8_t(box->h2),
                                                                        std::uint8_t(box->v1), std::uint8_t(box->v2), 0, 0}})
                                                    .gear_bits,
                                                0, 0})
                               : r.gear;
            out.insert(out.end(), 30, {r.x, r.y, g, sequential ? kModeSequential : kModeH});
        }
        return out;
    };
    struct Case {
        const char* name;
        std::vector<RecordedReport> reports;
        bool sequential;
        Thresholds current, suggested;
        bool by_position;
        std::string missing;
        int smallest_now, smallest_then;
        std::string line;  // one of the lines shown
    };
    const Thresholds zeros{0, 0, 0, 0, 0, 0};
    const Case cases[] = {
        {"every gear", record({gate[0], gate[1], gate[2], gate[3], gate[4], gate[5], gate[6], gate[7]}, nullptr),
         false, kFactory, {79, 169, 77, 180, 100, 155}, false, "", 26, 43, "Gear 3: margin 26 now, 43 suggested"},
        {"lines without rests on both sides keep their values", record({gate[0], gate[2], gate[7]}, nullptr), false,
         kFactory, {79, 152, 64, 180, 100, 155}, false, "2456R", 26, 26,
         "Gear 2, gear 4, gear 5, gear 6 and reverse not reached yet: rest in each and suggest again."},
        {"a box decoding gear 5 everywhere: grouped by position",
         record({gate[0], gate[1], gate[2], gate[3], gate[4], gate[5], gate[6], gate[7]}, &zeros), false, zeros,
         {79, 169, 77, 180, 0, 0}, true, "12346RN", 0, 43, "Gear 1: in gear 5 now, margin 49 suggested"},
        {"sequential, the tie to the middle",
         record({{127, 205, Gear::Plus}, {127, 50, Gear::Minus}, {127, 127, Gear::Neutral}}, nullptr, true), true,
         kFactory, {102, 152, 64, 190, 89, 166}, false, "", 28, 39, "Neutral: margin 28 now, 39 suggested"},
    };
    for (const Case& c : cases) {
        const Suggestion s = suggest_thresholds(find_rests(c.reports, c.sequential), c.current);
        EXPECT_EQ(s.thresholds, c.suggested) << c.name;
        EXPECT_EQ(s.by_position, c.by_position) << c.name;
        std::string missing;
        for (const Gear g : s.missing) missing += gear_name(g);
        EXPECT_EQ(missing, c.missing) << c.name;
        EXPECT_EQ(s.smallest_now, c.smallest_now) << c.name;
        EXPECT_EQ(s.smallest_then, c.smallest_then) << c.name;
        const std::vector<std::string> lines = suggestion_lines(s);
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << c.name << testing::PrintToString(lines);
    }
}

// One turn of the demo's hand, on each way a box tells reverse: every gear
// the box reports is reached well inside the factory thresholds; a
// calibration over it (each mode from its own travel) moves no gear's rest;
// with a shallow gate that gear alone is at risk.
TEST(GearCheck, OneTurnOfTheDemoStick) {
    for (const emulator::ReverseRule rule : emulator::kReverseRules) {
        SCOPED_TRACE(emulator::reverse_rule_name(rule));
        auto turn = [&](emulator::ShallowGate shallow) {
            GearRecord record;
            MonitorState range;
            for (std::int64_t ms = 0; ms < emulator::DemoStick::cycle_length(); ms += 10) {
                const emulator::StickPosition p = emulator::DemoStick::position_at(ms, shallow);
                const auto d = emulator::decode_gear(p.x, p.y, p.sequential, {}, rule, p.reverse);
                const std::uint8_t mode = p.sequential ? kModeSequential : kModeH;
                record.add(Report{p.x, p.y, d.gear_bits, d.minus, mode});
                capture_range(range, p.x, p.y, mode);
            }
            return std::pair{record, range};
        };
        auto named = [](const GearCheck& c, bool at_risk_only) {
            std::string names;
            for (const GearStatus& g : c.gears)
                if (g.reached() && (!at_risk_only || g.at_risk)) names += gear_name(g.gear);
            return names;
        };
        const std::string h_gears = rule == emulator::ReverseRule::Gate   ? "12345RN"
                                    : rule == emulator::ReverseRule::None ? "123456N"
                                                                          : "123456RN";
        const auto [usual, range] = turn({});
        for (const bool sequential : {false, true}) {
            const GearCheck check = check_gears(usual.reports(), kFactory, sequential);
            EXPECT_EQ(named(check, false), sequential ? "+-N" : h_gears);
            EXPECT_EQ(named(check, true), "") << testing::PrintToString(gear_lines(check));
            EXPECT_FALSE(check.any_mismatch());
            EXPECT_EQ(check.all_clear(), sequential || h_gears.size() == 8) << check_summary(check);
            const Thresholds derived = derive_thresholds(range, sequential ? kModeSequential : kModeH, kFactory);
            EXPECT_TRUE(save_crossings(usual.reports(), derived, sequential).empty())
                << crossings_statement(save_crossings(usual.reports(), derived, sequential), derived);
        }
        // Calibrating a box whose thresholds are all 0 (gear 5 everywhere):
        // its gears say nothing of the rests, which are judged by position.
        GearRecord zeros;
        for (std::int64_t ms = 0; ms < emulator::DemoStick::cycle_length(); ms += 10) {
            const emulator::StickPosition p = emulator::DemoStick::position_at(ms);
            const auto d = emulator::decode_gear(p.x, p.y, p.sequential, {{0, 0, 0, 0, 0, 0}}, rule, p.reverse);
            zeros.add(Report{p.x, p.y, d.gear_bits, d.minus, std::uint8_t(p.sequential ? kModeSequential : kModeH)});
        }
        const Thresholds derived = derive_thresholds(range, kModeH, kFactory);
        EXPECT_EQ(crossings_statement(save_crossings(zeros.reports(), derived, false), derived), "");
        Thresholds near = derived;
        near.h1 = 36;
        EXPECT_EQ(crossings_statement(save_crossings(zeros.reports(), near, false), near),
                  "With h1 at 36, the stick resting there (X 30, Y 26) would be only 6 counts from h1. "
                  "With h1 at 36, the stick resting there (X 30, Y 234) would be only 6 counts from h1.");
        const GearCheck shallow = check_gears(turn({'3', 3}).first.reports(), kFactory, false);
        EXPECT_EQ(named(shallow, true), "3");
        EXPECT_EQ(shallow.gears[2].line, GateLine::V2);
    }
}

// ---- the travel map ----------------------------------------------------------

bool is_ink(const QImage& img, int x, int y) { return img.pixel(x, y) == qRgb(0, 0, 0); }

bool rect_inked(const QImage& img, const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (!is_ink(img, x, y)) return false;
    return true;
}

int ink_count(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += is_ink(img, x, y);
    return n;
}

QRect point_of(QSize area, int x, int y, int width) {
    return point_rect(map_x(x, area.width()), map_y(y, area.height()), width, area.width(), area.height());
}

QRect point_of(const GraphView& g, int x, int y, int width) {
    return point_of(QSize(g.ScaleWidth(), g.ScaleHeight()), x, y, width);
}

// The map's drawing area in the window: 258 x 258 inside the border.
const QSize kArea(258, 258);

TEST(TraceRaster, PointFootprint) {
    TraceRaster g(kArea);
    EXPECT_EQ(g.image().size(), kArea);
    EXPECT_EQ(g.draw_width(), 1);

    struct Case {
        int x, y, width;
        QRect rect;
    };
    const Case cases[] = {
        {0, 0, 1, QRect(0, 257, 1, 1)},      // bottom-left corner
        {255, 255, 1, QRect(257, 0, 1, 1)},  // top-right corner, kept inside
        {0, 0, 2, QRect(0, 256, 2, 2)},
        {255, 255, 2, QRect(256, 0, 2, 2)},
        {255, 0, 2, QRect(256, 256, 2, 2)},
        {85, 170, 1, QRect(86, 86, 1, 1)},   // 85/255*258 = 86: the pixel right of that grid line
        {85, 170, 2, QRect(85, 85, 2, 2)},   // centred on the grid line
    };
    for (const Case& c : cases)
        EXPECT_EQ(point_of(kArea, c.x, c.y, c.width), c.rect) << c.x << "," << c.y << " w" << c.width;

    EXPECT_EQ(g.draw_position(85, 170), QRect(86, 86, 1, 1));
    EXPECT_TRUE(rect_inked(g.image(), QRect(86, 86, 1, 1)));
    EXPECT_EQ(ink_count(g.image()), 1);
    EXPECT_TRUE(g.draw_position(85, 170).isEmpty());  // nothing changed
    g.set_draw_width(2);
    g.draw_position(0, 0);
    EXPECT_TRUE(rect_inked(g.image(), QRect(0, 256, 2, 2)));
    EXPECT_EQ(ink_count(g.image()), 5);
    g.clear();
    EXPECT_EQ(ink_count(g.image()), 0);
}

TEST(GraphView, SnapshotShowsBorderPointsAndVisibleLinesOnly) {
    GraphView g;
    g.resize(260, 260);
    g.draw_position(128, 128);
    g.line_h1->setVisible(true);
    g.line_h1->set_points(50, 0, 50, g.ScaleHeight());
    g.line_s2->setVisible(false);
    g.line_s2->set_points(0, 200, g.ScaleWidth(), 200);
    const QImage img = g.snapshot();
    ASSERT_EQ(img.size(), QSize(260, 260));
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 0));      // border
    EXPECT_EQ(img.pixel(259, 130), qRgb(0, 0, 0));  // border
    EXPECT_EQ(img.pixel(10, 10), qRgb(255, 255, 255));
    const QRect p = point_of(g, 128, 128, 1).translated(1, 1);
    EXPECT_EQ(img.pixel(p.topLeft()), qRgb(0, 0, 0));
    // A 2-pixel line at x = 50 covers columns 49 and 50 of the drawing area.
    EXPECT_EQ(img.pixel(1 + 49, 100), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(1 + 50, 100), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(1 + 52, 100), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(100, 1 + 200), qRgb(255, 255, 255));  // hidden line
    // A narrow strip of the map, as a moving line asks for, shows the same pixels.
    const QRect strip(120, 0, 20, 260);
    QImage part(g.size(), QImage::Format_RGB32);
    part.fill(Qt::red);
    g.render(&part, strip.topLeft(), QRegion(strip));
    EXPECT_EQ(part.copy(strip), img.copy(strip));
    // A light palette draws every line in its own colour, pale green too.
    g.line_s1->set_color(QColor(0, 255, 0));
    g.line_s1->setVisible(true);
    g.line_s1->set_points(0, 100, g.ScaleWidth(), 100);
    EXPECT_EQ(g.snapshot().pixel(150, 1 + 100), qRgb(0, 255, 0));
    EXPECT_EQ(g.line_s2->color(), QColor(0, 128, 0));
    EXPECT_EQ(g.line_v1->objectName(), "v1");
}

TEST(GraphView, FollowsThePaletteAndKeepsLinesVisibleOnADarkOne) {
    GraphView g;
    QPalette dark = g.palette();
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    g.resize(260, 260);
    g.draw_position(128, 128);
    g.setPalette(dark);  // what was drawn before takes the new colours too
    g.line_h1->setVisible(true);
    g.line_h1->set_points(50, 0, 50, g.ScaleHeight());
    const QImage img = g.snapshot();
    EXPECT_EQ(img.pixel(10, 10), qRgb(30, 30, 30));
    EXPECT_EQ(img.pixel(point_of(g, 128, 128, 1).translated(1, 1).topLeft()), qRgb(230, 230, 230));
    // Blue keeps its value but is drawn lighter, to stand out from the dark.
    EXPECT_EQ(g.line_h1->color(), QColor(0, 0, 255));
    const QColor drawn = img.pixelColor(1 + 50, 100);
    EXPECT_EQ(drawn.hslHue(), QColor(0, 0, 255).hslHue());
    EXPECT_GT(drawn.lightness(), 150);
}

TEST(GraphView, ResizingRedrawsTheTraceAndScalesTheLines) {
    GraphView g;
    g.resize(260, 260);
    EXPECT_EQ(g.ScaleWidth(), 258);
    EXPECT_EQ(g.ScaleHeight(), 258);
    EXPECT_EQ(g.canvas().size(), kArea);
    Trace t;
    t.set(cell(200, 50));
    g.replot(t);
    g.line_h1->set_points(map_x(102, g.ScaleWidth()), 0, map_x(102, g.ScaleWidth()), g.ScaleHeight());
    g.resize(522, 522);
    g.fit_to_area();
    EXPECT_TRUE(rect_inked(g.canvas(), point_of(g, 200, 50, 1)));
    EXPECT_EQ(ink_count(g.canvas()), 1);
    EXPECT_NEAR(g.line_h1->X1, map_x(102, 520), 1e-3);
    EXPECT_EQ(g.line_h1->Y2, 520);
}

// The replot as the box's map has always defined it: every cell tested,
// a point drawn for each set one.
class NaiveMap {
public:
    explicit NaiveMap(QSize area) : image_(area, QImage::Format_RGB32) { clear(); }
    void clear() { image_.fill(Qt::white); }
    void point(int x, int y, int width) {
        QPainter p(&image_);
        point(p, x, y, width);
    }
    void replot(const Trace& t, int width) {
        QPainter p(&image_);
        for (int x = 0; x < 256; ++x)
            for (int y = 0; y < 256; ++y)
                if (t.test(cell(x, y))) point(p, x, y, width);
    }
    const QImage& image() const { return image_; }

private:
    void point(QPainter& p, int x, int y, int width) {
        p.fillRect(point_rect(map_x(x, image_.width()), map_y(y, image_.height()), width, image_.width(),
                              image_.height()),
                   Qt::black);
    }

    QImage image_;
};

TEST(TraceRaster, ReplotMatchesNaiveReplotThroughRandomHistory) {
    TraceRaster g(kArea);
    NaiveMap ref(kArea);
    Trace traces[2];
    std::mt19937 rng(20240611);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

    int replots = 0;
    for (int step = 0; step < 400; ++step) {
        const int op = pick(100);
        Trace& t = traces[pick(2)];
        if (op < 45) {
            // A tick's worth of new positions, drawn as they arrive.
            const int n = 1 + pick(20);
            const int cx = pick(256), cy = pick(256);
            for (int i = 0; i < n; ++i) {
                const int x = std::clamp(cx + pick(21) - 10, 0, 255);
                const int y = std::clamp(cy + pick(21) - 10, 0, 255);
                t.set(cell(x, y));
                g.draw_position(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y));
                ref.point(x, y, g.draw_width());
            }
        } else if (op < 80) {
            g.replot(t);
            ref.replot(t, g.draw_width());
            ++replots;
        } else if (op < 88) {
            g.clear();
            ref.clear();
        } else if (op < 95) {
            g.set_draw_width(1 + pick(2));
        } else if (op < 98) {
            t.reset();  // a restart of the monitor values, without clearing the map
        } else {
            for (int i = 0; i < 1000; ++i) t.set(static_cast<std::size_t>(pick(65536)));
        }
        ASSERT_EQ(g.image(), ref.image()) << "after step " << step << " (op " << op << ")";
    }
    EXPECT_GT(replots, 100);
    EXPECT_GT(ink_count(g.image()), 0);
}

TEST(TraceRaster, ReplotOfAFullTraceAfterClearAndWidthChange) {
    TraceRaster g(kArea);
    NaiveMap ref(kArea);
    Trace full;
    full.set();
    g.replot(full);
    ref.replot(full, 1);
    EXPECT_EQ(g.image(), ref.image());
    // 256 positions over 258 pixels: every cell a pixel of its own, two
    // columns and two rows left blank.
    EXPECT_EQ(ink_count(g.image()), 256 * 256);

    g.clear();
    ref.clear();
    EXPECT_EQ(ink_count(g.image()), 0);
    g.replot(full);  // the same cells again after a clear
    ref.replot(full, 1);
    EXPECT_EQ(g.image(), ref.image());

    g.clear();
    ref.clear();
    g.set_draw_width(2);
    Trace one;
    one.set(cell(0, 0));
    g.replot(one);
    EXPECT_EQ(ink_count(g.image()), 4);
    g.replot(full);  // drawn at width 1 before: redrawn at 2
    ref.replot(one, 2);
    ref.replot(full, 2);
    EXPECT_EQ(g.image(), ref.image());
    EXPECT_EQ(ink_count(g.image()), 258 * 258);
}


// The gear view as defined: the points drawn as they come in their gear's
// colour, and on a replot every cell of the trace in its gear's colour, in
// the trace's order.
TEST(TraceRaster, GearViewMatchesNaiveReplotThroughRandomHistory) {
    TraceRaster g(kArea);
    g.set_gear_view(true);
    QImage ref(kArea, QImage::Format_RGB32);
    ref.fill(Qt::white);
    auto point = [&](QPainter& p, int x, int y, Gear gear) {
        p.fillRect(point_rect(map_x(x, ref.width()), map_y(y, ref.height()), g.draw_width(), ref.width(), ref.height()),
                   gear_color(gear, g.paper()));
    };
    Trace traces[2];
    std::vector<GearMap> maps(2);
    std::vector<int> cells[2];
    std::mt19937 rng(20250301);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 300; ++step) {
        const int op = pick(100);
        const int k = pick(2);
        Trace& t = traces[k];
        GearMap& gears = maps[k];
        if (op < 40) {
            QPainter p(&ref);
            const int cx = pick(256), cy = pick(256);
            for (int i = 0, n = 1 + pick(15); i < n; ++i) {
                const int x = std::clamp(cx + pick(9) - 4, 0, 255), y = std::clamp(cy + pick(9) - 4, 0, 255);
                const Gear gear = static_cast<Gear>(pick(kGearCount));
                t.set(cell(x, y));
                gears.set(cell(x, y), gear);
                cells[k].push_back(static_cast<int>(cell(x, y)));
                g.draw_position(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), gear);
                point(p, x, y, gear);
            }
        } else if (op < 50 && !cells[k].empty()) {
            // The box decides otherwise at cells already drawn.
            for (int i = 0; i < 20; ++i)
                gears.set(static_cast<std::size_t>(cells[k][pick(static_cast<int>(cells[k].size()))]),
                          static_cast<Gear>(pick(kGearCount)));
        } else if (op < 85) {
            g.replot(t, gears);
            QPainter p(&ref);
            for (int c = 0; c < 256 * 256; ++c)
                if (t.test(static_cast<std::size_t>(c))) point(p, c >> 8, c & 255, gears[static_cast<std::size_t>(c)]);
        } else if (op < 92) {
            g.clear();
            ref.fill(Qt::white);
        } else if (op < 96) {
            g.set_draw_width(1 + pick(2));
        } else {
            g.set_gear_view(false);  // switching erases the drawing
            g.set_gear_view(true);
            ref.fill(Qt::white);
        }
        ASSERT_EQ(g.image(), ref) << "after step " << step << " (op " << op << ")";
    }
}

// Colour is not the only cue: each gear's name, framed in its colour, is
// written beside its points and follows the box's decisions.
TEST(GraphView, GearNamesFollowTheirPoints) {
    GraphView g;
    g.resize(260, 260);
    g.set_gear_view(true);
    Trace t;
    GearMap gears;
    for (int x = 120; x < 130; ++x) {
        t.set(cell(x, 220));
        gears.set(cell(x, 220), Gear::G3);
    }
    auto shown = [&](Gear gear) {
        const QImage image = g.snapshot();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += QColor(image.pixel(x, y)) == gear_color(gear, g.paper());
        return n;
    };
    g.replot(t, gears);
    EXPECT_GT(shown(Gear::G3), 30);  // the points take 10 pixels, the name's frame the rest
    for (int x = 120; x < 130; ++x) gears.set(cell(x, 220), Gear::G4);
    g.replot(t, gears);
    EXPECT_EQ(shown(Gear::G3), 0);
    EXPECT_GT(shown(Gear::G4), 30);
}

// The contrast ratio and the colours drawn over light and dark maps.
TEST(Palette, ContrastAndInks) {
    const QColor white(Qt::white), black(Qt::black), blue(0, 0, 255), dark(30, 30, 30);
    struct Case {
        QColor a, b;
        double ratio;
    };
    const Case cases[] = {{white, black, 21.0}, {black, white, 21.0}, {blue, white, 8.59}, {dark, dark, 1.0},
                          {QColor(118, 118, 118), white, 4.54}};
    for (const Case& c : cases) EXPECT_NEAR(contrast(c.a, c.b), c.ratio, 0.01) << c.a.name().toStdString();
    // Black text stands out better from mid grey 118 than white does; from 117, white does.
    EXPECT_TRUE(is_light(QColor(118, 118, 118)));
    EXPECT_FALSE(is_light(QColor(117, 117, 117)));
    EXPECT_EQ(text_on(white), black);
    EXPECT_EQ(text_on(dark), QColor(230, 230, 230));
    // Over a light background a line keeps its colour, however pale; over a
    // dark one it keeps its hue and is lightened to at least 4.5:1.
    EXPECT_EQ(line_ink(QColor(0, 255, 0), QColor(128, 128, 128)), QColor(0, 255, 0));
    for (QColor line : {blue, QColor(0, 128, 0), QColor(255, 0, 0)}) {
        const QColor drawn = line_ink(line, dark);
        EXPECT_EQ(drawn.hslHue(), line.hslHue()) << line.name().toStdString();
        EXPECT_GE(contrast(drawn, dark), 4.5) << line.name().toStdString();
    }
}

TEST(Palette, GearColoursStandOutOnLightAndDarkMaps) {
    auto luminance = [](QColor c) {
        auto lin = [](int v) { return v <= 10 ? v / 255.0 / 12.92 : std::pow((v / 255.0 + 0.055) / 1.055, 2.4); };
        return 0.2126 * lin(c.red()) + 0.7152 * lin(c.green()) + 0.0722 * lin(c.blue());
    };
    const Gear h[] = {Gear::G1, Gear::G2, Gear::G3, Gear::G4, Gear::G5, Gear::G6, Gear::Reverse, Gear::Neutral};
    // White, and the dark palette's base and window colours.
    for (QColor paper : {QColor(Qt::white), QColor(30, 30, 30), QColor(45, 45, 48)}) {
        std::set<QRgb> seen;
        for (Gear gear : h) {
            const QColor c = gear_color(gear, paper);
            const double a = luminance(c) + 0.05, b = luminance(paper) + 0.05;
            EXPECT_GE(std::max(a, b) / std::min(a, b), 3.0) << gear_name(gear) << " on " << paper.name().toStdString();
            EXPECT_TRUE(seen.insert(c.rgb()).second) << gear_name(gear) << " on " << paper.name().toStdString();
        }
    }
}

// ---- one batch on the window's controls --------------------------------------

int px(int twips) { return twips / 15; }

class MonitorTick : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        window->resize(px(6735), px(9000));
        auto line_edit = [&](const char* name, int l, int t, int w, int h) {
            auto* e = new QLineEdit("0", window.get());
            e->setObjectName(name);
            e->setGeometry(px(l), px(t), px(w), px(h));
            return e;
        };
        auto label = [&](const char* name, const char* text, int l, int t, int w, int h) {
            auto* e = new QLabel(text, window.get());
            e->setObjectName(name);
            e->setGeometry(px(l), px(t), px(w), px(h));
            return e;
        };
        auto marker = [&](const char* name, int l, int t, int w, int h) {
            auto* e = new QFrame(window.get());
            e->setObjectName(name);
            e->setGeometry(px(l), px(t), px(w), px(h));
            return e;
        };
        c.h2_box = line_edit("Text10", 3960, 2160, 735, 375);
        c.h1_box = line_edit("Text9", 2160, 2160, 735, 375);
        c.lower_box = line_edit("Text8", 5640, 5760, 735, 375);
        c.upper_box = line_edit("Text7", 5640, 3240, 735, 375);
        c.map = new GraphView(window.get());
        c.map->setGeometry(px(1485), px(2760), px(3900), px(3900));
        c.gear = label("Gear", "1", 5640, 4080, 795, 1365);
        c.y_marker_right = marker("TickV2", 5380, 3120, 200, 45);
        c.y_marker_left = marker("TickV1", 1290, 3120, 200, 45);
        c.x_marker_top = marker("TickH1", 1560, 2570, 45, 200);
        c.x_marker_bottom = marker("TickH2", 1560, 6650, 45, 200);
        c.y_value = label("lblY", "000", 600, 4560, 615, 255);
        c.x_value = label("lblX", "000", 2880, 6860, 1005, 375);
        initialise_values(s, *c.map);
        window->show();
        // As after connecting: the first batch lays the display out.
        s.shown_mode = kModeNone;
    }

    void tick(std::initializer_list<R> reports) {
        const auto b = batch(reports);
        process_batch(b.data(), static_cast<int>(b.size()), 6, s, t, c);
    }

    GraphView& graph() { return *c.map; }
    const QImage& canvas() { return c.map->canvas(); }
    bool shown_h_layout() {
        GraphView& g = graph();
        return g.line_v2->isVisible() && g.line_v1->isVisible() && g.line_h1->isVisible() && g.line_h2->isVisible() &&
               !g.line_s2->isVisible() && !g.line_s1->isVisible() && !c.h1_box->isHidden() && !c.h2_box->isHidden() &&
               !c.upper_box->isHidden() && !c.lower_box->isHidden();
    }
    bool shown_sequential_layout() {
        GraphView& g = graph();
        return !g.line_v2->isVisible() && !g.line_v1->isVisible() && !g.line_h1->isVisible() && !g.line_h2->isVisible() &&
               g.line_s2->isVisible() && g.line_s1->isVisible() && c.h1_box->isHidden() && c.h2_box->isHidden() &&
               !c.upper_box->isHidden() && !c.lower_box->isHidden();
    }

    std::unique_ptr<QWidget> window;
    MonitorControls c;
    MonitorState s;
    Thresholds t;
};

TEST_F(MonitorTick, InitialiseValuesRestartsRangeTracesAndLineSpans) {
    s.h_pattern_trace.set(cell(1, 1));
    s.sequential_trace.set(cell(2, 2));
    s.h_pattern_gears.set(cell(1, 1), Gear::G3);
    s.sequential_gears.set(cell(2, 2), Gear::Plus);
    s.gear_record.add(1, 1, Gear::G3, kModeH);
    s.x_min = 3;
    s.y_max = 200;
    t.h1 = 42;
    graph().line_h1->set_points(10, 5, 10, 6);
    graph().line_s2->set_points(7, 30, 8, 30);
    graph().draw_position(100, 100);
    initialise_values(s, graph());
    EXPECT_TRUE(s.h_pattern_trace.none());
    EXPECT_TRUE(s.sequential_trace.none());
    EXPECT_EQ(s.h_pattern_gears[cell(1, 1)], Gear::Neutral);
    EXPECT_EQ(s.sequential_gears[cell(2, 2)], Gear::Neutral);
    EXPECT_EQ(s.gear_record.size(), 0u);
    EXPECT_EQ(s.x_min, 255);
    EXPECT_EQ(s.x_max, 0);
    EXPECT_EQ(s.y_min, 255);
    EXPECT_EQ(s.y_max, 0);
    EXPECT_EQ(t.h1, 42);
    const GraphLine& v = *graph().line_h1;
    EXPECT_EQ(std::tuple(v.X1, v.Y1, v.X2, v.Y2), std::tuple(10.0, 0.0, 10.0, 258.0));
    const GraphLine& h = *graph().line_s2;
    EXPECT_EQ(std::tuple(h.X1, h.Y1, h.X2, h.Y2), std::tuple(0.0, 30.0, 258.0, 30.0));
    EXPECT_EQ(ink_count(canvas()), 1);  // the drawing stays
}

TEST_F(MonitorTick, BatchOfThreeGearsShowsTheFirstAndPlotsAll) {
    c.gear->setText("N");
    tick({{40, 200, 1, 0, 0}, {40, 60, 2, 0, 0}, {120, 210, 4, 0, 0}});
    EXPECT_EQ(c.gear->text(), "1");
    EXPECT_EQ(c.x_value->text(), "40");
    EXPECT_EQ(c.y_value->text(), "200");
    for (auto [x, y] : {std::pair{40, 200}, {40, 60}, {120, 210}}) {
        EXPECT_TRUE(s.h_pattern_trace.test(cell(x, y))) << x << "," << y;
        EXPECT_TRUE(rect_inked(canvas(), point_of(graph(), x, y, 2))) << x << "," << y;
    }
    EXPECT_EQ(s.h_pattern_trace.count(), 3u);
    EXPECT_TRUE(s.sequential_trace.none());
    // Each cell keeps its gear, and the record every report.
    EXPECT_EQ(s.h_pattern_gears[cell(40, 60)], Gear::G2);
    EXPECT_EQ(s.h_pattern_gears[cell(120, 210)], Gear::G3);
    ASSERT_EQ(s.gear_record.size(), 3u);
    EXPECT_EQ(s.gear_record.reports()[1].gear, Gear::G2);
    // The first report opened a band of ten around X = 40.
    EXPECT_EQ(std::tuple(s.x_min, s.x_max, s.y_min, s.y_max), std::tuple(35, 120, 60, 210));
    EXPECT_EQ(graph().draw_width(), 2);
}

TEST_F(MonitorTick, LabelsAndMarkersFollowTheFirstReport) {
    const QRect g = c.map->geometry();
    tick({{0, 255, 1, 0, 0}, {200, 10, 1, 0, 0}});
    EXPECT_EQ(c.x_value->text(), "0");
    EXPECT_EQ(c.y_value->text(), "255");
    EXPECT_EQ(c.y_marker_left->y(), g.top());
    EXPECT_EQ(c.y_marker_right->y(), g.top());
    EXPECT_EQ(c.x_marker_top->x(), g.left());
    EXPECT_EQ(c.x_marker_bottom->x(), g.left());
    EXPECT_EQ(c.y_value->y(), g.top() - 7);   // 100 twips above the marker
    EXPECT_EQ(c.x_value->x(), g.left() - 33);  // 496 twips left of the marker
    // The markers move along the map's edges only.
    EXPECT_EQ(c.y_marker_left->x(), px(1290));
    EXPECT_EQ(c.y_marker_right->x(), px(5380));
    EXPECT_EQ(c.x_marker_top->y(), px(2570));
    EXPECT_EQ(c.x_marker_bottom->y(), px(6650));

    tick({{255, 0, 1, 0, 0}});
    EXPECT_EQ(c.x_value->text(), "255");
    EXPECT_EQ(c.y_value->text(), "0");
    EXPECT_EQ(c.y_marker_left->y(), g.top() + g.height());
    EXPECT_EQ(c.x_marker_bottom->x(), g.left() + g.width());

    tick({{51, 102, 1, 0, 0}});  // 51 * 260 / 255 = 52, 153 * 260 / 255 = 156
    EXPECT_EQ(c.x_marker_top->x(), g.left() + 52);
    EXPECT_EQ(c.y_marker_right->y(), g.top() + 156);
    EXPECT_EQ(c.y_value->y(), g.top() + 156 - 7);
    EXPECT_EQ(c.x_value->x(), g.left() + 52 - 33);
}

TEST_F(MonitorTick, SecondReportInOtherModeIsDrawnButLayoutFollowsTheFirst) {
    tick({{50, 50, 1, 0, 0}, {180, 220, 128, 0, kSeq}});
    EXPECT_TRUE(s.h_pattern_trace.test(cell(50, 50)));
    EXPECT_TRUE(s.sequential_trace.test(cell(180, 220)));
    EXPECT_FALSE(s.h_pattern_trace.test(cell(180, 220)));
    EXPECT_EQ(s.shown_mode, kModeH);
    EXPECT_TRUE(shown_h_layout());
    // The H layout tick clears the map after the points are drawn; the
    // sequential point comes back with the next batch, which lays out nothing.
    tick({{50, 50, 1, 0, 0}, {181, 221, 128, 0, kSeq}});
    EXPECT_TRUE(rect_inked(canvas(), point_of(graph(), 50, 50, 2)));
    EXPECT_TRUE(rect_inked(canvas(), point_of(graph(), 181, 221, 2)));
    EXPECT_EQ(s.shown_mode, kModeH);
}

TEST_F(MonitorTick, SwitchingModesClearsOnceAndShowsEachModesTrace) {
    t.v1 = 60;
    t.v2 = 190;
    t.s1 = 90;
    t.s2 = 160;
    tick({{30, 30, 1, 0, 0}});
    tick({{40, 200, 1, 0, 0}});
    EXPECT_TRUE(shown_h_layout());
    EXPECT_EQ(c.upper_box->text(), "190");
    EXPECT_EQ(c.lower_box->text(), "60");
    const QRect h1 = point_of(graph(), 30, 30, 2), h2 = point_of(graph(), 40, 200, 2);
    EXPECT_TRUE(rect_inked(canvas(), h1));

    tick({{128, 240, 128, 0, kSeq}});
    EXPECT_EQ(s.shown_mode, kModeSequential);
    EXPECT_TRUE(shown_sequential_layout());
    EXPECT_EQ(c.upper_box->text(), "160");
    EXPECT_EQ(c.lower_box->text(), "90");
    const QRect q = point_of(graph(), 128, 240, 2);
    EXPECT_TRUE(rect_inked(canvas(), q));
    EXPECT_EQ(ink_count(canvas()), 4);  // the H trace is gone
    EXPECT_EQ(graph().draw_width(), 2);  // sequential mode leaves the width

    // An H report riding along is drawn and stays: no further clear.
    tick({{128, 20, 0, 1, kSeq}, {10, 128, 2, 0, 0}});
    const QRect rider = point_of(graph(), 10, 128, 2);
    tick({{128, 20, 0, 1, kSeq}});
    EXPECT_TRUE(rect_inked(canvas(), rider));
    EXPECT_TRUE(rect_inked(canvas(), q));

    tick({{50, 50, 1, 0, 0}});
    EXPECT_EQ(s.shown_mode, kModeH);
    EXPECT_TRUE(shown_h_layout());
    EXPECT_TRUE(rect_inked(canvas(), h1));
    EXPECT_TRUE(rect_inked(canvas(), h2));
    EXPECT_TRUE(rect_inked(canvas(), rider));  // it went into the H trace
    EXPECT_FALSE(rect_inked(canvas(), q));
}

TEST_F(MonitorTick, CalibrationDerivesShowsAndDisablesTheBoxes) {
    s.auto_calibrating = true;
    tick({{125, 125, 1, 0, 0}, {20, 10, 1, 0, 0}, {230, 240, 1, 0, 0}});
    ASSERT_EQ(std::tuple(s.x_min, s.x_max, s.y_min, s.y_max), std::tuple(20, 230, 10, 240));
    EXPECT_EQ(std::tuple(t.h1, t.h2, t.v1, t.v2), std::tuple(72, 177, 56, 194));
    EXPECT_EQ(c.upper_box->text(), "194");
    EXPECT_EQ(c.lower_box->text(), "56");
    EXPECT_EQ(c.h1_box->text(), "72");
    EXPECT_EQ(c.h2_box->text(), "177");
    for (QLineEdit* box : {c.upper_box, c.lower_box, c.h1_box, c.h2_box}) EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(s.shown_mode, kModeH);  // laid out afresh by this very tick
    const GraphView& g = graph();
    EXPECT_EQ(g.line_h1->X1, map_x(72, g.ScaleWidth()));
    EXPECT_EQ(g.line_h2->X1, map_x(177, g.ScaleWidth()));
    EXPECT_EQ(g.line_v1->Y1, map_y(56, g.ScaleHeight()));
    EXPECT_EQ(g.line_v2->Y1, map_y(194, g.ScaleHeight()));

    // Every calibration tick lays out again, clearing what only draw_position put there.
    tick({{100, 100, 1, 0, 0}, {60, 60, 0, 0, kSeq}});
    EXPECT_FALSE(rect_inked(canvas(), point_of(graph(), 60, 60, 2)));
    EXPECT_TRUE(rect_inked(canvas(), point_of(graph(), 230, 240, 2)));
}

TEST_F(MonitorTick, SequentialCalibrationChangesOnlySequentialThresholds) {
    t = Thresholds{11, 22, 33, 44, 55, 66};
    c.h1_box->setText("11");
    c.h2_box->setText("22");
    s.auto_calibrating = true;
    tick({{128, 128, 0, 0, kSeq}, {128, 0, 0, 1, kSeq}, {128, 255, 128, 0, kSeq}});
    EXPECT_EQ(std::tuple(t.h1, t.h2, t.v1, t.v2), std::tuple(11, 22, 33, 44));
    EXPECT_EQ(t.s1, 51);
    EXPECT_EQ(t.s2, 204);
    EXPECT_EQ(c.upper_box->text(), "204");
    EXPECT_EQ(c.lower_box->text(), "51");
    EXPECT_EQ(c.h1_box->text(), "11");
    EXPECT_TRUE(shown_sequential_layout());
    EXPECT_EQ(graph().line_s2->Y1, map_y(204, graph().ScaleHeight()));
    EXPECT_EQ(graph().line_s1->Y1, map_y(51, graph().ScaleHeight()));
}

TEST_F(MonitorTick, HPatternReadBackPlacesLinesAndACommitStoresValidBoxes) {
    tick({{100, 100, 0, 0, 0}});  // lay out, establish a range
    c.upper_box->setText("12.5");
    c.lower_box->setText(" 13.5 ");
    c.h1_box->setText("255");
    c.h2_box->setText("abc");
    t.h1 = 70;
    t.h2 = 180;
    const Thresholds before = t;
    tick({{100, 100, 0, 0, 0}});
    // The lines follow the texts that are thresholds; the thresholds wait
    // for their boxes to commit.
    EXPECT_EQ(t, before);
    const GraphView& g = graph();
    EXPECT_EQ(g.line_v2->Y1, map_y(12, g.ScaleHeight()));
    EXPECT_EQ(g.line_v2->Y2, g.line_v2->Y1);
    EXPECT_EQ(g.line_v1->Y1, map_y(14, g.ScaleHeight()));
    EXPECT_EQ(g.line_h1->X1, map_x(70, g.ScaleWidth()));
    EXPECT_EQ(g.line_h2->X1, map_x(180, g.ScaleWidth()));
    EXPECT_EQ(g.line_h2->X2, g.line_h2->X1);
    // The lines still span the map.
    EXPECT_EQ(std::tuple(g.line_v2->X1, g.line_v2->X2), std::tuple(0.0, 258.0));
    EXPECT_EQ(std::tuple(g.line_h1->Y1, g.line_h1->Y2), std::tuple(0.0, 258.0));
    EXPECT_EQ(c.h1_box->text(), "255");  // an ignored text stays as typed
    EXPECT_TRUE(commit_box(kModeH, t, c, c.upper_box)->taken);
    const std::optional<Commit> h1 = commit_box(kModeH, t, c, c.h1_box);
    EXPECT_EQ(std::tuple(h1->taken, h1->problem), std::tuple(false, std::string("is not within 0 to 254")));
    EXPECT_EQ(std::tuple(t.v2, t.v1, t.h1, t.h2), std::tuple(12, before.v1, 70, 180));
    EXPECT_EQ(commit_box(kModeSequential, t, c, c.h1_box), std::nullopt);  // hidden in sequential mode
}

TEST(ThresholdEntry, ALineStopsShortOfItsPartnerAndARefusalNamesEachBox) {
    Thresholds t{100, 150, 60, 190, 90, 160};
    struct Row { int index; int wanted; int kept; };
    const Row rows[] = {{device::kH1, 200, 149}, {device::kH2, 20, 101}, {device::kV2, 300, 254},
                        {device::kV1, -4, 0},    {device::kS1, 170, 159}, {device::kS2, 91, 91}};
    for (const Row& r : rows) EXPECT_EQ(keep_from_partner(r.index, r.wanted, t), r.kept) << r.index;
    t.h1 = 160;  // crossed already: moves freely rather than jump over
    EXPECT_EQ(keep_from_partner(device::kH1, 140, t), 140);
    EXPECT_EQ(refusal_sentence({{device::kH1, "300", "is not within 0 to 254"}, {device::kV2, "x", "is not a number"}}),
              "h1 holds \"300\", which is not within 0 to 254, and v2 holds \"x\", which is not a number: "
              "nothing was saved.");
}

TEST_F(MonitorTick, LinesStayWhenNothingIsAcceptedAndRangeHoldsStill) {
    tick({{100, 100, 0, 0, 0}});
    const double before = graph().line_h1->X1;
    for (QLineEdit* box : {c.upper_box, c.lower_box, c.h1_box, c.h2_box}) box->setText("x");
    t.h1 = 200;
    tick({{101, 99, 0, 0, 0}});  // inside the band: no widening
    EXPECT_EQ(graph().line_h1->X1, before);
    tick({{150, 99, 0, 0, 0}});  // widens: lines placed from the fields
    EXPECT_EQ(graph().line_h1->X1, map_x(200, graph().ScaleWidth()));
}

TEST_F(MonitorTick, SequentialReadBackIgnoresHiddenBoxesAndPlacesEachValidLine) {
    t.h1 = 60;
    t.h2 = 190;
    tick({{128, 128, 0, 0, kSeq}});
    const double v1_line = graph().line_h1->X1;
    c.h1_box->setText("10");
    c.h2_box->setText("20");
    c.upper_box->setText("nope");
    c.lower_box->setText("40");
    const double seq_h1 = graph().line_s2->Y1;
    const int s1 = t.s1;
    tick({{128, 128, 0, 0, kSeq}});  // no widening
    EXPECT_EQ(std::tuple(t.h1, t.h2), std::tuple(60, 190));
    EXPECT_EQ(graph().line_h1->X1, v1_line);
    EXPECT_EQ(t.s1, s1);
    EXPECT_EQ(graph().line_s1->Y1, map_y(40, graph().ScaleHeight()));
    EXPECT_EQ(graph().line_s2->Y1, seq_h1);
    c.upper_box->setText("254");
    tick({{128, 128, 0, 0, kSeq}});
    commit_box(kModeSequential, t, c, c.upper_box);
    EXPECT_EQ(t.s2, 254);
    EXPECT_EQ(graph().line_s2->Y1, map_y(254, graph().ScaleHeight()));
}

TEST_F(MonitorTick, ThresholdLinesPassThroughPointsOnTheThreshold) {
    tick({{0, 0, 0, 0, 0}});
    c.upper_box->setText("200");
    c.lower_box->setText("37");
    c.h1_box->setText("91");
    c.h2_box->setText("254");
    tick({{91, 200, 0, 0, 0}, {254, 37, 0, 0, 0}});
    const GraphView& g = graph();
    auto through_x = [&](const GraphLine& l, int x, int y) {
        const QRect p = point_of(g, x, y, g.draw_width());
        return l.X1 == map_x(x, g.ScaleWidth()) && l.X1 >= p.left() && l.X1 <= p.right() + 1;
    };
    auto through_y = [&](const GraphLine& l, int x, int y) {
        const QRect p = point_of(g, x, y, g.draw_width());
        return l.Y1 == map_y(y, g.ScaleHeight()) && l.Y1 >= p.top() && l.Y1 <= p.bottom() + 1;
    };
    EXPECT_TRUE(through_x(*g.line_h1, 91, 200));
    EXPECT_TRUE(through_y(*g.line_v2, 91, 200));
    EXPECT_TRUE(through_x(*g.line_h2, 254, 37));
    EXPECT_TRUE(through_y(*g.line_v1, 254, 37));
    EXPECT_TRUE(rect_inked(canvas(), point_of(g, 91, 200, 2)));
}

TEST_F(MonitorTick, GearViewDrawsTheShownTraceAgainAtOnce) {
    tick({{40, 200, 1, 0, 0}, {40, 60, 2, 0, 0}});
    const QRect first = point_of(graph(), 40, 200, 2), second = point_of(graph(), 40, 60, 2);
    show_gear_view(true, s, graph());
    EXPECT_EQ(QColor(canvas().pixel(first.topLeft())), gear_color(Gear::G1, graph().paper()));
    EXPECT_EQ(QColor(canvas().pixel(second.topLeft())), gear_color(Gear::G2, graph().paper()));
    show_gear_view(false, s, graph());
    EXPECT_TRUE(rect_inked(canvas(), first));
    EXPECT_TRUE(rect_inked(canvas(), second));
}

TEST_F(MonitorTick, ShortReportsOrEmptyBatchesChangeNothing) {
    c.gear->setText("3");
    const auto b = batch({{10, 10, 1, 0, 0}});
    process_batch(b.data(), static_cast<int>(b.size()), 5, s, t, c);
    process_batch(b.data(), 3, 6, s, t, c);
    EXPECT_EQ(c.gear->text(), "3");
    EXPECT_TRUE(s.h_pattern_trace.none());
    EXPECT_EQ(ink_count(canvas()), 0);
}

}  // namespace
