// The command line every program shares, read by lib/cli.
#include "cli/cli.hpp"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr cli::program test_program{"fslog-test", "Usage: fslog-test [--rate N]\n"};
constexpr std::array<cli::option, 1> rate_option{{{"rate", true}}};

cli::command_line parse(std::vector<std::string> words)
{
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    return cli::parse(static_cast<int>(argv.size()), argv.data(), test_program, rate_option,
                      [](std::string_view, std::string_view value) {
                          return value == "fast" ? std::string() : "bad rate " + std::string(value);
                      });
}

TEST(CommandLine, BadOptionIsKeptWhenGoodOnesFollow)
{
    EXPECT_EQ(parse({"fslog-test", "--no-such", "--rate", "fast"}).error, "unknown option --no-such");
    EXPECT_EQ(parse({"fslog-test", "--rate", "slow", "--rate", "fast"}).error, "bad rate slow");
}

} // namespace
