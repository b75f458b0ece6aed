// Following a log by its name: see follow.hpp.
#include "logread/follow.hpp"

#include <cerrno>
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
    const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
    if (got < 0) {
        return failure(errno);
    }
    if (got > 0) {
        offset_ += got;
        return {follow_event::data, static_cast<std::size_t>(got), 0};
    }
    return at_end(buffer);
}

// Opens whatever file is at the path now. A file after the first is
// reported as reopened; no file there yet is idle.
follow_result file_follower::open_file()
{
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
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
    device_ = opened.st_dev;
    inode_ = opened.st_ino;
    offset_ = 0;
    const bool again = std::exchange(opened_before_, true);
    return again ? follow_result{follow_event::reopened, 0, 0} : follow_result{};
}

// All of the open file has been read: has it been truncated, or has the
// path moved on to another file?
follow_result file_follower::at_end(std::span<char> buffer)
{
    struct stat opened {};
    if (fstat(fd_, &opened) != 0) {
        return failure(errno);
    }
    if (opened.st_size < offset_) {
        if (lseek(fd_, 0, SEEK_SET) < 0) {
            return failure(errno);
        }
        offset_ = 0;
        return {follow_event::truncated, 0, 0};
    }
    struct stat named {};
    const int named_error = stat(path_.c_str(), &named) == 0 ? 0 : errno;
    if (named_error != 0 && named_error != ENOENT) {
        return failure(named_error);
    }
    const bool gone = named_error == ENOENT;
    if (!gone && named.st_dev == device_ && named.st_ino == inode_) {
        return {};
    }
    // What the writer added to the old file between the last read and the
    // stat still belongs to it.
    const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
    if (got > 0) {
        offset_ += got;
        return {follow_event::data, static_cast<std::size_t>(got), 0};
    }
    close_file();
    return gone ? follow_result{} : open_file();
}

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
        case follow_event::truncated: break;
        case follow_event::idle:
            if (std::exchange(idle_before_, true)) {
                reader_.finish();
            }
            return result;
        case follow_event::failed: return result;
        }
    }
}

void file_follower::close_file()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace logread
