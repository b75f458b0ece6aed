// fslog-metrics scraped by a real Prometheus server: fslog logs a unit with
// faults under fslog-sim, fslog-metrics follows the log as it is written,
// and what Prometheus holds once fslog has stopped must be what the log holds.
#include "harness.hpp"
#include "logread/line_reader.hpp"
#include "loopback.hpp"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>
#include <map>
#include <thread>

namespace {

using namespace std::chrono_literals;
using nlohmann::json;

bool on_path(const std::string& program)
{
    return std::system(("command -v " + program + " >/dev/null").c_str()) == 0;
}

// What the log holds, counted through the log library.
struct log_counts : logread::log_events {
    double rows = 0;
    std::map<std::string, double> failures{{"adc", 0}, {"dds", 0}, {"tuning", 0}};
    std::map<std::string, double> cs_bad{{"dds", 0}, {"tuning", 0}};
    std::optional<double> last_vcxo; // of the last row with ADC readings

    void on_row(const logread::row_event& row) override
    {
        const auto& values = row.values;
        ++rows;
        failures["adc"] += values.adc ? 0 : 1;
        failures["dds"] += values.dds ? 0 : 1;
        failures["tuning"] += values.tuning ? 0 : 1;
        cs_bad["dds"] += values.dds_cs_bad ? 1 : 0;
        cs_bad["tuning"] += values.tuning_cs_bad ? 1 : 0;
        if (values.adc) {
            last_vcxo = (*values.adc)[3];
        }
    }
};

log_counts count_log(const std::string& path)
{
    log_counts counts;
    logread::line_reader reader(counts);
    reader.feed(harness::file_text(path));
    reader.finish();
    return counts;
}

class prometheus_api {
public:
    explicit prometheus_api(int port) : client_("127.0.0.1", port) { client_.set_read_timeout(5, 0); }

    // The result vector of an instant query; empty when the query failed.
    json query(const std::string& promql)
    {
        const auto response =
            client_.Get("/api/v1/query?" + httplib::detail::params_to_query_str({{"query", promql}}));
        if (!response || response->status != 200) {
            return json::array();
        }
        return json::parse(response->body)["data"]["result"];
    }
    // The one value of a query whose result is a single series.
    std::optional<double> value(const std::string& promql)
    {
        const json result = query(promql);
        if (result.size() != 1) {
            return std::nullopt;
        }
        return std::stod(result[0]["value"][1].get<std::string>());
    }
    json get(const std::string& path)
    {
        const auto response = client_.Get(path);
        return response && response->status == 200 ? json::parse(response->body) : json();
    }

private:
    httplib::Client client_;
};

// Replaces the dashboard's variables with what this test serves.
std::string dashboard_query(std::string expr)
{
    for (const auto& [variable, value] : std::map<std::string, std::string>{
             {"$instance", ".*"}, {"$log", "unit"}, {"$__rate_interval", "5s"}, {"$__range", "1m"}}) {
        for (std::size_t at = expr.find(variable); at != std::string::npos; at = expr.find(variable)) {
            expr.replace(at, variable.size(), value);
        }
    }
    return expr;
}

TEST(FslogMetricsWithPrometheus, PrometheusHoldsWhatTheLogHolds)
{
    ASSERT_TRUE(on_path("prometheus") && on_path("promtool"))
        << "Debian's prometheus package (prometheus and promtool) is needed for this test";
    harness::scratch_dir dir("prometheus");
    const std::string log = dir / "unit.log";
    const int metrics_port = free_loopback_port();
    const int prometheus_port = free_loopback_port();

    // fslog-metrics starts before the log exists, and waits for it.
    harness::child_process metrics(
        {FSLOG_METRICS_BIN, "--listen", "127.0.0.1:" + std::to_string(metrics_port), log},
        {.stdout_path = dir / "metrics.out", .stderr_path = dir / "metrics.err"});
    std::ofstream(dir / "prometheus.yml")
        << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
        << "rule_files: ['" << FSLOG_SERVICE_DIR << "/prometheus/fslog-alerts.yml']\n"
        << "scrape_configs:\n  - job_name: fslog\n    static_configs:\n"
        << "      - targets: ['127.0.0.1:" << metrics_port << "']\n";
    harness::child_process prometheus(
        {"prometheus", "--config.file=" + (dir / "prometheus.yml"), "--storage.tsdb.path=" + (dir / "data"),
         "--web.listen-address=127.0.0.1:" + std::to_string(prometheus_port), "--log.level=warn"},
        {.stdout_path = dir / "prometheus.out", .stderr_path = dir / "prometheus.err"});
    {
        // The simulator's faults cost queries (a line reset each) and spoil
        // payload checks; fslog's rows go to the log, the summary elsewhere.
        harness::child_process fslog({FSLOG_SIM_BIN, "--fast", "--seed", "11", "--faults",
                                      "header=0.0001,payload=0.0003", "--", FSLOG_BIN},
                                     {.stdout_path = log, .stderr_path = dir / "sim.out"});
        std::this_thread::sleep_for(9s);
        fslog.signal(SIGTERM);
        fslog.wait(10s);
    }
    const log_counts held = count_log(log);
    ASSERT_GT(held.rows, 1000) << harness::file_text(dir / "sim.out");
    ASSERT_GT(held.failures.at("adc") + held.cs_bad.at("dds") + held.cs_bad.at("tuning"), 0);

    prometheus_api api(prometheus_port);
    const std::string rows_query = "fslog_rows_total{job=\"fslog\",log=\"unit\"}";
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (api.value(rows_query) != held.rows && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(250ms);
    }
    ASSERT_EQ(api.value(rows_query), held.rows)
        << harness::file_text(dir / "prometheus.err") << harness::file_text(dir / "metrics.err");
    for (const auto& [query, count] : held.failures) {
        EXPECT_EQ(api.value("fslog_query_failures_total{log=\"unit\",query=\"" + query + "\"}"), count)
            << query;
    }
    for (const auto& [query, count] : held.cs_bad) {
        EXPECT_EQ(api.value("fslog_cs_bad_total{log=\"unit\",query=\"" + query + "\"}"), count) << query;
    }
    // The gauge holds the latest ADC reading: the last complete row's,
    // unless the log ends in rows where only the other queries failed.
    ASSERT_TRUE(held.last_vcxo);
    EXPECT_EQ(api.value("fslog_adc{log=\"unit\",channel=\"vcxo\"}"), held.last_vcxo);

    // The shipped alert rules load and evaluate in the real engine, and
    // every dashboard query finds its series.
    const json rules = api.get("/api/v1/rules");
    for (const json& group : rules["data"]["groups"]) {
        for (const json& rule : group["rules"]) {
            EXPECT_EQ(rule["health"], "ok") << rule.dump();
        }
    }
    const json dashboard =
        json::parse(harness::file_text(std::string(FSLOG_SERVICE_DIR) + "/prometheus/fslog-dashboard.json"));
    for (const json& panel : dashboard["panels"]) {
        for (const json& target : panel["targets"]) {
            EXPECT_FALSE(api.query(dashboard_query(target["expr"])).empty()) << target["expr"];
        }
    }

    // The exposition itself passes promtool's checks without a word.
    httplib::Client scrape("127.0.0.1", metrics_port);
    const auto exposition = scrape.Get("/metrics");
    ASSERT_TRUE(exposition);
    std::ofstream(dir / "exposition.txt") << exposition->body;
    const auto lint = harness::run_to_end(
        {"/bin/sh", "-c", "promtool check metrics < '" + (dir / "exposition.txt") + "' 2>&1"}, 30s);
    EXPECT_EQ(lint.exit_code, 0);
    EXPECT_EQ(lint.out, "");
    metrics.signal(SIGTERM);
    EXPECT_TRUE(harness::exited_with(metrics.wait(10s), 0));
}

} // namespace
