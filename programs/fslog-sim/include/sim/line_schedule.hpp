// When each reply byte goes on the line. A byte takes
// protocol::byte_seconds (10 bit times at the line's speed): a command needs 4 byte times to arrive, and each
// reply byte follows one byte time after the one before. Replies go out one after another, as from a unit
// that answers one command at a time. In fast mode a reply goes out at once. A cut reply's rest follows after
// a pause. A USB adapter between the line and the host may hold the bytes back and pass them on in bursts.
#pragma once

#include "protocol/line_timing.hpp"
#include "sim/faults.hpp"
#include "sim/usb_adapter.hpp"

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

using protocol::byte_seconds;
// A cut reply's rest comes only after fslog's read has timed out on the
// first half, so that the cut shows as a failed exchange: the reply timeout
// and a margin for the host's scheduling.
inline constexpr double cut_pause_seconds = protocol::reply_timeout_seconds + 0.5;

// One command and every byte put on the line for it.
struct answered_command {
    double received = 0; // seconds since start
    std::uint8_t code = 0;
    fault kind = fault::none;
    unit::bytes sent;
};

// The record file's line for it: "0.123456 5A none 5A 0D 00 57 ...".
std::string record_line(const answered_command& command);

class line_schedule {
public:
    // An adapter latency of 0: the host sees each byte as it comes off the line.
    line_schedule(bool fast, double adapter_latency_seconds);

    // Queues what the unit sends for a command that arrived at `received`
    // (seconds since start); nothing at all for silence or an unknown code.
    void queue(double received, std::uint8_t code, fault kind, const faulted_reply& reply);

    // When the next byte is due, if any is waiting.
    std::optional<double> next_due() const;

    // The bytes of the oldest reply that are due by `now`, in order.
    std::span<const std::uint8_t> due_bytes(double now) const;

    // Marks the first `count` of due_bytes() as written.
    void mark_sent(std::size_t count);

    // The oldest command, once everything for it has gone out.
    std::optional<answered_command> take_finished();

    // The commands not finished yet, with only the bytes already written.
    std::vector<answered_command> take_unfinished();

private:
    struct outgoing {
        answered_command command;
        unit::bytes bytes;
        std::vector<double> due;
    };

    // Gives the last `count` bytes queued the time `at`.
    void release_waiting(std::size_t count, double at);

    bool fast_;
    usb_adapter adapter_;
    double line_free_ = 0;
    std::deque<outgoing> queue_;
};

} // namespace sim
