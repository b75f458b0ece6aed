#include "logger/log_output.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far more than the longest row (about 150 bytes), so stdio never writes
// part of a row before the flush at its end.
std::array<char, 4096> log_buffer;

// The path of the log file stdout was at start; empty when stdout was no
// regular file (or its path too long to keep).
std::array<char, 4096> log_path{};

volatile std::sig_atomic_t reopen_signalled = 0;

extern "C" void on_reopen_signal(int /*number*/)
{
    reopen_signalled = 1;
}

} // namespace

void remember_log_path()
{
    struct stat info {};
    if (fstat(STDOUT_FILENO, &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    const ssize_t length = readlink("/proc/self/fd/1", log_path.data(), log_path.size());
    const bool whole = length > 0 && static_cast<std::size_t>(length) < log_path.size();
    log_path[whole ? static_cast<std::size_t>(length) : 0] = '\0';
}

namespace {

enum class write_outcome { written, dropped, reader_gone };

// Blocks until `fd` takes data again. False when poll itself fails (other
// than by a signal), so that a persistent failure can't turn into a spin.
bool wait_writable(int fd)
{
    pollfd entry{fd, POLLOUT, 0};
    return poll(&entry, 1, -1) >= 0 || errno == EINTR;
}

// Writes all of `bytes`, waiting while the descriptor would block. Stops at
// the first other error; what was not written by then is dropped.
write_outcome write_whole(int fd, const char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t put = write(fd, bytes, count);
        const int error = put < 0 ? errno : 0;
        if (put > 0) {
            bytes += put;
            count -= static_cast<std::size_t>(put);
            continue;
        }
        if (error == EINTR || ((error == EAGAIN || error == EWOULDBLOCK) && wait_writable(fd))) {
            continue;
        }
        if (error == EPIPE || error == EBADF) {
            return write_outcome::reader_gone;
        }
        // A full disk, an I/O error, or a write that takes nothing: the rest
        // of this row is lost; the next row is tried when it is complete.
        return write_outcome::dropped;
    }
    return write_outcome::written;
}

// The stream's write function. Reporting dropped bytes as written keeps
// them from lingering in the stream to be glued to the next row; only a
// reader that is gone for good fails the flush.
ssize_t write_log(void* /*cookie*/, const char* bytes, std::size_t count)
{
    if (write_whole(STDOUT_FILENO, bytes, count) == write_outcome::reader_gone) {
        return -1;
    }
    return static_cast<ssize_t>(count);
}

bool is_closed(int fd)
{
    return fcntl(fd, F_GETFD) < 0 && errno == EBADF;
}

} // namespace

bool fill_standard_descriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (!is_closed(fd)) {
            continue;
        }
        // The lowest free number: this very one, as those below it are open.
        if (open("/dev/null", O_RDWR) != fd) {
            return false;
        }
    }
    return true;
}

bool open_log_output()
{
    cookie_io_functions_t functions{};
    functions.write = write_log;
    FILE* log = fopencookie(nullptr, "w", functions);
    if (log == nullptr || setvbuf(log, log_buffer.data(), _IOFBF, log_buffer.size()) != 0) {
        return false;
    }
    // glibc's stdout is an assignable variable; everything printed on it,
    // the exchanges' notes included, now goes through write_log.
    stdout = log;
    // A write beyond a file size limit (ulimit -f) would raise SIGXFSZ and
    // end the logger; ignored, it fails with EFBIG, which costs the row as
    // a full disk does, and logging goes on.
    std::signal(SIGXFSZ, SIG_IGN);
    return true;
}

void end_unfinished_line()
{
    struct stat info {};
    if (fstat(STDOUT_FILENO, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) {
        return;
    }
    // A log opened for appending is write-only: read its last byte through
    // a descriptor of our own on the same file.
    const int reader = open("/proc/self/fd/1", O_RDONLY | O_CLOEXEC);
    if (reader < 0) {
        return;
    }
    char last = '\n';
    const bool got = pread(reader, &last, 1, info.st_size - 1) == 1;
    close(reader);
    if (got && last != '\n') {
        std::fputs("\n", stdout);
    }
}

void catch_reopen_signal()
{
    struct sigaction action {};
    action.sa_handler = on_reopen_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
}

bool reopen_requested()
{
    if (reopen_signalled == 0) {
        return false;
    }
    reopen_signalled = 0;
    return true;
}

bool reopen_log_file()
{
    if (log_path[0] == '\0') {
        return false;
    }
    // O_NONBLOCK: something other than a file put at the path (a FIFO
    // without a reader) must not hang the logger; it is refused below.
    const int file = open(log_path.data(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (file < 0) {
        return false;
    }
    struct stat info {};
    const bool is_file = fstat(file, &info) == 0 && S_ISREG(info.st_mode);
    // dup2 leaves descriptor 1 without close-on-exec, as it was.
    const bool moved = is_file && dup2(file, STDOUT_FILENO) == STDOUT_FILENO;
    close(file);
    return moved;
}
