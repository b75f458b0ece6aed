// fslog-sim as a program: its two modes, its timing, and fslog logging
// under it, every printed value held against what the simulator recorded.
#include "harness.hpp"
#include "log_text.hpp"
#include "sim/line_schedule.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using harness::child_process;
using harness::exited_with;
using harness::scratch_dir;
using sim::fault;

const std::string fslog = FSLOG_BIN;
const std::string fslog_sim = FSLOG_SIM_BIN;

// One line of the record file.
struct recorded {
    double seconds = 0;
    std::uint8_t code = 0;
    fault kind = fault::none;
    unit::bytes sent;
};

// Every complete line of the record file (a line still being written is left out).
std::vector<recorded> read_record(const std::string& path)
{
    const std::string text = harness::file_text(path);
    std::vector<recorded> lines;
    std::istringstream stream(text.substr(0, text.rfind('\n') + 1));
    std::string line;
    while (std::getline(stream, line)) {
        std::istringstream fields(line);
        recorded entry;
        std::string code;
        std::string kind;
        std::string byte;
        fields >> entry.seconds >> code >> kind;
        entry.code = static_cast<std::uint8_t>(std::stoi(code, nullptr, 16));
        entry.kind = sim::fault_from_name(kind).value();
        while (fields >> byte) {
            EXPECT_EQ(byte.size(), 2u) << line;
            entry.sent.push_back(static_cast<std::uint8_t>(std::stoi(byte, nullptr, 16)));
        }
        EXPECT_EQ(sim::record_line({entry.seconds, entry.code, entry.kind, entry.sent}), line);
        lines.push_back(entry);
    }
    return lines;
}

std::size_t count_kind(const std::vector<recorded>& lines, fault kind)
{
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [kind](const recorded& line) { return line.kind == kind; }));
}

// What fslog prints for each command of the record, in order. A query whose
// reply failed prints nothing; a DDS or tuning reply with a bad payload
// check prints "(CS bad!) " and its values. A stray byte heads the next
// reply and breaks its header check, unless the reply it followed was
// itself thrown away by the line reset.
class expected_log {
public:
    std::string fields_for(const recorded& line)
    {
        const bool shifted = stray_pending_;
        stray_pending_ = !shifted && line.kind == fault::stray;
        if (shifted) {
            return "";
        }
        switch (line.kind) {
        case fault::none:
        case fault::stray: return values_of(line.code, line.sent);
        case fault::payload: return line.code == 0x5A ? "" : "(CS bad!) " + values_of(line.code, line.sent);
        default: return "";
        }
    }

private:
    static std::uint32_t big_endian(const unit::bytes& reply, std::size_t at)
    {
        return std::uint32_t{reply[at]} << 24 | std::uint32_t{reply[at + 1]} << 16 |
               std::uint32_t{reply[at + 2]} << 8 | reply[at + 3];
    }

    std::string values_of(std::uint8_t code, const unit::bytes& reply)
    {
        char text[96] = "";
        if (code == 0x5A) {
            std::snprintf(text, sizeof text, "  %4d    %4d    %4d    %4d  ", reply[4] | reply[5] << 8,
                          reply[6] | reply[7] << 8, reply[8] | reply[9] << 8, reply[10] | reply[11] << 8);
        } else if (code == 0x22) {
            const std::uint32_t dds2 = big_endian(reply, 8);
            std::snprintf(text, sizeof text, "%u %u %d ", big_endian(reply, 4), dds2,
                          static_cast<std::int32_t>(dds2 - last_dds2_));
            last_dds2_ = dds2;
        } else if (code == 0x2D) {
            std::snprintf(text, sizeof text, "%d ", static_cast<std::int32_t>(big_endian(reply, 4)));
        }
        return text;
    }

    bool stray_pending_ = false;
    std::uint32_t last_dds2_ = 0;
};

const std::regex any_row(log_text::any_row_pattern);

// Runs fslog under fslog-sim until `enough` holds for the record, then
// interrupts the simulator and checks every complete row against it.
void log_and_check(const std::vector<std::string>& sim_options,
                   const std::function<bool(const std::vector<recorded>&)>& enough,
                   std::chrono::seconds timeout)
{
    const scratch_dir dir("fslog-sim-log");
    const std::string record = dir / "record.txt";
    std::vector<std::string> argv{fslog_sim, "--record", record};
    argv.insert(argv.end(), sim_options.begin(), sim_options.end());
    argv.insert(argv.end(), {"--", fslog});
    child_process sim(argv);
    // The rows are complete only up to the last one, which the next row ends.
    const auto done = [&](const std::string& log) {
        const std::vector<recorded> lines = read_record(record);
        const std::size_t rows = harness::log_rows(log).size();
        return rows >= 2 &&
               enough({lines.begin(),
                       lines.begin() + static_cast<std::ptrdiff_t>(std::min(lines.size(), 3 * (rows - 1)))});
    };
    ASSERT_TRUE(sim.read_until(done, timeout)) << sim.out() << sim.err();
    kill(sim.pid(), SIGTERM);
    const auto status = sim.wait(10s);
    // fslog has no handler: it ends by the signal, and the simulator reports that.
    EXPECT_TRUE(exited_with(status, 128 + SIGTERM)) << (status ? *status : -1);

    std::vector<std::string> rows = harness::log_rows(sim.out());
    rows.pop_back();
    const std::vector<recorded> lines = read_record(record);
    ASSERT_GE(lines.size(), 3 * rows.size());
    expected_log expected;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        std::string fields;
        for (std::size_t query = 0; query < 3; ++query) {
            const recorded& line = lines[3 * row + query];
            ASSERT_EQ(line.code, (std::array<std::uint8_t, 3>{0x5A, 0x22, 0x2D}[query]))
                << "line " << 3 * row + query;
            fields += expected.fields_for(line);
        }
        EXPECT_TRUE(std::regex_match(rows[row], any_row)) << "[" << rows[row] << "]";
        EXPECT_EQ(log_text::fields_of(rows[row]), fields) << "row " << row;
    }

    // The tally on stderr agrees with the record.
    std::string tally = " faults injected (";
    for (const fault kind : sim::fault_kinds) {
        tally += std::string(kind == fault::silence ? "" : ", ") + sim::fault_name(kind) + " " +
                 std::to_string(count_kind(lines, kind));
    }
    EXPECT_NE(sim.err().find(std::to_string(lines.size()) + " commands, "), std::string::npos) << sim.err();
    EXPECT_NE(sim.err().find(tally + "), seed "), std::string::npos) << sim.err() << "\nwanted: " << tally;
}

// The host's end of the line, opened through the path the simulator gave.
class host_line {
public:
    explicit host_line(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        if (fd_ < 0) {
            throw std::runtime_error("cannot open " + path);
        }
    }
    ~host_line() { close(fd_); }
    host_line(const host_line&) = delete;
    host_line& operator=(const host_line&) = delete;

    int fd() const { return fd_; }

    void send(const unit::bytes& data) const
    {
        ASSERT_EQ(write(fd_, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    }

    // Reads until `count` bytes have come or nothing more comes within `quiet`.
    unit::bytes receive(std::size_t count, std::chrono::milliseconds quiet) const
    {
        unit::bytes got(count);
        std::size_t filled = 0;
        pollfd entry{fd_, POLLIN, 0};
        while (filled < count && poll(&entry, 1, static_cast<int>(quiet.count())) > 0) {
            const ssize_t n = read(fd_, got.data() + filled, count - filled);
            if (n <= 0) {
                break;
            }
            filled += static_cast<std::size_t>(n);
        }
        got.resize(filled);
        return got;
    }

private:
    int fd_;
};

unit::bytes command(std::uint8_t code)
{
    return {code, 0x04, 0x00, static_cast<std::uint8_t>(code ^ 0x04)};
}

// Starts fslog-sim --link and returns the device path it printed.
std::string start_linked(child_process& sim)
{
    EXPECT_TRUE(
        sim.read_until([](const std::string& out) { return out.find('\n') != std::string::npos; }, 5s));
    return sim.out().substr(0, sim.out().find('\n'));
}

TEST(SimProgram, RunsTheCommandOnTheDeviceAndEndsWithItsStatus)
{
    // The device comes last, as $0 of the shell's script: a raw terminal.
    child_process checks({fslog_sim, "--", "/bin/sh", "-c",
                          R"(test -c "$0" && stty -F "$0" -a | grep -q -- '-icanon' && exit 3)"});
    EXPECT_TRUE(exited_with(checks.wait(10s), 3)) << checks.err();
    EXPECT_NE(checks.err().find("fslog-sim: 0 commands, 0 faults injected"), std::string::npos)
        << checks.err();

    // The command holds none of the simulator's descriptors: not the master,
    // not its slave, not the record.
    const scratch_dir dir("fslog-sim-fds");
    child_process listing({fslog_sim, "--record", dir / "record.txt", "--", "/bin/sh", "-c",
                           R"(ls -l /proc/$$/fd; echo "device $0")"});
    EXPECT_TRUE(exited_with(listing.wait(10s), 0));
    const std::size_t device_at = listing.out().rfind("device ") + 7;
    const std::string device = listing.out().substr(device_at, listing.out().size() - device_at - 1);
    for (const std::string& held : {std::string("/dev/ptmx"), dir / "record.txt", device}) {
        EXPECT_EQ(listing.out().find("-> " + held), std::string::npos) << listing.out();
    }

    child_process killed({fslog_sim, "--", "/bin/sh", "-c", "kill -KILL $$"});
    EXPECT_TRUE(exited_with(killed.wait(10s), 128 + SIGKILL));

    // A signal to the simulator reaches the command, and both end.
    child_process waiting({fslog_sim, "--fast", "--", "/bin/sh", "-c", "exec sleep 30"});
    std::this_thread::sleep_for(300ms);
    kill(waiting.pid(), SIGINT);
    EXPECT_TRUE(exited_with(waiting.wait(5s), 128 + SIGINT));

    child_process missing({fslog_sim, "--", "/nonexistent/program"});
    EXPECT_TRUE(exited_with(missing.wait(10s), 127));
    EXPECT_NE(missing.err().find("cannot run /nonexistent/program"), std::string::npos) << missing.err();

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{fslog_sim}, {fslog_sim, "--faults", "cut=2", "--", "/bin/true"}}) {
        child_process refused(bad);
        EXPECT_TRUE(exited_with(refused.wait(5s), 2));
        EXPECT_EQ(refused.out(), "");
        EXPECT_NE(refused.err().find("Usage: fslog-sim"), std::string::npos) << refused.err();
    }
}

TEST(SimProgram, LinkModeAnswersEachKnownCodeAndIgnoresTheRest)
{
    const scratch_dir dir("fslog-sim-link");
    const std::string link = dir / "unit";
    const std::string record = dir / "record.txt";
    // A link left behind by a killed simulator is replaced.
    std::filesystem::create_symlink("/nonexistent/pts", link);
    child_process sim({fslog_sim, "--fast", "--link", link, "--record", record});
    const std::string device = start_linked(sim);
    ASSERT_EQ(std::filesystem::read_symlink(link).string(), device);
    host_line host(link);
    termios settings{};
    ASSERT_EQ(tcgetattr(host.fd(), &settings), 0);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);

    const std::vector<std::pair<std::uint8_t, std::size_t>> known{
        {0x5A, 13}, {0x22, 13}, {0x2D, 9}, {0x53, 7}, {0x29, 9},
        {0x2B, 11}, {0x47, 13}, {0x61, 7}, {0x65, 9}, {0x67, 15}};
    unit::bytes received;
    for (const auto& [code, length] : known) {
        host.send(command(code));
        const unit::bytes reply = host.receive(length + 1, 100ms);
        ASSERT_EQ(reply.size(), length) << std::hex << int(code);
        EXPECT_EQ(reply[0], code);
        EXPECT_EQ(reply[1], length);
        received.insert(received.end(), reply.begin(), reply.end());
    }
    unit::bytes bad_check = command(0x5A);
    bad_check[3] ^= 0x10;
    host.send(bad_check);
    host.send(command(0x41));
    EXPECT_TRUE(host.receive(1, 300ms).empty());

    kill(sim.pid(), SIGTERM);
    EXPECT_TRUE(exited_with(sim.wait(5s), 0));
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_NE(sim.err().find("fslog-sim: 11 commands, 0 faults injected"), std::string::npos) << sim.err();
    const std::vector<recorded> lines = read_record(record);
    ASSERT_EQ(lines.size(), known.size() + 1);
    unit::bytes recorded_bytes;
    for (std::size_t i = 0; i < known.size(); ++i) {
        EXPECT_EQ(lines[i].code, known[i].first);
        recorded_bytes.insert(recorded_bytes.end(), lines[i].sent.begin(), lines[i].sent.end());
    }
    EXPECT_EQ(recorded_bytes, received);
    EXPECT_EQ(lines.back().code, 0x41);
    EXPECT_TRUE(lines.back().sent.empty());
}

// Seconds until the replies to `commands` ADC commands, sent at once, are all in.
double seconds_for_replies(const std::vector<std::string>& options, int commands)
{
    const scratch_dir dir("fslog-sim-timing");
    std::vector<std::string> argv{fslog_sim, "--link", dir / "unit"};
    argv.insert(argv.end(), options.begin(), options.end());
    child_process sim(argv);
    host_line host(start_linked(sim));
    unit::bytes burst;
    for (int i = 0; i < commands; ++i) {
        const unit::bytes frame = command(0x5A);
        burst.insert(burst.end(), frame.begin(), frame.end());
    }
    const auto start = std::chrono::steady_clock::now();
    host.send(burst);
    const std::size_t expected = 13 * static_cast<std::size_t>(commands);
    EXPECT_EQ(host.receive(expected, 1s).size(), expected);
    return harness::seconds_since(start);
}

TEST(SimProgram, PacedRepliesTakeTheLineTimeAndFastOnesDoNot)
{
    // 4 byte times for the first command, then 13 bytes a reply, one after
    // another: 264 byte times of 10/9600 s.
    EXPECT_GE(seconds_for_replies({}, 20), 264 * 10.0 / 9600.0);
    EXPECT_LT(seconds_for_replies({"--fast"}, 20), 0.15);
}

TEST(SimProgram, CutRepliesResumeAfterThePause)
{
    const scratch_dir dir("fslog-sim-cut");
    child_process sim({fslog_sim, "--fast", "--faults", "cut=1", "--link", dir / "unit"});
    host_line host(start_linked(sim));
    host.send(command(0x22));
    EXPECT_EQ(host.receive(13, 2s).size(), 6u);
    EXPECT_EQ(host.receive(13, 1s).size(), 7u);
}

// The bursts in which `count` bytes reach the host: when each began (seconds
// after `since`) and how many bytes it brought. Reads less than 3 ms apart
// belong to one burst.
std::vector<std::pair<double, std::size_t>> bursts(const host_line& host, std::size_t count,
                                                   std::chrono::steady_clock::time_point since)
{
    std::vector<std::pair<double, std::size_t>> seen;
    std::uint8_t chunk[256];
    pollfd entry{host.fd(), POLLIN, 0};
    for (std::size_t got = 0; got < count && poll(&entry, 1, 1000) > 0;) {
        const ssize_t n = read(host.fd(), chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        const double at = harness::seconds_since(since);
        if (seen.empty() || at - seen.back().first > 0.003) {
            seen.emplace_back(at, 0);
        }
        seen.back().second += static_cast<std::size_t>(n);
        got += static_cast<std::size_t>(n);
    }
    return seen;
}

TEST(SimProgram, AnAdapterLatencyHoldsRepliesBackUntilItsTimerRunsOut)
{
    const double line_time = 17 * sim::byte_seconds; // 4 bytes in, 13 out
    const double period = 0.05;
    const scratch_dir dir("fslog-sim-adapter");
    child_process timed({fslog_sim, "--adapter-latency", "50", "--link", dir / "timed"});
    const host_line host(start_linked(timed));
    std::vector<double> burst_times;
    std::vector<double> last_bursts;
    const auto start = std::chrono::steady_clock::now();
    for (int exchange = 0; exchange < 10; ++exchange) {
        const auto sent = std::chrono::steady_clock::now();
        host.send(command(0x5A));
        const auto seen = bursts(host, 13, sent);
        ASSERT_FALSE(seen.empty());
        std::size_t bytes = 0;
        for (const auto& [at, size] : seen) {
            burst_times.push_back(at + std::chrono::duration<double>(sent - start).count());
            bytes += size;
        }
        EXPECT_EQ(bytes, 13u);
        EXPECT_LE(seen.size(), 2u);
        EXPECT_GE(seen.back().first, line_time);
        last_bursts.push_back(seen.back().first);
    }
    // Held back, but as a rule not past the next time the timer runs out.
    std::sort(last_bursts.begin(), last_bursts.end());
    EXPECT_LT(last_bursts[last_bursts.size() / 2], line_time + period);
    // The timer runs out every 50 ms, whenever the replies happen to come:
    // the bursts keep one phase, but for a few that the test read late.
    std::size_t in_phase = 0;
    for (const double reference : burst_times) {
        in_phase = std::max(in_phase, static_cast<std::size_t>(std::count_if(
                                          burst_times.begin(), burst_times.end(), [&](double at) {
                                              const double late = std::fmod(at - reference + period, period);
                                              return late < 0.004;
                                          })));
    }
    EXPECT_GE(in_phase * 4, burst_times.size() * 3) << in_phase << " of " << burst_times.size();

    // Five replies of 15 bytes sent at once: a full packet of 62 bytes goes
    // as soon as it is waiting, long before the 250 ms timer runs out; the
    // rest waits for the timer, which started over with that packet.
    child_process packets({fslog_sim, "--adapter-latency", "250", "--link", dir / "packets"});
    const host_line packet_host(start_linked(packets));
    unit::bytes commands;
    for (int i = 0; i < 5; ++i) {
        const unit::bytes frame = command(0x67);
        commands.insert(commands.end(), frame.begin(), frame.end());
    }
    const auto sent = std::chrono::steady_clock::now();
    packet_host.send(commands);
    const auto seen = bursts(packet_host, 75, sent);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].second, 62u);
    EXPECT_GE(seen[0].first, 66 * sim::byte_seconds);
    EXPECT_LT(seen[0].first, 0.15);
    EXPECT_EQ(seen[1].second, 13u);
    EXPECT_NEAR(seen[1].first - seen[0].first, 0.25, 0.03);
}

using line_test = std::function<bool(const recorded&)>;

line_test of_kind(fault kind)
{
    return [kind](const recorded& line) { return line.kind == kind; };
}

// Enough once the record holds `count` lines that pass `which`, and a few
// more commands after the last, so its after-effects are in the rows.
auto faults_seen(const line_test& which, std::size_t count)
{
    return [which, count](const std::vector<recorded>& lines) {
        constexpr std::size_t commands_after = 6;
        const auto settled = lines.size() > commands_after ? lines.end() - commands_after : lines.begin();
        return static_cast<std::size_t>(std::count_if(lines.begin(), settled, which)) >= count;
    };
}

auto commands_seen(std::size_t count)
{
    return [count](const std::vector<recorded>& lines) { return lines.size() >= count; };
}

TEST(FslogUnderSim, PacedLikeARealUnit)
{
    log_and_check({"--seed", "1"}, commands_seen(60), 20s);
}

TEST(FslogUnderSim, Fast)
{
    log_and_check({"--fast", "--seed", "2"}, commands_seen(3000), 20s);
}

TEST(FslogUnderSim, SilenceLeavesTheQueryOut)
{
    log_and_check({"--fast", "--seed", "3", "--faults", "silence=0.05"},
                  faults_seen(of_kind(fault::silence), 2), 40s);
}

TEST(FslogUnderSim, BadHeaderLeavesTheQueryOut)
{
    log_and_check({"--fast", "--seed", "4", "--faults", "header=0.05"},
                  faults_seen(of_kind(fault::header), 2), 40s);
}

TEST(FslogUnderSim, BadPayloadLeavesTheAdcOutAndMarksTheOthers)
{
    const auto adc =
        faults_seen([](const recorded& line) { return line.kind == fault::payload && line.code == 0x5A; }, 1);
    const auto other =
        faults_seen([](const recorded& line) { return line.kind == fault::payload && line.code != 0x5A; }, 1);
    log_and_check(
        {"--fast", "--seed", "5", "--faults", "payload=0.05"},
        [&](const std::vector<recorded>& lines) { return adc(lines) && other(lines); }, 40s);
}

TEST(FslogUnderSim, StrayByteSpoilsTheNextReply)
{
    log_and_check({"--fast", "--seed", "6", "--faults", "stray=0.05"}, faults_seen(of_kind(fault::stray), 2),
                  40s);
}

TEST(FslogUnderSim, CutReplyLeavesTheQueryOut)
{
    log_and_check({"--fast", "--seed", "7", "--faults", "cut=0.05"}, faults_seen(of_kind(fault::cut), 2),
                  40s);
}

TEST(FslogUnderSim, PacedWithEveryFault)
{
    log_and_check({"--seed", "8", "--faults", "silence=0.01,header=0.01,payload=0.01,stray=0.01,cut=0.01"},
                  faults_seen([](const recorded& line) { return line.kind != fault::none; }, 3), 60s);
}

// The log moved away now and then and SIGUSR1 sent every 2 ms, so that most
// signals land during an exchange: every row stays whole (a query cut
// short would reset the line and leave its fields out), none is lost (each
// delta dds2 spans exactly one reading), and each new file says which run
// it goes on with.
TEST(FslogUnderSim, ReopenSignalsLoseNoRowAndCutNoExchange)
{
    const scratch_dir dir("fslog-sim-reopen");
    child_process sim({fslog_sim, "--seed", "9", "--link", dir / "unit"});
    start_linked(sim);
    const std::string path = dir / "unit.log";
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    child_process logger({fslog, dir / "unit"}, {.stdout_fd = file});
    close(file);
    // Signals only once it runs: until it has set its handler, SIGUSR1 would end it.
    while (std::filesystem::file_size(path) < 200) {
        std::this_thread::sleep_for(10ms);
    }
    std::vector<std::string> files;
    for (int signal = 1; signal <= 2500; ++signal) {
        if (signal % 500 == 250) {
            files.push_back(path + "." + std::to_string(signal));
            std::filesystem::rename(path, files.back());
        }
        kill(logger.pid(), SIGUSR1);
        std::this_thread::sleep_for(2ms);
    }
    files.push_back(path);
    logger.kill();

    const std::regex whole_row(log_text::complete_row_pattern);
    std::string start;
    std::size_t rows = 0;
    std::uint32_t last_dds2 = 0;
    for (const std::string& name : files) {
        const std::string text = harness::file_text(name);
        std::vector<std::string> lines = harness::log_rows(text);
        if (name == path && !lines.empty()) {
            lines.pop_back(); // the row being written when it was killed
        }
        const std::string first = text.substr(0, text.find('\n'));
        if (start.empty()) {
            ASSERT_TRUE(first.starts_with("# Logging started at ")) << first;
            start = first.substr(21);
        } else {
            EXPECT_EQ(first, "# Continued: logging started at " + start) << name;
        }
        for (const std::string& line : lines) {
            std::smatch fields;
            ASSERT_TRUE(std::regex_match(line, fields, whole_row)) << name << ": [" << line << "]";
            const auto dds2 = static_cast<std::uint32_t>(std::stoul(fields[2]));
            EXPECT_TRUE(rows == 0 || static_cast<std::int32_t>(dds2 - last_dds2) == std::stoi(fields[3]))
                << "lost before [" << line << "]";
            last_dds2 = dds2;
            ++rows;
        }
    }
    EXPECT_GE(rows, 50u);
    EXPECT_EQ(logger.err(), "");
}

} // namespace

namespace {

const std::string fslog_probe = FSLOG_PROBE_BIN;

TEST(ProbeUnderSim, RunsTheTestQueriesAndDumpsRepliesByCode)
{
    child_process queries({fslog_sim, "--fast", "--", fslog_probe});
    EXPECT_TRUE(exited_with(queries.wait(10s), 0)) << queries.err();
    // The same queries with a record that can't be written: said, and failed.
    child_process unrecorded({fslog_sim, "--fast", "--record", "/dev/full", "--", fslog_probe});
    EXPECT_TRUE(exited_with(unrecorded.wait(10s), 1));
    EXPECT_NE(unrecorded.err().find("fslog-sim: can't write the record: No space left on device"),
              std::string::npos)
        << unrecorded.err();
    const std::regex eight_lines(R"(0x53: *\d+ \n)"
                                 R"(0x29:( *\d+ ){4}\n)"
                                 R"(0x2B: cs ok( *\d+ )+\n)"
                                 R"(0x47: cs ok( *\d+ )+\n)"
                                 R"(0x5A: cs ok( *\d+ ){9}\n)"
                                 R"(0x61: cs ok( *\d+ )+\n)"
                                 R"(0x65: cs ok( *\d+ )+\n)"
                                 R"(0x67: cs ok( *\d+ )+\n)");
    EXPECT_TRUE(std::regex_match(queries.out(), eight_lines)) << queries.out();

    // The dump needs the device first, so it runs on a linked simulator.
    const scratch_dir dir("fslog-probe-sim");
    child_process sim({fslog_sim, "--fast", "--link", dir / "unit"});
    start_linked(sim);
    child_process dump({fslog_probe, dir / "unit", "2b", "0x5A"});
    EXPECT_TRUE(exited_with(dump.wait(10s), 0)) << dump.err();
    const std::regex two_dumps(
        R"(\n#\n# Cmd 0x2B cs ok 0x0B byte reply: \[2B\] \[0B\] (\[[0-9A-F]{2}\] ){9})"
        R"(\n# ASCII \(\.\): \+\.\..FSU-10.\n# ASCII \( \): \+  .FSU-10.)"
        R"(\n#\n# Cmd 0x5A cs ok 0x0D byte reply: \[5A\] \[0D\] (\[[0-9A-F]{2}\] ){11})"
        R"(\n# ASCII \(\.\): .{13}\n# ASCII \( \): .{13}\n)");
    EXPECT_TRUE(std::regex_match(dump.out(), two_dumps)) << dump.out();
}

} // namespace
