// The line a stand-in unit serves: a pseudo-terminal pair in raw mode.
#pragma once

#include <string>

namespace unit {

// The master is the unit's end; the code under test opens `path`. The
// slave descriptor stays open on the unit's side, so the master never sees
// a hang-up while the far end closes and reopens its side. Both descriptors
// are close-on-exec: no program started on the line inherits the unit's end.
struct pty_line {
    int master = -1;
    int slave = -1;
    std::string path;
};

// Opens a pair and makes it raw through the master, before anything opens
// the slave, so no echo or line editing ever touches the unit's bytes.
// Throws std::runtime_error naming the call that failed.
pty_line open_pty_line();

} // namespace unit
