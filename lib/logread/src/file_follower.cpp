// Following a file by its name: see file_follower.hpp.
#include "logread/file_follower.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace logread {

namespace {

follow_result failure(int error)
{
    return {follow_event::failed, 0, error};
}

} // namespace

std::string follow_problem(const follow_result& result)
{
    switch (result.event) {
    case follow_event::failed: return std::strerror(result.error);
    case follow_event::not_regular: return "not a regular file";
    default: return {};
    }
}

file_follower::file_follower(std::string path) : path_(std::move(path)) {}

file_follower::~file_follower()
{
    close_file();
}

follow_result file_follower::read(std::span<char> buffer)
{
    if (fd_ < 0) {
        const follow_result opened = open_file();
        if (fd_ < 0 || opened.event == follow_event::reopened) {
            return opened;
        }
    }
    if (std::exchange(check_due_, false)) {
        if (const auto changed = changed_in_place()) {
            return *changed;
        }
    }
    const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
    if (got < 0) {
        return failure(errno);
    }
    if (got > 0) {
        remember({buffer.data(), static_cast<std::size_t>(got)});
        return {follow_event::data, static_cast<std::size_t>(got), 0};
    }
    return at_end(buffer);
}

// Opens whatever regular file is at the path now. A file after the first
// is reported as reopened; no file there yet is idle. Anything else is not
// opened at all: opening a FIFO waits for a writer, and opening a device
// may wake it.
follow_result file_follower::open_file()
{
    struct stat named {};
    if (stat(path_.c_str(), &named) != 0) {
        const int error = errno;
        return error == ENOENT ? follow_result{} : failure(error);
    }
    if (!S_ISREG(named.st_mode)) {
        return {follow_event::not_regular, 0, 0};
    }
    fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        return error == ENOENT ? follow_result{} : failure(error);
    }
    struct stat opened {};
    if (fstat(fd_, &opened) != 0) {
        const int error = errno;
        close_file();
        return failure(error);
    }
    if (!S_ISREG(opened.st_mode)) { // another file put there since the stat
        close_file();
        return {follow_event::not_regular, 0, 0};
    }
    device_ = opened.st_dev;
    inode_ = opened.st_ino;
    offset_ = 0;
    moved_at_.reset();
    head_.clear();
    tail_.clear();
    const bool again = std::exchange(opened_before_, true);
    return again ? follow_result{follow_event::reopened, 0, 0} : follow_result{};
}

// Keeps the file's first bytes and the last ones read.
void file_follower::remember(std::string_view piece)
{
    if (head_.size() < kept_bytes) {
        head_.append(piece.substr(0, kept_bytes - head_.size()));
    }
    tail_.append(piece.substr(piece.size() - std::min(piece.size(), kept_bytes)));
    tail_.erase(0, tail_.size() - std::min(tail_.size(), kept_bytes));
    offset_ += static_cast<off_t>(piece.size());
}

bool file_follower::file_holds(off_t at, std::string_view bytes) const
{
    std::array<char, kept_bytes> there{};
    const ssize_t got = pread(fd_, there.data(), bytes.size(), at);
    return got == static_cast<ssize_t>(bytes.size()) && bytes == std::string_view(there.data(), bytes.size());
}

// Goes on reading at `offset` (the file's beginning or its new end), with
// the bytes kept to recognise it cut to what is still before it.
follow_result file_follower::go_to(off_t offset, follow_event event)
{
    if (lseek(fd_, offset, SEEK_SET) < 0) {
        return failure(errno);
    }
    offset_ = offset;
    const auto before = static_cast<std::size_t>(offset);
    head_.resize(std::min(head_.size(), before));
    tail_.resize(std::min(kept_bytes, before));
    if (pread(fd_, tail_.data(), tail_.size(), offset - static_cast<off_t>(tail_.size())) !=
        static_cast<ssize_t>(tail_.size())) {
        tail_.clear(); // cut shorter again meanwhile: the next check finds out
    }
    return {event, 0, 0};
}

// Has the file been cut short or emptied and written anew since it was
// read to its end? Nothing when it is as it was, only longer.
std::optional<follow_result> file_follower::changed_in_place()
{
    struct stat opened {};
    if (fstat(fd_, &opened) != 0) {
        return failure(errno);
    }
    const auto head_length = std::min(head_.size(), static_cast<std::size_t>(opened.st_size));
    if (opened.st_size < offset_) {
        const bool same_beginning =
            opened.st_size > 0 && file_holds(0, std::string_view(head_).substr(0, head_length));
        return same_beginning ? go_to(opened.st_size, follow_event::shrunk)
                              : go_to(0, follow_event::truncated);
    }
    if (!file_holds(offset_ - static_cast<off_t>(tail_.size()), tail_)) {
        return go_to(0, follow_event::truncated);
    }
    return std::nullopt;
}

// All of the open file has been read: has it been truncated, or has the
// path moved on to another file?
follow_result file_follower::at_end(std::span<char> buffer)
{
    if (const auto changed = changed_in_place()) {
        return *changed;
    }
    struct stat named {};
    const int named_error = stat(path_.c_str(), &named) == 0 ? 0 : errno;
    if (named_error != 0 && named_error != ENOENT) {
        return failure(named_error);
    }
    const bool gone = named_error == ENOENT;
    if (!gone && named.st_dev == device_ && named.st_ino == inode_) {
        check_due_ = true;
        return {};
    }
    // What the writer added to the old file between the last read and the
    // stat still belongs to it.
    const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
    if (got > 0) {
        remember({buffer.data(), static_cast<std::size_t>(got)});
        return {follow_event::data, static_cast<std::size_t>(got), 0};
    }
    if (!gone && still_draining(named)) {
        return {};
    }
    close_file();
    return gone ? follow_result{} : open_file();
}

// logrotate renames the log and creates an empty one in its place, and
// only then signals the writer, which goes on in the old file until it
// reopens. The old file is read on while the new one is an empty file, for at
// most drain_limit: a writer that reopened has written to the new file
// (fslog its continuation line), and it did so after its last write to the
// old one, which the read just before this check has taken.
bool file_follower::still_draining(const struct stat& named)
{
    const auto now = std::chrono::steady_clock::now();
    if (!moved_at_) {
        moved_at_ = now;
    }
    return S_ISREG(named.st_mode) && named.st_size == 0 && now - *moved_at_ < drain_limit;
}

void file_follower::close_file()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace logread
