// The file follower: a log read by name through growth, rotation and
// absence, and read line by line as a live view reads it.
#include "harness.hpp"
#include "log_text.hpp"
#include "logread/follow.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using logread::file_follower;
using logread::follow_event;

void append(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::app) << text;
}

// Reads until the follower is idle: the bytes, with each other event as a
// marker ("<reopened>", "<truncated>", "<shrunk>", "<failed>",
// "<not regular>").
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
        case follow_event::shrunk: seen += "<shrunk>"; break;
        case follow_event::failed: return seen + "<failed>";
        case follow_event::not_regular: return seen + "<not regular>";
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

    // The writer still adds to the old file after the rename and the
    // create, until it reopens and writes to the new one.
    std::filesystem::rename(path, dir / "unit.log.1");
    append(path, "");
    EXPECT_EQ(read_until_idle(follower), "");
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

TEST(FileFollower, TellsACopytruncateFromAFileCutShortInPlace)
{
    harness::scratch_dir dir("follow-truncate");
    const std::string path = dir / "unit.log";
    std::string rows;
    for (int row = 1; row <= 20; ++row) {
        rows += "\n     row " + std::to_string(row);
    }
    append(path, rows);
    file_follower follower(path);
    EXPECT_EQ(read_until_idle(follower), rows);

    // Cut short, its beginning kept: reading goes on from the new end.
    std::filesystem::resize_file(path, rows.find("\n     row 11"));
    EXPECT_EQ(read_until_idle(follower), "<shrunk>");
    append(path, "\n     row 11 again");
    EXPECT_EQ(read_until_idle(follower), "\n     row 11 again");

    // copytruncate: copied elsewhere, emptied, and the writer goes on.
    std::filesystem::resize_file(path, 0);
    append(path, "next");
    EXPECT_EQ(read_until_idle(follower), "<truncated>next");
    append(path, " row");
    EXPECT_EQ(read_until_idle(follower), " row");

    // Emptied and written past the old read position between two reads:
    // the size alone can't tell, the bytes before the position do.
    std::filesystem::resize_file(path, 0);
    append(path, "a new day, longer than before");
    EXPECT_EQ(read_until_idle(follower), "<truncated>a new day, longer than before");
}

TEST(FileFollower, OpensOnlyARegularFileAndWaitsForOneToComeBack)
{
    harness::scratch_dir dir("follow-not-regular");
    const std::string path = dir / "unit.log";
    std::filesystem::create_directory(path);
    file_follower follower(path);
    EXPECT_EQ(read_until_idle(follower), "<not regular>");
    std::filesystem::remove(path);

    // A FIFO without a writer: opening it would wait for one for ever.
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(read_until_idle(follower), "<not regular>");
    EXPECT_FALSE(follower.following());
    std::filesystem::remove(path);

    append(path, "rows");
    EXPECT_EQ(read_until_idle(follower), "rows");
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_EQ(read_until_idle(follower), "<not regular>");
    EXPECT_EQ(read_until_idle(follower), "<not regular>");

    std::filesystem::remove(path);
    append(path, "back");
    EXPECT_EQ(read_until_idle(follower), "<reopened>back");
}

TEST(FileFollower, ReportsWhatKeepsItFromReadingWithItsErrno)
{
    harness::scratch_dir dir("follow-failed");
    std::filesystem::create_symlink("unit.log", dir / "unit.log"); // a link to itself
    file_follower follower(dir / "unit.log");
    std::array<char, 8> buffer{};
    const auto result = follower.read(buffer);
    EXPECT_EQ(result.event, follow_event::failed);
    EXPECT_EQ(result.error, ELOOP);
}

// ---- The followed log, line by line ----

// Each row's line number and elapsed time ("3 1.000"), and each skipped line's number.
struct line_recorder : logread::log_events {
    void on_row(const logread::row_event& row) override
    {
        rows.push_back(std::to_string(row.line_number) + " " + std::string(row.text.elapsed));
    }
    void on_skipped(const logread::skipped_line& line) override { skipped.push_back(line.line_number); }

    std::vector<std::string> rows;
    std::vector<std::size_t> skipped;
};

// Polls as a live view does until the log has stood still for two polls,
// so that its last row, which has no line end yet, is taken too.
void poll_until_still(logread::followed_log& log)
{
    for (int idle_polls = 0; idle_polls < 2;) {
        const auto result = log.poll();
        ASSERT_NE(result.event, follow_event::failed);
        idle_polls = result.event == follow_event::idle ? idle_polls + 1 : 0;
    }
}

// A row holding only its tuning word.
std::string tuning_row(double elapsed, long tuning)
{
    return log_text::text_of({.elapsed = elapsed, .tuning = tuning});
}

const std::string start_lines = log_text::start_lines("Tue Dec  8 09:14:03 2026");

// A log with a run's start and one row, followed and read to its end.
class FollowedLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        append(path, start_lines + tuning_row(1, 5));
        poll_until_still(log);
    }

    const harness::scratch_dir dir{"followed-log"};
    const std::string path = dir / "unit.log";
    line_recorder seen;
    logread::followed_log log{path, seen};
};

TEST_F(FollowedLog, LineNumbersGoOnAfterTheNewestRowWasTakenUnended)
{
    append(path, tuning_row(2, 6) + "\nnoise");
    poll_until_still(log);
    append(path, " goes on"); // the rest of the line taken: the same line
    poll_until_still(log);
    EXPECT_EQ(seen.rows, (std::vector<std::string>{"3 1.000", "4 2.000"}));
    EXPECT_EQ(seen.skipped, (std::vector<std::size_t>{5, 5}));
}

TEST_F(FollowedLog, ReadsTheRowsWrittenToAFileJustBeforeItWasRenamed)
{
    append(path, tuning_row(2, 6));
    std::filesystem::rename(path, dir / "unit.log.1");
    append(path, start_lines + tuning_row(0.5, 7));
    poll_until_still(log);
    EXPECT_EQ(seen.rows, (std::vector<std::string>{"3 1.000", "4 2.000", "3 0.500"}));
    EXPECT_EQ(seen.skipped, std::vector<std::size_t>{});
}

} // namespace
