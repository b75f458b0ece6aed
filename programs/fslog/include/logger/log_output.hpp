// Standard output as the log of a logger that runs unattended for weeks:
// under a service manager, behind a pipe, into a file that may fill up or
// that an earlier run already wrote to.
//
// What happens to a row that can't be written depends on why:
//   - the reader is gone for good (EPIPE with SIGPIPE ignored, EBADF): the
//     flush fails, and the logger ends;
//   - stdout would block (EAGAIN on a non-blocking descriptor): the write
//     waits in poll() until it can go on, so no row is lost or cut;
//   - any other error (ENOSPC, EIO, EFBIG, ...): what is left of the row is
//     dropped and the flush succeeds; the next row is tried as usual. Since
//     every row begins with its newline, the row after a cut one still
//     starts on a line of its own.
#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// nothing opened later (the serial port above all) can take their place
// and receive the log. Call it before anything else. False when /dev/null
// can't be opened.
bool fill_standard_descriptors();

// Points stdout at a stream over descriptor 1 whose writes follow the rules
// above. It is fully buffered in a fixed buffer that holds a whole row, so
// each flush is one write, with no heap per row. SIGXFSZ is ignored, so
// that a file size limit fails a write (EFBIG) instead of ending the
// logger. False when the stream can't be set up (no memory at start-up).
bool open_log_output();

// When stdout is a regular file whose last byte is not a newline (a run
// appended to an earlier run's log, whose last row has no line end), prints
// one newline, so that the next line starts a line of its own. Prints
// nothing in every other case.
void end_unfinished_line();

// SIGUSR1 asks for the log to be reopened, as logrotate does after moving
// it away. Installs a handler that only sets a flag. Call it first thing:
// logrotate signals a unit that may be only starting, and SIGUSR1's
// default action would end it. No SA_RESTART: a read on the line that the
// signal cuts short goes on for what is left of its timeout
// (read_reply), so that a flood of signals never stretches it.
void catch_reopen_signal();

// Remembers the path of stdout when it is a regular file, for
// reopen_log_file. Call at start, before the port is opened.
void remember_log_path();

// Whether SIGUSR1 came since the last call. No system call.
bool reopen_requested();

// Points descriptor 1 at the file now at the path stdout had at start,
// appending, and creating it if it is gone. False, with stdout left as it
// was, when stdout was no regular file at start or the path can't be
// opened as a regular file now. Call when stdout's buffer is empty.
bool reopen_log_file();
