// fslog-plot: a log drawn as a PNG through fslog-csv and gnuplot.
#include "harness.hpp"
#include "plot/options.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const std::string program = FSLOG_PLOT_BIN;

// PNG's CRC-32 (ISO 3309) over a chunk's type and data.
std::uint32_t png_crc(const std::uint8_t* bytes, std::size_t count)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
    }
    return crc ^ 0xFFFFFFFFu;
}

std::uint32_t big_endian_at(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes[at]) << 24 | static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

struct png_summary {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t image_data_bytes = 0; // all IDAT chunks together
};

// Walks the chunks from the signature to IEND, checking every CRC; fails
// the test on anything that is no well-formed PNG.
png_summary read_png(const std::vector<std::uint8_t>& file)
{
    png_summary summary;
    constexpr std::array<std::uint8_t, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(file.size() > signature.size() &&
                std::equal(signature.begin(), signature.end(), file.begin()));
    std::size_t at = signature.size();
    std::string type;
    while (type != "IEND") {
        if (at + 12 > file.size()) {
            ADD_FAILURE() << "PNG ends before its IEND chunk";
            return summary;
        }
        const std::uint32_t length = big_endian_at(file, at);
        type.assign(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8);
        if (at + 12 + length > file.size()) {
            ADD_FAILURE() << "chunk " << type << " runs past the end of the file";
            return summary;
        }
        EXPECT_EQ(png_crc(&file[at + 4], 4 + length), big_endian_at(file, at + 8 + length)) << type;
        if (at == signature.size()) {
            EXPECT_EQ(type, "IHDR");
            EXPECT_EQ(length, 13u);
            summary.width = big_endian_at(file, at + 8);
            summary.height = big_endian_at(file, at + 12);
        }
        if (type == "IDAT") {
            summary.image_data_bytes += length;
        }
        at += 12 + length;
    }
    EXPECT_EQ(at, file.size());
    return summary;
}

class PlotProgram : public ::testing::Test {
protected:
    const harness::scratch_dir dir{"fslog-plot"};
    const std::string log = dir / "unit.log";
    const std::string png = dir / "unit.png";
};

TEST_F(PlotProgram, DrawsAValidNonEmptyPngFromALogWithGaps)
{
    std::ofstream(log)
        << "# Logging started at Tue Dec  8 09:14:03 2026\n"
           "# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, delta dds2, user tuning"
           "\n         0.013        812    2047    1530    2214  1932735283 2576980377 -1717986919 -1190 "
           "\n         0.062        813    2046    1530    2215  1932735283 2576985427 5050 -1189 "
           "\n         6.104        812    2047    1531    2214  -1189 "
           "\n        12.157     (CS bad!) 1932735283 2576995538 10111 -1188 "
           "\n        12.201        811    2048    1531    2214  1932735283 2577000590 5052 -1188 ";
    const harness::finished_run run = harness::run_to_end({program, "--size", "900x780", log, png}, 30s);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    std::ifstream file(png, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                          std::istreambuf_iterator<char>()};
    const png_summary summary = read_png(bytes);
    EXPECT_EQ(summary.width, 900u);
    EXPECT_EQ(summary.height, 780u);
    // Axes, labels and lines on three panels compress to far more than a
    // blank picture of that size would.
    EXPECT_GT(summary.image_data_bytes, 10000u);
}

TEST_F(PlotProgram, LogWithoutRowsOrArgumentsDrawsNothing)
{
    std::ofstream(log) << "# Logging started at Tue Dec  8 09:14:03 2026\n# Elapsed (s), rail?";
    const harness::finished_run empty = harness::run_to_end({program, log, png}, 30s);
    EXPECT_EQ(empty.exit_code, 1);
    EXPECT_EQ(empty.err, "fslog-plot: " + log + " holds no log rows\n");
    EXPECT_FALSE(std::filesystem::exists(png));

    const harness::finished_run usage = harness::run_to_end({program, log}, 30s);
    EXPECT_EQ(usage.exit_code, 2);
    EXPECT_EQ(usage.err,
              "fslog-plot: give at least one LOG and the OUT picture\n" + std::string(plot::usage_text));
}

} // namespace
