// logread: opening a log for reading. A path, or "-" for standard input.
// The text is read as it comes (a log still being written reads live);
// gzip data, as logrotate leaves it, is inflated with zlib, told apart from
// plain text by its first two bytes.
#pragma once

#include "logread/line_reader.hpp"

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace logread {

class log_input {
public:
    // The path that names standard input.
    static constexpr std::string_view standard_input = "-";

    // Opens the log; open_error() says whether that worked.
    explicit log_input(const std::string& path);
    ~log_input();
    log_input(const log_input&) = delete;
    log_input& operator=(const log_input&) = delete;

    // The errno of a failed open, 0 once the log is open.
    int open_error() const { return open_error_; }
    // The log's name in messages: the path, or "standard input".
    const std::string& name() const { return name_; }

    // Reads the next piece of the log's text into `buffer`: its length, 0
    // at the end of the log, or -1 when the log can't be read, with error()
    // saying why (the system's message, or zlib's for damaged gzip data).
    std::ptrdiff_t read(std::span<char> buffer);
    const std::string& error() const { return error_; }

private:
    struct inflater;
    enum class encoding { unknown, plain, gzip };

    std::ptrdiff_t read_raw(std::span<char> buffer);
    bool find_encoding();
    std::ptrdiff_t read_plain(std::span<char> buffer);
    std::ptrdiff_t read_gzip(std::span<char> buffer);
    bool skip_padding();
    std::ptrdiff_t fail(std::string why);

    std::string name_;
    int fd_ = -1;
    bool owns_fd_ = false;
    int open_error_ = 0;
    std::string error_;
    encoding encoding_ = encoding::unknown;
    std::array<char, 1 << 16> raw_{}; // bytes read but not yet passed on or inflated
    std::size_t raw_begin_ = 0;
    std::size_t raw_end_ = 0;
    std::unique_ptr<inflater> inflater_;
};

enum class feed_end {
    done,        // the whole log was read and the reader finished
    read_failed, // the log could not be read on (input.error() says why)
    stopped,     // after_piece asked to stop
};

// Reads the whole input into the reader, then finishes the reader.
// `after_piece`, when given, runs after each piece the reader took (to pass
// on what it made so far); returning false stops the reading.
feed_end feed_all(log_input& input, line_reader& reader, const std::function<bool()>& after_piece = {});

} // namespace logread
