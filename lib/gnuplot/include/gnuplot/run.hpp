// gnuplot: runs gnuplot (found on PATH) on a script given on its standard input.
#pragma once

#include <functional>
#include <string>

namespace gnuplot {

// Empty when gnuplot ran the script and exited 0; otherwise what went wrong
// (gnuplot's own messages have gone to standard error).
std::string run_gnuplot(const std::string& script);

// Draws the picture `out` whole: gnuplot writes beside it, and the picture
// is moved into place once drawn, so `out` is never half drawn. The file is
// made here with the mode a new file gets (mkstemp's would be private to
// its owner). `script` gives the script that draws into the path it is
// given. Empty, or what went wrong ("can't write OUT: ...", "...; OUT not
// drawn").
std::string draw(const std::string& out, const std::function<std::string(const std::string& output)>& script);

} // namespace gnuplot
