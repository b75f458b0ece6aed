#include "line_stand_in.hpp"

#include "link/serial_port.hpp"

#include <algorithm>
#include <cstdlib>

namespace {

std::span<const std::uint8_t> line;
std::size_t next_byte = 0;
std::size_t reply_start = 0;
int reset_count = 0;
int command_count = 0;

} // namespace

namespace line_stand_in {

void serve(std::span<const std::uint8_t> bytes)
{
    line = bytes;
    next_byte = reply_start = 0;
    reset_count = command_count = 0;
}

std::span<const std::uint8_t> current_reply()
{
    return line.subspan(reply_start, next_byte - reply_start);
}

int resets()
{
    return reset_count;
}

int commands()
{
    return command_count;
}

} // namespace line_stand_in

int serial_init(const char*)
{
    return 1;
}

void serial_reset()
{
    ++reset_count;
}

// Like the real line: whatever is there arrives; when the bytes run out the
// read times out, leaving what came in the buffer.
int read_reply(std::uint8_t* dest, int count)
{
    if (count <= 0) {
        return 0;
    }
    // No exchange may ask for more than a reply can hold.
    if (count > 255) {
        std::abort();
    }
    const std::size_t wanted = static_cast<std::size_t>(count);
    const std::size_t available = std::min(wanted, line.size() - next_byte);
    std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(next_byte), available, dest);
    next_byte += available;
    return available == wanted ? count : 0;
}

void serial_write(const std::uint8_t* src, int count)
{
    if (count != 4 || src[1] != 4 || src[2] != 0 || (src[0] ^ src[1] ^ src[2] ^ src[3]) != 0) {
        std::abort(); // every command goes out as one well-formed frame
    }
    ++command_count;
    reply_start = next_byte;
}
