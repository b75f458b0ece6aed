#include "sim/usb_adapter.hpp"

#include <cmath>

namespace sim {

usb_adapter::usb_adapter(double latency_seconds) : latency_(latency_seconds) {}

usb_adapter::delivery usb_adapter::pass(double arrival)
{
    if (latency_ <= 0.0) {
        return {arrival, false};
    }
    if (waiting_ > 0 && arrival > burst_at_) {
        waiting_ = 0; // the burst went while the line was quiet
    }
    if (waiting_ == 0) {
        // The first time the timer runs out after the byte came in.
        burst_at_ = timer_start_ + (std::floor((arrival - timer_start_) / latency_) + 1) * latency_;
    }
    if (++waiting_ < adapter_packet_bytes) {
        return {burst_at_, false};
    }
    waiting_ = 0;
    timer_start_ = arrival;
    return {arrival, true};
}

} // namespace sim
