#include "logger/logger.hpp"

#include "cli/exit_status.hpp"
#include "link/frames.hpp"
#include "link/serial_port.hpp"
#include "logger/log_output.hpp"
#include "protocol/log_text.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

namespace log_text = protocol::log_text;

constexpr std::size_t adc_channels = 4;

// The start line's time, ctime's text without its newline.
std::array<char, 64> start_text{};

// At the end of a row, after SIGUSR1: the file at the log's path gets the
// rest of the run, and its first line says which run it continues. When
// the path still names the same file, the continuation starts a line of
// its own there.
void continue_in_reopened_log()
{
    if (reopen_log_file()) {
        end_unfinished_line();
        print_continuation();
    }
}

} // namespace

double get_time()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void read_adc()
{
    reply_buffer reply;
    if (tx_command(protocol::command::adc, protocol::adc_reply_length, reply) == 0) {
        return;
    }
    for (std::size_t channel = 0; channel < adc_channels; ++channel) {
        const std::uint16_t value = little_endian_16(&reply[protocol::payload_start + 2 * channel]);
        std::printf(log_text::adc_format, static_cast<int>(value));
    }
}

void test_22_command()
{
    static std::uint32_t last_word = 0;
    reply_buffer reply;
    // A reply too short for both words holds nothing of this reading in
    // bytes 4-11: print no values and keep last_word for the next delta.
    if (tx_command_3(protocol::command::dds, reply) < protocol::dds_words_end) {
        return;
    }
    const std::uint32_t dds1 = big_endian_32(&reply[protocol::payload_start]);
    const std::uint32_t dds2 = big_endian_32(&reply[protocol::payload_start + 4]);
    // Modulo 2^32, read as signed: a wrap of the counter shows as a small step.
    const auto delta = static_cast<std::int32_t>(dds2 - last_word);
    std::printf(log_text::dds_format, static_cast<unsigned long>(dds1), static_cast<unsigned long>(dds2),
                static_cast<long>(delta));
    last_word = dds2;
}

void test_2d_command()
{
    reply_buffer reply;
    if (tx_command_3(protocol::command::tuning, reply) < protocol::tuning_word_end) {
        return;
    }
    const auto tuning = static_cast<std::int32_t>(big_endian_32(&reply[protocol::payload_start]));
    std::printf(log_text::tuning_format, static_cast<long>(tuning));
}

void print_header()
{
    const std::time_t started = std::time(nullptr);
    const char* text = std::ctime(&started);
    // ctime's text ends with its own newline, which ends the start line.
    std::printf(log_text::start_line_format, text);
    std::snprintf(start_text.data(), start_text.size(), "%.*s", static_cast<int>(std::strcspn(text, "\n")),
                  text);
    std::fputs(log_text::header_line, stdout);
}

void print_continuation()
{
    std::printf(log_text::continued_line_format, start_text.data());
}

void log_row(double start_time)
{
    // Each row begins with the newline that ends the one before, so the
    // line being written is always the newest, complete up to its last field.
    std::printf(log_text::elapsed_format, get_time() - start_time);
    read_adc();
    test_22_command();
    test_2d_command();
}

int fslog_main(int argc, char** argv)
{
    // Nothing can be printed without a stdout, so these two fail in silence.
    if (!fill_standard_descriptors() || !open_log_output()) {
        return cli::exit_failure;
    }
    remember_log_path();
    if (argc < 2) {
        // argv[0] is null when the program is started with an empty argument list.
        std::printf(log_text::usage_format, argc > 0 ? argv[0] : "fslog");
        return cli::exit_failure;
    }
    if (serial_init(argv[1]) == 0) {
        std::printf(log_text::open_failure_format, argv[1]);
        return cli::exit_failure;
    }
    const double start_time = get_time();
    end_unfinished_line();
    print_header();
    for (;;) {
        log_row(start_time);
        // One flush per row pushes it out whole. It fails only when nobody
        // can ever read the log again (a closed pipe with SIGPIPE ignored);
        // a row lost to a full disk is dropped, and logging goes on.
        if (std::fflush(nullptr) != 0) {
            return cli::exit_failure;
        }
        if (reopen_requested()) {
            continue_in_reopened_log();
        }
    }
}
