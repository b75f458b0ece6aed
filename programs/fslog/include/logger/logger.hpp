// The logger: start-up, the header, the endless row loop and the three
// logged queries. The log's text (its lines and the row's formats) is in
// protocol/log_text.hpp.
#pragma once

// Wall-clock time in seconds (CLOCK_REALTIME).
double get_time();

// Query 0x5A: prints the four ADC channels, or nothing when it fails.
void read_adc();

// Query 0x22: prints dds 1, dds 2 and the change of dds 2 since the value
// shown last, then remembers dds 2. Prints nothing, and remembers nothing,
// when the exchange fails or the reply is too short to hold both words.
void test_22_command();

// Query 0x2D: prints the signed user tuning word, or nothing.
void test_2d_command();

// Prints the start line and the column header (without a line end), and
// keeps the start line's time for print_continuation.
void print_header();

// Prints "# Continued: logging started at <the start line's time>"
// (without a line end): the first line of a log file that fslog reopened
// in the middle of a run.
void print_continuation();

// Prints one row: its leading newline, the elapsed time since `start_time`
// and the three queries' fields. Does not flush.
void log_row(double start_time);

// The whole program: makes sure descriptors 0-2 are open and routes stdout
// through the log's write rules (log_output.hpp), checks the command line,
// opens the port, prints the header and logs rows until killed. On SIGUSR1
// it reopens its log file at the end of the current row and goes on there. Returns 1
// on a usage error, when the port cannot be opened, or when the log's
// reader is gone for good.
int fslog_main(int argc, char** argv);
