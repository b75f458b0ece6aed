// fslog-csv [LOG]: fslog's log (a file, or standard input) as CSV on
// standard output. Status 0, or 1 when a line was skipped as no log row,
// or 2 when the log can't be read or the CSV can't be written.
#include "csv/log_converter.hpp"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr int status_skipped = 1;
constexpr int status_trouble = 2;

bool write_all(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Writes out what the converter has so far. Rows go out as soon as they are
// complete, so a log that is still growing (fslog ... | fslog-csv) converts live.
bool pass_on(logcsv::log_converter& converter)
{
    write_all(STDERR_FILENO, converter.take_messages());
    return write_all(STDOUT_FILENO, converter.take_csv());
}

int convert(int log_fd, const std::string& source)
{
    logcsv::log_converter converter(source);
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t got = read(log_fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            std::fprintf(stderr, "fslog-csv: can't read %s: %s\n", source.c_str(), std::strerror(errno));
            return status_trouble;
        }
        if (got == 0) {
            break;
        }
        converter.feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        if (!pass_on(converter)) {
            std::perror("fslog-csv: can't write the CSV");
            return status_trouble;
        }
    }
    converter.finish();
    if (!pass_on(converter)) {
        std::perror("fslog-csv: can't write the CSV");
        return status_trouble;
    }
    return converter.skipped_lines() > 0 ? status_skipped : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 || (argc == 2 && argv[1][0] == '-' && argv[1][1] != '\0')) {
        std::fputs("Usage: fslog-csv [LOG]\n", stderr);
        return status_trouble;
    }
    if (argc < 2 || std::strcmp(argv[1], "-") == 0) {
        return convert(STDIN_FILENO, "standard input");
    }
    const int log_fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (log_fd < 0) {
        std::fprintf(stderr, "fslog-csv: can't open %s: %s\n", argv[1], std::strerror(errno));
        return status_trouble;
    }
    const int status = convert(log_fd, argv[1]);
    close(log_fd);
    return status;
}
