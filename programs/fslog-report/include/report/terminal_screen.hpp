// The terminal while the live view draws on it: the alternate screen with
// the cursor hidden, and the screen as it was given back on the way out.
#pragma once

#include <csignal>
#include <string>
#include <vector>

namespace report {

// The signal that asked the program to stop (SIGINT, SIGTERM or SIGHUP), or
// 0. Set by the handlers that catch_stop_signals() installs.
int stop_signal();
void catch_stop_signals();

class terminal_screen {
public:
    explicit terminal_screen(int fd);
    ~terminal_screen();
    terminal_screen(const terminal_screen&) = delete;
    terminal_screen& operator=(const terminal_screen&) = delete;

    // Replaces what the screen shows with these lines.
    void draw(const std::vector<std::string>& lines) const;

    // Text shown highlighted (bold, on red) within a line.
    static std::string alarm(const std::string& text);

private:
    int fd_;
};

} // namespace report
