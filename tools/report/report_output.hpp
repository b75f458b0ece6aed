// The report's two forms: text for people, one JSON object for scripts.
#pragma once

#include "logread/local_time.hpp"
#include "report/log_summary.hpp"

#include <nlohmann/json.hpp>

#include <string>

namespace report {

// Each run, then all runs together (when there are several); times in
// `zone`, with its name.
std::string report_text(const log_summary& log, logread::time_zone zone);

// The total's figures at the top level, and "runs" holding the same for
// each run. Keys scripts may rely on: rows, complete_rows, failures (adc,
// dds, tuning), cs_bad (dds, tuning), runs, channels (rail, trimpot,
// temperature, vcxo, each with min, mean, max and sd). Times are ISO 8601
// with their offset in `zone`.
nlohmann::ordered_json report_json(const log_summary& log, logread::time_zone zone);

} // namespace report
