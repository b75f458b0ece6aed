#include "sim/simulator.hpp"

#include "sim/unit_answers.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace sim {

simulator::simulator(const sim_options& options, std::uint64_t seed, int master, std::FILE* record,
                     std::FILE* truth)
    : model_(seed, options.oscillator, truth), faults_(options.faults, seed),
      schedule_(options.fast, options.adapter_latency_ms / 1000.0), master_(master), record_(record)
{
    // The unit never blocks on a host that has stopped reading.
    if (fcntl(master_, F_SETFL, O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "fcntl");
    }
}

void simulator::serve(int wake, const std::function<bool()>& should_stop)
{
    for (;;) {
        pollfd watched[2] = {{master_, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0},
                             {wake, POLLIN, 0}};
        const std::optional<timespec> timeout = poll_timeout();
        if (ppoll(watched, 2, timeout ? &*timeout : nullptr, nullptr) < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "ppoll");
        }
        if ((watched[1].revents & POLLIN) != 0 && should_stop()) {
            return;
        }
        if ((watched[0].revents & POLLIN) != 0) {
            read_commands();
        }
        send_due_bytes();
    }
}

std::string simulator::finish()
{
    for (const answered_command& command : schedule_.take_unfinished()) {
        record(command);
    }
    return faults_.summary(commands_);
}

double simulator::now() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

// Time until the next byte is due, or none to wait for the host alone.
// Nanoseconds, not poll's milliseconds: rounding every reply's last byte
// up to the next millisecond would slow the line below its speed.
std::optional<timespec> simulator::poll_timeout() const
{
    const auto due = schedule_.next_due();
    if (!due || blocked_) {
        return std::nullopt;
    }
    const auto wait = std::chrono::duration<double>(std::max(0.0, *due - now()));
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    return timespec{nanoseconds / 1'000'000'000, nanoseconds % 1'000'000'000};
}

void simulator::read_commands()
{
    std::uint8_t chunk[256];
    ssize_t got = 0;
    while ((got = read(master_, chunk, sizeof chunk)) > 0) {
        for (ssize_t i = 0; i < got; ++i) {
            if (const auto code = parser_.push(chunk[i])) {
                answer(*code);
            }
        }
    }
}

void simulator::answer(std::uint8_t code)
{
    ++commands_;
    const double received = now();
    const unit::bytes reply = sim::answer(code, model_.at(received));
    const fault kind = reply.empty() ? fault::none : faults_.pick();
    schedule_.queue(received, code, kind, apply_fault(reply, kind));
}

void simulator::send_due_bytes()
{
    blocked_ = false;
    for (;;) {
        while (const auto done = schedule_.take_finished()) {
            record(*done);
        }
        const auto due = schedule_.due_bytes(now());
        if (due.empty()) {
            return;
        }
        const ssize_t put = write(master_, due.data(), due.size());
        if (put <= 0) {
            // The far end's input queue is full: wait until it reads.
            blocked_ = put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            return;
        }
        schedule_.mark_sent(static_cast<std::size_t>(put));
    }
}

void simulator::record(const answered_command& command)
{
    if (record_ == nullptr) {
        return;
    }
    std::fprintf(record_, "%s\n", record_line(command).c_str());
    if (std::fflush(record_) != 0) {
        // Said at once, as a run with --link may go on for days; the unit goes on.
        std::fprintf(stderr, "fslog-sim: can't write the record: %s; recording stopped\n",
                     std::strerror(errno));
        record_ = nullptr;
        record_failed_ = true;
    }
}

} // namespace sim
