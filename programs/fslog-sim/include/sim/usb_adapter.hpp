// A USB serial adapter with a latency timer, as on FTDI chips: the bytes
// that come in from the line wait in the adapter and reach the host in one
// burst when the timer runs out, or at once when a full USB packet's worth
// is waiting. The timer runs out every `latency` seconds and starts over
// when a full packet goes.
#pragma once

#include <cstddef>

namespace sim {

// Payload bytes in one 64-byte USB packet; the other two carry line status.
inline constexpr std::size_t adapter_packet_bytes = 62;

class usb_adapter {
public:
    // With no latency the adapter passes each byte on as it arrives.
    explicit usb_adapter(double latency_seconds);

    struct delivery {
        double at = 0;            // when the byte reaches the host
        bool packet_full = false; // the bytes waiting before it go at `at` too
    };

    // A byte from the line arriving at `arrival`, not before the byte
    // before it.
    delivery pass(double arrival);

private:
    double latency_;
    double timer_start_ = 0;
    double burst_at_ = 0;
    std::size_t waiting_ = 0;
};

} // namespace sim
