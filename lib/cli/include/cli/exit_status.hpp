// The exit statuses of every fslog program, each program's manual page
// saying which it gives when. Apart from the command line, so that fslog's
// logger, which uses no heap, takes these and nothing more.
#pragma once

namespace cli {

// Done as asked.
inline constexpr int exit_ok = 0;

// Not done: a line, log or file that can't be opened, read, written or
// drawn. fslog gives 1 for all that stops it, a missing device too.
inline constexpr int exit_failure = 1;

// A bad command line: an unknown option, a bad value, bad operands.
inline constexpr int exit_usage = 2;

// fslog-csv and fslog-report answer like grep: 1 for a log read through
// that gave less than a whole log would (a line skipped, no row at all),
// and for any trouble the status of a bad command line.
inline constexpr int exit_partial = 1;
inline constexpr int exit_trouble = exit_usage;

// fslog-sim passes on the status of the command it runs, and like a shell
// gives 127 for a command it could not run and 128 + N for one that
// signal N ended.
inline constexpr int exit_cannot_run = 127;
inline constexpr int exit_signal_base = 128;

} // namespace cli
