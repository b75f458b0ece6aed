#include "sim/line_schedule.hpp"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

constexpr double command_seconds = 4 * byte_seconds;

std::string hex_byte(std::uint8_t byte)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

} // namespace

std::string record_line(const answered_command& command)
{
    char time[32];
    std::snprintf(time, sizeof time, "%.6f", command.received);
    std::string line = std::string(time) + " " + hex_byte(command.code) + " " + fault_name(command.kind);
    for (const std::uint8_t byte : command.sent) {
        line += " " + hex_byte(byte);
    }
    return line;
}

line_schedule::line_schedule(bool fast, double adapter_latency_seconds)
    : fast_(fast), adapter_(adapter_latency_seconds)
{
}

void line_schedule::queue(double received, std::uint8_t code, fault kind, const faulted_reply& reply)
{
    queue_.push_back({{received, code, kind, {}}, reply.now, {}});
    outgoing& entry = queue_.back();
    entry.bytes.insert(entry.bytes.end(), reply.later.begin(), reply.later.end());
    const double step = fast_ ? 0.0 : byte_seconds;
    // A byte comes off the line when its last bit would have reached the far end.
    double at = std::max(received + (fast_ ? 0.0 : command_seconds), line_free_);
    for (std::size_t i = 0; i < entry.bytes.size(); ++i) {
        at += (i == reply.now.size() ? cut_pause_seconds : 0.0) + step;
        const usb_adapter::delivery delivered = adapter_.pass(at);
        entry.due.push_back(delivered.at);
        if (delivered.packet_full) {
            release_waiting(adapter_packet_bytes, delivered.at);
        }
    }
    if (!entry.bytes.empty()) {
        line_free_ = at;
    }
}

void line_schedule::release_waiting(std::size_t count, double at)
{
    for (auto entry = queue_.rbegin(); entry != queue_.rend() && count > 0; ++entry) {
        for (auto due = entry->due.rbegin(); due != entry->due.rend() && count > 0; ++due, --count) {
            *due = at;
        }
    }
}

std::optional<double> line_schedule::next_due() const
{
    if (queue_.empty()) {
        return std::nullopt;
    }
    const outgoing& head = queue_.front();
    const std::size_t next = head.command.sent.size();
    // A finished head is due at once, so its record is written.
    return next < head.due.size() ? head.due[next] : head.command.received;
}

std::span<const std::uint8_t> line_schedule::due_bytes(double now) const
{
    if (queue_.empty()) {
        return {};
    }
    const outgoing& head = queue_.front();
    const std::size_t first = head.command.sent.size();
    std::size_t end = first;
    while (end < head.due.size() && head.due[end] <= now) {
        ++end;
    }
    return std::span(head.bytes).subspan(first, end - first);
}

void line_schedule::mark_sent(std::size_t count)
{
    outgoing& head = queue_.front();
    const auto first = head.bytes.begin() + static_cast<std::ptrdiff_t>(head.command.sent.size());
    head.command.sent.insert(head.command.sent.end(), first, first + static_cast<std::ptrdiff_t>(count));
}

std::optional<answered_command> line_schedule::take_finished()
{
    if (queue_.empty() || queue_.front().command.sent.size() < queue_.front().bytes.size()) {
        return std::nullopt;
    }
    answered_command done = std::move(queue_.front().command);
    queue_.pop_front();
    return done;
}

std::vector<answered_command> line_schedule::take_unfinished()
{
    std::vector<answered_command> left;
    for (outgoing& entry : queue_) {
        left.push_back(std::move(entry.command));
    }
    queue_.clear();
    return left;
}

} // namespace sim
