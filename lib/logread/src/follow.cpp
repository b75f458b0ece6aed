// A followed log read line by line: see follow.hpp.
#include "logread/follow.hpp"

#include <string_view>
#include <utility>

namespace logread {

followed_log::followed_log(std::string path, log_events& events) : follower_(std::move(path)), reader_(events)
{
}

follow_result followed_log::poll()
{
    for (int piece = 0;; ++piece) {
        const follow_result result = follower_.read(buffer_);
        switch (result.event) {
        case follow_event::data:
            idle_before_ = false;
            reader_.feed(std::string_view(buffer_.data(), result.size));
            if (piece + 1 == pieces_per_poll) {
                return result;
            }
            break;
        case follow_event::reopened: reader_.finish(); break;
        case follow_event::truncated:
        case follow_event::shrunk: break;
        case follow_event::not_regular:
        case follow_event::idle:
            if (std::exchange(idle_before_, true)) {
                reader_.take_unended();
            }
            return result;
        case follow_event::failed: return result;
        }
    }
}

} // namespace logread
