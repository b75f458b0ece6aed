// logread: following a file by its name while it grows, as `tail -F` does:
// new bytes as they are written, through rotation by rename or by
// copytruncate, and a file that doesn't exist yet.
//
// What may be lost: bytes that a truncation removes before a read could
// reach them are never seen (with copytruncate, the rows written between
// the copy and the emptying, and those written since the last read).
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace logread {

// What one call of file_follower::read() found.
enum class follow_event {
    data,        // bytes were read into the buffer
    idle,        // nothing new for now (also while no file is at the path)
    reopened,    // another file is at the path now (a rotation by rename, or a
                 // file removed and made anew); the one before was read to its
                 // end, and the next reads start at the new file's beginning
    truncated,   // the file was emptied and written anew (copytruncate): it is
                 // shorter than what was read, or the bytes before the read
                 // position are no longer the ones read; the next reads
                 // start at its beginning
    shrunk,      // the file was cut short in place, its beginning unchanged;
                 // the next reads start at its new end
    not_regular, // the path names no regular file (a device, a FIFO, a
                 // directory): it is not opened, and looked at again at
                 // the next read
    failed,      // open, read or stat failed; error holds the errno
};

struct follow_result {
    follow_event event = follow_event::idle;
    std::size_t size = 0; // bytes read, for follow_event::data
    int error = 0;        // errno, for follow_event::failed
};

// Why the followed path can't be read, for a message: the system's words
// for a failure, "not a regular file", or nothing when it can.
std::string follow_problem(const follow_result& result);

// Reads a file by path from its beginning, then whatever is added to it.
// It holds no data of its own: the caller's buffer takes each piece. It
// never waits; the caller calls read() again after a pause when it was
// idle. Rotation is looked for only once the file has been read to its
// end, so nothing the old file held is lost; and while the file now at the
// path is empty (a rotation's create, before the writer reopens), the old
// one is read on, for up to drain_limit. Before reading on after its
// end, it checks the file in place: shorter than what was read, it is
// either cut short (its first bytes unchanged: reading goes on from the
// new end) or emptied and written anew (read again from its beginning);
// as long as or longer, its bytes just before the read position must be
// the ones read, or it was emptied and written past that position within
// one pause, and is read again from its beginning. Only regular files are
// opened, so a FIFO or a device at the path never holds it up.
class file_follower {
public:
    explicit file_follower(std::string path);
    ~file_follower();
    file_follower(const file_follower&) = delete;
    file_follower& operator=(const file_follower&) = delete;

    follow_result read(std::span<char> buffer);

    const std::string& path() const { return path_; }
    // Whether a file is open, i.e. the path named a file when last looked at.
    bool following() const { return fd_ >= 0; }

private:
    follow_result open_file();
    follow_result at_end(std::span<char> buffer);
    bool still_draining(const struct stat& named);
    std::optional<follow_result> changed_in_place();
    follow_result go_to(off_t offset, follow_event event);
    void remember(std::string_view piece);
    bool file_holds(off_t at, std::string_view bytes) const;
    void close_file();

    // Bytes kept to recognise the file by: its first ones, and the last
    // ones before the read position.
    static constexpr std::size_t kept_bytes = 64;
    // How long a renamed file is read on while the new one stays empty.
    static constexpr std::chrono::seconds drain_limit{10};

    std::string path_;
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    off_t offset_ = 0;
    bool opened_before_ = false;
    bool check_due_ = false; // read to its end since the last check in place
    // When another file was first seen at the path, while this one is drained.
    std::optional<std::chrono::steady_clock::time_point> moved_at_;
    std::string head_;
    std::string tail_;
};

} // namespace logread
