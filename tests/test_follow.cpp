// The file follower: a log read by name through growth, rotation and absence.
#include "harness.hpp"
#include "logread/follow.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using logread::file_follower;
using logread::follow_event;

void append(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::app) << text;
}

// Reads until the follower is idle: the bytes, with each other event as a
// marker ("<reopened>", "<truncated>", "<failed>").
std::string read_until_idle(file_follower& follower)
{
    std::string seen;
    std::array<char, 3> buffer{}; // small, so a piece never holds all that is there
    for (;;) {
        const auto result = follower.read(buffer);
        switch (result.event) {
        case follow_event::data: seen.append(buffer.data(), result.size); break;
        case follow_event::idle: return seen;
        case follow_event::reopened: seen += "<reopened>"; break;
        case follow_event::truncated: seen += "<truncated>"; break;
        case follow_event::failed: return seen + "<failed>";
        }
    }
}

TEST(FileFollower, WaitsForTheFileThenReadsWhatIsAddedToIt)
{
    harness::scratch_dir dir("follow-grow");
    file_follower follower(dir / "unit.log");
    EXPECT_EQ(read_until_idle(follower), "");
    EXPECT_FALSE(follower.following());

    append(dir / "unit.log", "# Logging started\n  1.0");
    EXPECT_EQ(read_until_idle(follower), "# Logging started\n  1.0");
    EXPECT_TRUE(follower.following());
    append(dir / "unit.log", "13 812\n  2.0");
    EXPECT_EQ(read_until_idle(follower), "13 812\n  2.0");
    EXPECT_EQ(read_until_idle(follower), "");
}

TEST(FileFollower, FinishesTheRenamedFileThenReadsTheNewOne)
{
    harness::scratch_dir dir("follow-rename");
    const std::string path = dir / "unit.log";
    file_follower follower(path);
    append(path, "old rows");
    EXPECT_EQ(read_until_idle(follower), "old rows");

    // The writer still adds to the old file after the rename.
    std::filesystem::rename(path, dir / "unit.log.1");
    append(dir / "unit.log.1", ", the last");
    append(path, "new rows");
    EXPECT_EQ(read_until_idle(follower), ", the last<reopened>new rows");

    // Removed, then made anew: another file under the same name.
    std::filesystem::remove(path);
    EXPECT_EQ(read_until_idle(follower), "");
    EXPECT_FALSE(follower.following());
    append(path, "third");
    EXPECT_EQ(read_until_idle(follower), "<reopened>third");
}

TEST(FileFollower, StartsAgainAtTheBeginningOfATruncatedFile)
{
    harness::scratch_dir dir("follow-truncate");
    const std::string path = dir / "unit.log";
    append(path, "a day of rows");
    file_follower follower(path);
    EXPECT_EQ(read_until_idle(follower), "a day of rows");

    // copytruncate: copied elsewhere, cut to nothing, and the writer goes on.
    std::filesystem::resize_file(path, 0);
    append(path, "next");
    EXPECT_EQ(read_until_idle(follower), "<truncated>next");
    append(path, " row");
    EXPECT_EQ(read_until_idle(follower), " row");
}

TEST(FileFollower, ReportsWhatKeepsItFromReadingWithItsErrno)
{
    harness::scratch_dir dir("follow-failed");
    std::filesystem::create_directory(dir / "unit.log");
    file_follower follower(dir / "unit.log");
    std::array<char, 8> buffer{};
    const auto result = follower.read(buffer);
    EXPECT_EQ(result.event, follow_event::failed);
    EXPECT_EQ(result.error, EISDIR);
}

} // namespace
