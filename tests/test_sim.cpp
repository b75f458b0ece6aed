// The simulated unit's parts: readings, replies by code, faults, line
// timing, the record line and the command line.
#include "link/frames.hpp"
#include "sim/fault_picker.hpp"
#include "sim/line_schedule.hpp"
#include "sim/options.hpp"
#include "sim/unit_model.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

namespace {

using sim::fault;

// The mean of each channel over 10 s of samples from `from` on.
std::array<double, 4> channel_means(sim::unit_model& model, double from)
{
    std::array<double, 4> sums{};
    constexpr int samples = 200;
    for (int i = 0; i < samples; ++i) {
        const sim::unit_state state = model.at(from + 0.05 * i);
        for (std::size_t channel = 0; channel < 4; ++channel) {
            sums[channel] += state.adc[channel] / double(samples);
        }
    }
    return sums;
}

TEST(UnitModel, AdcChannelsAreNoisyAroundTheirLevelsAndTheTemperatureDriftsSlowly)
{
    sim::unit_model model(7);
    std::array<std::set<std::uint16_t>, 4> seen;
    for (int i = 0; i < 400; ++i) {
        const double t = 0.05 * i;
        const sim::unit_state state = model.at(t);
        for (std::size_t channel = 0; channel < 4; ++channel) {
            seen[channel].insert(state.adc[channel]);
            // 20 s into a 900 s cycle the drift is below one count.
            EXPECT_LE(std::abs(state.adc[channel] - sim::adc_nominal[channel]), sim::adc_noise[channel] + 1.5)
                << "channel " << channel << " at " << t;
        }
    }
    for (std::size_t channel = 0; channel < 4; ++channel) {
        EXPECT_GE(seen[channel].size(), 3u) << "channel " << channel << " carries no noise";
    }
    // A quarter cycle on, the temperature stands temperature_swing higher,
    // and the vcxo half that; half a cycle later both stand as far below.
    const std::array<double, 4> start = channel_means(model, 20.0);
    const std::array<double, 4> warm = channel_means(model, sim::temperature_period / 4 - 5);
    const std::array<double, 4> cold = channel_means(model, 3 * sim::temperature_period / 4 - 5);
    EXPECT_NEAR(start[2], sim::adc_nominal[2] + 1.0, 0.5);
    EXPECT_NEAR(warm[2] - cold[2], 2 * sim::temperature_swing, 1.0);
    EXPECT_NEAR(warm[3] - cold[3], sim::temperature_swing, 1.0);
    EXPECT_NEAR(warm[0] - cold[0], 0.0, 0.5);
}

TEST(UnitModel, DdsOneHoldsWhileDdsTwoCountsAtItsRateAndWraps)
{
    sim::unit_model model(3);
    sim::unit_state before = model.at(10.0);
    for (int i = 1; i <= 200; ++i) {
        const sim::unit_state now = model.at(10.0 + 0.05 * i);
        EXPECT_EQ(now.dds1, sim::dds1_word);
        const auto delta = static_cast<std::int32_t>(now.dds2 - before.dds2);
        EXPECT_NEAR(delta, 0.05 * sim::dds2_counts_per_second, 2 * sim::dds2_wander_limit);
        before = now;
    }
    // The 32-bit counter passes 2^32 about 17180 s after start.
    const double wrap = (4294967296.0 - sim::dds2_start) / sim::dds2_counts_per_second;
    EXPECT_GT(model.at(wrap - 1).dds2, 4294967296.0 - 2 * sim::dds2_counts_per_second);
    EXPECT_LT(model.at(wrap + 1).dds2, 2 * sim::dds2_counts_per_second);
}

TEST(UnitModel, TuningFollowsTheVcxoLevelAndUptimeCountsSeconds)
{
    sim::unit_model model(11);
    for (double t : {0.0, 100.0, 225.0, 450.0, 675.0}) {
        const sim::unit_state state = model.at(t);
        const double vcxo_from_tuning =
            sim::tuning_zero_vcxo + double(state.tuning) / sim::tuning_per_vcxo_count;
        EXPECT_EQ(state.tuning % sim::tuning_per_vcxo_count, 0);
        EXPECT_LE(std::abs(vcxo_from_tuning - state.adc[3]), sim::adc_noise[3] + 1) << t;
    }
    EXPECT_LT(model.at(225.0).tuning, 0);
    EXPECT_GT(model.at(225.0).tuning, model.at(675.0).tuning);
    EXPECT_EQ(model.at(700.9).uptime_seconds, 700);
    EXPECT_EQ(model.at(65536.0 + 5).uptime_seconds, 5);
}

TEST(UnitModel, TheSameSeedReplaysTheSameReadings)
{
    sim::unit_model first(42);
    sim::unit_model second(42);
    sim::unit_model other(43);
    bool differs = false;
    for (int i = 0; i < 50; ++i) {
        const sim::unit_state a = first.at(0.05 * i);
        const sim::unit_state b = second.at(0.05 * i);
        const sim::unit_state c = other.at(0.05 * i);
        EXPECT_EQ(a.adc, b.adc);
        EXPECT_EQ(a.dds2, b.dds2);
        differs = differs || a.adc != c.adc || a.dds2 != c.dds2;
    }
    EXPECT_TRUE(differs);
}

sim::unit_state sample_state()
{
    return {{0x1234, 2, 3, 0xFFFF}, 0x01020304, 0xA0B0C0D0, -2, 0x2710};
}

bool well_formed(const unit::bytes& reply)
{
    return reply.size() >= 4 && reply[1] == reply.size() && check_header(reply.data(), 4) &&
           check_payload(reply.data(), static_cast<int>(reply.size()));
}

TEST(UnitAnswers, EachKnownCodeGetsAWellFormedReplyOfItsLayout)
{
    const sim::unit_state state = sample_state();
    const unit::bytes adc = sim::answer(0x5A, state);
    EXPECT_EQ(adc, (unit::bytes{0x5A, 13, 0, 0x57, 0x34, 0x12, 2, 0, 3, 0, 0xFF, 0xFF, 0x34 ^ 0x12 ^ 2 ^ 3}));
    const unit::bytes dds = sim::answer(0x22, state);
    EXPECT_EQ(unit::bytes(dds.begin() + 4, dds.end() - 1), (unit::bytes{1, 2, 3, 4, 0xA0, 0xB0, 0xC0, 0xD0}));
    const unit::bytes tuning = sim::answer(0x2D, state);
    EXPECT_EQ(unit::bytes(tuning.begin() + 4, tuning.end() - 1), (unit::bytes{0xFF, 0xFF, 0xFF, 0xFE}));
    const unit::bytes uptime = sim::answer(0x53, state);
    ASSERT_EQ(uptime.size(), 7u);
    EXPECT_EQ(uptime[4] | uptime[5] << 8, 10000);
    EXPECT_EQ(sim::answer(0x29, state).size(), 9u);
    EXPECT_EQ(sim::answer(0x65, state), (unit::reply_frame(0x65, unit::bytes{0x00, 0x01, 0x86, 0xA0})));
    const unit::bytes model = sim::answer(0x2B, state);
    EXPECT_EQ(std::string(model.begin() + 4, model.end() - 1), "FSU-10");

    const std::set<int> known{0x5A, 0x22, 0x2D, 0x53, 0x29, 0x2B, 0x47, 0x61, 0x65, 0x67};
    for (const int code : known) {
        const unit::bytes reply = sim::answer(static_cast<std::uint8_t>(code), state);
        EXPECT_TRUE(well_formed(reply)) << std::hex << int(code);
        EXPECT_EQ(reply[0], code);
        EXPECT_GT(reply.size(), 5u) << "no payload for " << std::hex << int(code);
    }
    for (int code = 0; code < 256; ++code) {
        if (!known.contains(code)) {
            EXPECT_TRUE(sim::answer(static_cast<std::uint8_t>(code), state).empty()) << code;
        }
    }
}

TEST(UnitFaults, EachFaultSpoilsTheReplyItsOwnWay)
{
    const unit::bytes good = sim::answer(0x22, sample_state());
    EXPECT_EQ(sim::apply_fault(good, fault::none).now, good);
    const sim::faulted_reply silent = sim::apply_fault(good, fault::silence);
    EXPECT_TRUE(silent.now.empty() && silent.later.empty());

    const unit::bytes header = sim::apply_fault(good, fault::header).now;
    EXPECT_FALSE(check_header(header.data(), 4));
    EXPECT_TRUE(check_payload(header.data(), 13));
    const unit::bytes payload = sim::apply_fault(good, fault::payload).now;
    EXPECT_TRUE(check_header(payload.data(), 4));
    EXPECT_FALSE(check_payload(payload.data(), 13));

    const sim::faulted_reply cut = sim::apply_fault(good, fault::cut);
    EXPECT_FALSE(cut.now.empty());
    EXPECT_FALSE(cut.later.empty());
    unit::bytes joined = cut.now;
    joined.insert(joined.end(), cut.later.begin(), cut.later.end());
    EXPECT_EQ(joined, good);

    const unit::bytes stray = sim::apply_fault(good, fault::stray).now;
    EXPECT_EQ(unit::bytes(stray.begin(), stray.end() - 1), good);
    EXPECT_EQ(stray.back(), sim::stray_byte);
    // The stray byte ends up heading the next reply, whose header check it
    // must break whatever that reply is.
    for (int code = 0; code < 256; ++code) {
        unit::bytes next = sim::answer(static_cast<std::uint8_t>(code), sample_state());
        if (!next.empty()) {
            const std::array<std::uint8_t, 4> shifted{sim::stray_byte, next[0], next[1], next[2]};
            EXPECT_FALSE(check_header(shifted.data(), 4)) << code;
        }
    }
    for (const fault kind : sim::fault_kinds) {
        EXPECT_EQ(sim::fault_from_name(sim::fault_name(kind)), kind);
    }
    EXPECT_FALSE(sim::fault_from_name("Silence").has_value());
}

TEST(FaultPicker, DrawsEachFaultAtItsChanceRepeatablyAndTalliesThem)
{
    sim::fault_picker never({}, 1);
    sim::fault_picker always({0, 0, 0, 0, 1.0}, 1);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(never.pick(), fault::none);
        EXPECT_EQ(always.pick(), fault::cut);
    }
    EXPECT_EQ(always.summary(100), "fslog-sim: 100 commands, 100 faults injected (silence 0, header 0, "
                                   "payload 0, stray 0, cut 100), seed 1");

    const sim::fault_rates rates{0.1, 0.0, 0.2, 0.0, 0.0};
    sim::fault_picker first(rates, 5);
    sim::fault_picker second(rates, 5);
    std::map<fault, int> counts;
    for (int i = 0; i < 10000; ++i) {
        const fault kind = first.pick();
        ASSERT_EQ(kind, second.pick());
        ++counts[kind];
    }
    EXPECT_NEAR(counts[fault::silence], 1000, 150);
    EXPECT_NEAR(counts[fault::payload], 2000, 200);
    EXPECT_EQ(counts[fault::header] + counts[fault::stray] + counts[fault::cut], 0);
    EXPECT_EQ(first.summary(10000), "fslog-sim: 10000 commands, " +
                                        std::to_string(counts[fault::silence] + counts[fault::payload]) +
                                        " faults injected (silence " +
                                        std::to_string(counts[fault::silence]) + ", header 0, payload " +
                                        std::to_string(counts[fault::payload]) + ", stray 0, cut 0), seed 5");
}

TEST(LineSchedule, PacedRepliesKeepTheLineTimingAndQueueBehindEachOther)
{
    sim::line_schedule line(false, 0);
    const unit::bytes adc = sim::answer(0x5A, sample_state());
    line.queue(1.0, 0x5A, fault::none, {adc, {}});
    line.queue(1.0, 0x22, fault::silence, {});
    line.queue(1.0, 0x2D, fault::none, {unit::bytes{1, 2}, {}});
    const double bt = sim::byte_seconds;
    ASSERT_TRUE(line.next_due());
    EXPECT_DOUBLE_EQ(*line.next_due(), 1.0 + 5 * bt); // 4 byte times in, one out
    EXPECT_TRUE(line.due_bytes(1.0 + 4.9 * bt).empty());
    const auto first_three = line.due_bytes(1.0 + 7.5 * bt);
    EXPECT_EQ(unit::bytes(first_three.begin(), first_three.end()), unit::bytes(adc.begin(), adc.begin() + 3));
    line.mark_sent(3);
    EXPECT_FALSE(line.take_finished());
    EXPECT_EQ(line.due_bytes(1.0 + 30 * bt).size(), 10u);
    line.mark_sent(10);
    const auto done = line.take_finished();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->sent, adc);
    EXPECT_EQ(done->code, 0x5A);
    const auto silent = line.take_finished();
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->kind, fault::silence);
    EXPECT_TRUE(silent->sent.empty());
    // The third reply starts only once the first has left the line.
    EXPECT_DOUBLE_EQ(*line.next_due(), 1.0 + 18 * bt);
}

TEST(LineSchedule, FastRepliesGoAtOnceAndACutReplyResumesAfterThePause)
{
    sim::line_schedule line(true, 0);
    const sim::faulted_reply cut = sim::apply_fault(sim::answer(0x22, sample_state()), fault::cut);
    line.queue(2.0, 0x22, fault::cut, cut);
    EXPECT_EQ(line.due_bytes(2.0).size(), cut.now.size());
    line.mark_sent(cut.now.size());
    EXPECT_TRUE(line.due_bytes(2.0 + sim::cut_pause_seconds - 0.01).empty());
    EXPECT_EQ(line.due_bytes(2.0 + sim::cut_pause_seconds).size(), cut.later.size());
    line.mark_sent(2);

    const std::vector<sim::answered_command> left = line.take_unfinished();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].sent.size(), cut.now.size() + 2);
    EXPECT_FALSE(line.next_due());
}

TEST(RecordLine, HoldsTimeCodeFaultAndEveryByteSent)
{
    EXPECT_EQ(sim::record_line({1.5, 0x2D, fault::stray, {0x2D, 0x09, 0x00, 0x24, 0xAB, 0xFF}}),
              "1.500000 2D stray 2D 09 00 24 AB FF");
    EXPECT_EQ(sim::record_line({0.25, 0x22, fault::silence, {}}), "0.250000 22 silence");
}

sim::parsed_options parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "fslog-sim");
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return sim::parse_options(static_cast<int>(args.size()), argv.data());
}

TEST(SimOptions, AcceptsBothModesWithTheirOptions)
{
    const sim::parsed_options run =
        parse({"--fast", "--faults", "silence=0.05,cut=0.5", "--seed", "18446744073709551615", "--record",
               "r.txt", "--", "build/fslog", "--fast"});
    ASSERT_EQ(run.line.error, "");
    EXPECT_TRUE(run.options.fast);
    EXPECT_EQ(run.options.faults, (sim::fault_rates{0.05, 0, 0, 0, 0.5}));
    EXPECT_EQ(run.options.seed, 18446744073709551615u);
    EXPECT_EQ(run.options.record_path, "r.txt");
    EXPECT_EQ(run.options.command, (std::vector<std::string>{"build/fslog", "--fast"}));

    const sim::parsed_options link = parse({"--link", "/tmp/unit", "--adapter-latency", "16"});
    ASSERT_EQ(link.line.error, "");
    EXPECT_EQ(link.options.link_path, "/tmp/unit");
    EXPECT_FALSE(link.options.fast);
    EXPECT_FALSE(link.options.seed);
    EXPECT_EQ(link.options.adapter_latency_ms, 16u);
    EXPECT_EQ(run.options.adapter_latency_ms, 0u);
    EXPECT_EQ(parse({"--fast", "build/fslog", "--fast"}).options.command,
              (std::vector<std::string>{"build/fslog", "--fast"}))
        << "the command's options are its own, with or without --";
}

TEST(SimOptions, RejectsBadCommandLines)
{
    const std::vector<std::vector<std::string>> bad{
        {},
        {"--fast"},
        {"--"},
        {"--link", "/tmp/unit", "--", "cat"},
        {"--link"},
        {"--bogus", "--", "cat"},
        {"--seed", "-1", "--", "cat"},
        {"--adapter-latency", "0", "--", "cat"},
        {"--adapter-latency", "256", "--", "cat"},
        {"--adapter-latency", "1.5", "--", "cat"},
        {"--seed", "12x", "--", "cat"},
        {"--faults", "noise=0.1", "--", "cat"},
        {"--faults", "none=0.1", "--", "cat"},
        {"--faults", "cut", "--", "cat"},
        {"--faults", "cut=1.5", "--", "cat"},
        {"--faults", "cut=-0.1", "--", "cat"},
        {"--faults", "cut=nan", "--", "cat"},
        {"--faults", "cut=0.1,", "--", "cat"},
        {"--faults", "cut=0.1,cut=0.2", "--", "cat"},
        {"--faults", "cut=0.6,stray=0.6", "--", "cat"},
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const std::string& arg : args) {
            joined += arg + " ";
        }
        EXPECT_NE(parse(args).line.error, "") << joined;
    }
    EXPECT_EQ(
        parse({"--faults", "silence=0.2,header=0.2,payload=0.2,stray=0.2,cut=0.2", "--", "cat"}).line.error,
        "");
}

} // namespace
