#include "logread/log_input.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <zlib.h>

namespace logread {

namespace {

constexpr unsigned char gzip_magic_1 = 0x1f;
constexpr unsigned char gzip_magic_2 = 0x8b;
constexpr int gzip_window_bits = 15 + 16; // the largest window, gzip wrapping only

} // namespace

// zlib's stream state, kept apart so that only this file needs zlib.h.
struct log_input::inflater {
    z_stream stream{};
    bool in_member = true; // between a gzip member's header and its end
    bool padding_told = false;
    bool ready = false;

    inflater() { ready = inflateInit2(&stream, gzip_window_bits) == Z_OK; }
    ~inflater() { inflateEnd(&stream); }
    inflater(const inflater&) = delete;
    inflater& operator=(const inflater&) = delete;
};

log_input::log_input(const std::string& path)
{
    if (path == standard_input) {
        name_ = "standard input";
        fd_ = STDIN_FILENO;
        return;
    }
    name_ = path;
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        open_error_ = errno;
        return;
    }
    owns_fd_ = true;
}

log_input::~log_input()
{
    if (owns_fd_) {
        close(fd_);
    }
}

std::ptrdiff_t log_input::fail(std::string why)
{
    error_ = std::move(why);
    return -1;
}

std::ptrdiff_t log_input::read_raw(std::span<char> buffer)
{
    for (;;) {
        const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR) {
            return fail(std::strerror(errno));
        }
    }
}

// Reads until the first two bytes are there (or the log ends before them).
bool log_input::find_encoding()
{
    while (raw_end_ < 2) {
        const std::ptrdiff_t got = read_raw(std::span(raw_).subspan(raw_end_));
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        raw_end_ += static_cast<std::size_t>(got);
    }
    const bool gzip = raw_end_ >= 2 && static_cast<unsigned char>(raw_[0]) == gzip_magic_1 &&
                      static_cast<unsigned char>(raw_[1]) == gzip_magic_2;
    encoding_ = gzip ? encoding::gzip : encoding::plain;
    if (gzip) {
        inflater_ = std::make_unique<inflater>();
    }
    return true;
}

std::ptrdiff_t log_input::read(std::span<char> buffer)
{
    if (open_error_ != 0) {
        return fail(std::strerror(open_error_));
    }
    if (encoding_ == encoding::unknown && !find_encoding()) {
        return -1;
    }
    return encoding_ == encoding::plain ? read_plain(buffer) : read_gzip(buffer);
}

std::ptrdiff_t log_input::read_plain(std::span<char> buffer)
{
    if (raw_begin_ == raw_end_) {
        return read_raw(buffer);
    }
    const std::size_t count = std::min(buffer.size(), raw_end_ - raw_begin_);
    std::memcpy(buffer.data(), raw_.data() + raw_begin_, count);
    raw_begin_ += count;
    return static_cast<std::ptrdiff_t>(count);
}

// Zero bytes after a member, as a crash during the rotation's compression
// leaves them, end the data: skipped with a warning, as gzip does. True
// when they took all the raw bytes at hand.
bool log_input::skip_padding()
{
    const auto begin = raw_.begin() + static_cast<std::ptrdiff_t>(raw_begin_);
    const auto end = raw_.begin() + static_cast<std::ptrdiff_t>(raw_end_);
    const auto first_data = std::find_if(begin, end, [](char byte) { return byte != '\0'; });
    if (first_data == begin) {
        return false;
    }
    if (!inflater_->padding_told) {
        std::fprintf(stderr, "%s: %s: zero bytes after the gzip data ignored\n",
                     program_invocation_short_name, name_.c_str());
        inflater_->padding_told = true;
    }
    raw_begin_ = static_cast<std::size_t>(first_data - raw_.begin());
    return raw_begin_ == raw_end_;
}

// Inflates until it has some text for the caller. A file of several gzip
// members (gzip's own concatenation) reads as their texts one after another.
std::ptrdiff_t log_input::read_gzip(std::span<char> buffer)
{
    z_stream& stream = inflater_->stream;
    if (!inflater_->ready) {
        return fail("zlib could not start inflating");
    }
    stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
    stream.avail_out = static_cast<uInt>(buffer.size());
    while (stream.avail_out == buffer.size()) {
        if (raw_begin_ == raw_end_) {
            const std::ptrdiff_t got = read_raw(raw_);
            if (got < 0) {
                return -1;
            }
            if (got == 0) {
                return inflater_->in_member ? fail("the gzip data ends too early") : 0;
            }
            raw_begin_ = 0;
            raw_end_ = static_cast<std::size_t>(got);
        }
        if (!inflater_->in_member && skip_padding()) {
            continue;
        }
        if (!inflater_->in_member) {
            inflateReset(&stream);
            inflater_->in_member = true;
        }
        stream.next_in = reinterpret_cast<Bytef*>(raw_.data() + raw_begin_);
        stream.avail_in = static_cast<uInt>(raw_end_ - raw_begin_);
        const int status = inflate(&stream, Z_NO_FLUSH);
        raw_begin_ = raw_end_ - stream.avail_in;
        if (status == Z_STREAM_END) {
            inflater_->in_member = false;
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            return fail(stream.msg != nullptr ? stream.msg : "the gzip data is damaged");
        }
    }
    return static_cast<std::ptrdiff_t>(buffer.size() - stream.avail_out);
}

feed_end feed_all(log_input& input, line_reader& reader, const std::function<bool()>& after_piece)
{
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const std::ptrdiff_t got = input.read(buffer);
        if (got < 0) {
            return feed_end::read_failed;
        }
        if (got == 0) {
            break;
        }
        reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        if (after_piece && !after_piece()) {
            return feed_end::stopped;
        }
    }
    reader.finish();
    return feed_end::done;
}

} // namespace logread
