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
    std::string line =
        std::string(time) + " " + hex_byte(command.code) + " " + unit::fault_name(command.kind);
    for (const std::uint8_t byte : command.sent) {
        line += " " + hex_byte(byte);
    }
    return line;
}

line_schedule::line_schedule(bool fast) : fast_(fast) {}

void line_schedule::queue(double received, std::uint8_t code, unit::fault kind,
                          const unit::faulted_reply& reply)
{
    outgoing entry{{received, code, kind, {}}, reply.now, {}};
    const double step = fast_ ? 0.0 : byte_seconds;
    // A byte is due when its last bit would have reached the far end.
    double at = std::max(received + (fast_ ? 0.0 : command_seconds), line_free_);
    for (std::size_t i = 0; i < reply.now.size(); ++i) {
        at += step;
        entry.due.push_back(at);
    }
    at += cut_pause_seconds;
    for (const std::uint8_t byte : reply.later) {
        at += step;
        entry.bytes.push_back(byte);
        entry.due.push_back(at);
    }
    if (!entry.bytes.empty()) {
        line_free_ = entry.due.back();
    }
    queue_.push_back(std::move(entry));
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
