// Fuzz target: arbitrary bytes as a log, read back by the log library and
// fslog-report. Checks, beyond what ASan and UBSan see:
//   - the line reader reports the same events whether it is fed the whole
//     text at once or in pieces of any size;
//   - every row it accepts, printed again as fslog prints it, parses to the
//     same numbers;
//   - the text, gzip-compressed into a file, reads back through log_input
//     byte for byte; the raw bytes read as a file never fail but as zlib's
//     complaint about damaged gzip data;
//   - the report's JSON, written run by run, is valid JSON laid out as one
//     dump of it, whatever bytes the log holds.
// Input: one byte that chooses the piece sizes, then the log's bytes.
#include "log_text.hpp"
#include "logread/line_reader.hpp"
#include "logread/log_input.hpp"
#include "report/log_summary.hpp"
#include "report/report_output.hpp"

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

void require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

std::string time_text(const std::optional<double>& time)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", time.value_or(-1));
    return time ? text : "none";
}

// Every event as a line of text, and the rows' numbers, for comparing.
struct recorder : logread::log_events {
    std::string events;
    std::vector<logread::row_values> rows;

    void on_run_start(const logread::run_start& start) override
    {
        events += "start " + std::to_string(start.line_number) + " " + std::to_string(start.run) + " " +
                  std::string(start.ctime_text) + " " +
                  (start.start_time ? std::to_string(*start.start_time) : "none") + "\n";
    }
    void on_header(std::size_t line_number) override
    {
        events += "header " + std::to_string(line_number) + "\n";
    }
    void on_row(const logread::row_event& row) override
    {
        events += "row " + std::to_string(row.line_number) + " " + std::to_string(row.run) + " " +
                  std::string(row.text.elapsed) + " " + time_text(row.time) + "\n";
        rows.push_back(row.values);
    }
    void on_skipped(const logread::skipped_line& line) override
    {
        events += logread::describe("log", line) + "\n";
    }
    void on_file_end() override { events += "end\n"; }
};

// Piece sizes from 1 to 64, drawn from the seed.
std::string read_in_pieces(std::string_view text, std::uint8_t seed)
{
    recorder seen;
    logread::line_reader reader(seen);
    std::uint32_t state = seed * 2654435761u + 1;
    while (!text.empty()) {
        state = state * 1103515245u + 12345u;
        const std::size_t size = std::min<std::size_t>(text.size(), 1 + (state >> 16) % 64);
        reader.feed(text.substr(0, size));
        text.remove_prefix(size);
    }
    reader.finish();
    return seen.events;
}

// The row as fslog prints it, without the line end before it.
std::string printed_again(const logread::row_values& values)
{
    log_text::row row{values.elapsed};
    if (values.adc) {
        row.adc = std::array<int, 4>{(*values.adc)[0], (*values.adc)[1], (*values.adc)[2], (*values.adc)[3]};
    }
    if (values.dds) {
        row.dds = std::array<long, 3>{values.dds->dds1, values.dds->dds2, values.dds->delta};
    }
    if (values.tuning) {
        row.tuning = *values.tuning;
    }
    row.dds_cs_bad = values.dds_cs_bad;
    row.tuning_cs_bad = values.tuning_cs_bad;
    return log_text::text_of(row).substr(1);
}

void check_row_reads_back(const logread::row_values& values)
{
    const std::string printed = printed_again(values);
    const logread::row_parse again = logread::parse_row(printed);
    require(again.ok());
    const logread::row_values read = logread::values_of(again.row);
    require(read.elapsed == values.elapsed);
    require(read.adc == values.adc && read.tuning == values.tuning);
    require(read.dds.has_value() == values.dds.has_value());
    require(!read.dds || (read.dds->dds1 == values.dds->dds1 && read.dds->dds2 == values.dds->dds2 &&
                          read.dds->delta == values.dds->delta));
    require(read.dds_cs_bad == values.dds_cs_bad && read.tuning_cs_bad == values.tuning_cs_bad);
}

// A file in memory holding `bytes`, and its path.
class memory_file {
public:
    explicit memory_file(std::string_view bytes) : fd_(memfd_create("log", MFD_CLOEXEC))
    {
        require(fd_ >= 0 && write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    }
    ~memory_file() { close(fd_); }
    memory_file(const memory_file&) = delete;
    memory_file& operator=(const memory_file&) = delete;
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

// All that log_input gives for the file, or nothing when it fails.
std::optional<std::string> read_through_log_input(const std::string& path, std::string& error)
{
    logread::log_input input(path);
    std::string text;
    std::array<char, 4096> buffer{};
    for (;;) {
        const std::ptrdiff_t got = input.read(buffer);
        if (got < 0) {
            error = input.error();
            return std::nullopt;
        }
        if (got == 0) {
            return text;
        }
        text.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

std::string gzip(std::string_view text)
{
    z_stream stream{};
    require(deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK);
    std::string packed(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    require(deflate(&stream, Z_FINISH) == Z_STREAM_END);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
}

void check_inputs(std::string_view text)
{
    std::string error;
    const memory_file packed(gzip(text));
    require(read_through_log_input(packed.path(), error) == text);

    const memory_file raw(text);
    const auto read = read_through_log_input(raw.path(), error);
    const bool gzip_magic = text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0x1f &&
                            static_cast<unsigned char>(text[1]) == 0x8b;
    require(gzip_magic || read == text);
    require(read || gzip_magic);
}

// The report in one form, gathered as fslog-report writes it.
struct written_report : report::summary_events {
    explicit written_report(std::unique_ptr<report::report_form> as) : form(std::move(as)) {}
    void on_run_end(const report::summary& run) override { text += form->run_block(run); }
    void on_start_note(const std::string&) override {}

    std::unique_ptr<report::report_form> form;
    std::string text;
};

std::string report_of(std::string_view log, std::unique_ptr<report::report_form> form)
{
    written_report out(std::move(form));
    report::log_summary summary(out);
    logread::line_reader reader(summary);
    reader.feed(log);
    reader.finish();
    summary.close();
    out.text += out.form->ending(summary);
    return out.text;
}

// The JSON, written run by run, is valid and laid out as a whole dump of it
// would be.
void check_report(std::string_view text)
{
    const std::string json = report_of(text, report::json_report(logread::time_zone::local));
    require(nlohmann::json::accept(json));
    require(nlohmann::ordered_json::parse(json).dump(2) + "\n" == json);
    static_cast<void>(report_of(text, report::text_report(logread::time_zone::local)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    recorder whole;
    logread::line_reader reader(whole);
    reader.feed(text);
    reader.finish();
    require(read_in_pieces(text, data[0]) == whole.events);
    for (const logread::row_values& values : whole.rows) {
        check_row_reads_back(values);
    }
    check_inputs(text);
    check_report(text);
    return 0;
}
