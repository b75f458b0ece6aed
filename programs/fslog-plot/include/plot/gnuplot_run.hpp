// Runs gnuplot (found on PATH) on a script given on its standard input.
#pragma once

#include <string>

namespace plot {

// Empty when gnuplot ran the script and exited 0; otherwise what went wrong
// (gnuplot's own messages have gone to standard error).
std::string run_gnuplot(const std::string& script);

} // namespace plot
