// gnuplot: text and numbers in gnuplot's own forms, for the scripts the
// drawing programs write.
#pragma once

#include <string>
#include <string_view>

namespace gnuplot {

// gnuplot's double-quoted string: backslash escapes, a newline as \n.
std::string quoted(std::string_view text);

// All the digits a double needs ("%.15g").
std::string number(double value);

} // namespace gnuplot
