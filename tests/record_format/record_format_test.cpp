// The record's format: the text and JSON that picalc-record and the page
// write, checked against golden files made before the format had a library
// of its own, and read back.
#include "log_check.h"
#include "record_format.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace picalc::record_format {
namespace {

std::vector<RunResult> runs_of(const std::vector<const char*>& seconds) {
    std::vector<RunResult> runs;
    runs.reserve(seconds.size());
    for (const char* time : seconds) {
        runs.push_back({0, true, "", time, "0 digits [Gauss]", ""});
    }
    return runs;
}

TEST(Summary, GivesTheMedianSpreadAndScaling) {
    const Summary odd = summarize(runs_of({"3.0", "1.0", "2.0"}),
                                  {runs_of({"2.5", "2.4"}), runs_of({"2.6", "2.2"})});
    EXPECT_DOUBLE_EQ(odd.median, 2.0);
    EXPECT_DOUBLE_EQ(odd.minimum, 1.0);
    EXPECT_DOUBLE_EQ(odd.maximum, 3.0);
    EXPECT_DOUBLE_EQ(odd.copy_median, 2.45);
    EXPECT_DOUBLE_EQ(odd.scaling, 2 * 2.0 / 2.45);
    const Summary even = summarize(runs_of({"4.0", "1.0", "2.0", "3.0"}), {});
    EXPECT_DOUBLE_EQ(even.median, 2.5);
    EXPECT_TRUE(even.copies.empty());
    EXPECT_DOUBLE_EQ(even.scaling, 0.0);
}

TEST(Summary, NamesTheRunsThatOtherWorkDisturbed) {
    const auto loaded = [](std::vector<RunResult> runs, const std::vector<double>& loads) {
        for (std::size_t i = 0; i < runs.size(); ++i) {
            runs[i].other_load = loads[i];
        }
        return runs;
    };
    const struct {
        std::vector<double> single;
        double round;
        std::vector<std::string> disturbed;
        double highest;
        const char* line;
    } cases[] = {
        {{0.02, 0.10, 0.25}, 0.0, {}, 0.25, "Other work: at most 0.25 of a processor"},
        {{0.02, 0.93, 0.01}, 0.0, {"run 2 of 3 (0.93)"}, 0.93, "Disturbed: other work"},
        {{0.0, 0.0, 0.0}, 0.41, {"round 1 of 1 (0.41)"}, 0.41, "during round 1 of 1 (0.41):"},
        {{-1, -1, -1}, -1, {}, -1, "Other work: unknown"},
    };
    for (const auto& c : cases) {
        Record record;
        record.run_name = "0 digits [Gauss]";
        record.single = loaded(runs_of({"2.0", "2.1", "2.2"}), c.single);
        record.copies = {loaded(runs_of({"2.5", "2.6"}), {c.round, c.round})};
        record.summary = summarize(record.single, record.copies);
        EXPECT_EQ(record.summary.disturbed, c.disturbed) << c.line;
        EXPECT_DOUBLE_EQ(record.summary.highest_load, c.highest) << c.line;
        EXPECT_NE(summary_text(record).find(c.line), std::string::npos) << summary_text(record);
    }
}

Record sample_record(const std::string& processor) {
    std::string run = test::read_data_file("run_0.txt");
    const std::string masked = "Total time <seconds> seconds ";
    Record record;
    record.date = "2026-12-09";
    record.record_version = "1.0.0";
    record.arguments = {"0"};
    record.run_name = "0 digits [Gauss]";
    record.run_by = "a \"tester\"";
    record.machine.processor = processor;
    record.machine.logical_processors = 2;
    record.build = {"1.0.0", "GCC 12.2.0", "-O2", "static", "linux-x86_64", "glibc 2.36"};
    for (const char* time : {"2.000000", "1.000000"}) {
        RunResult result{0, true, "valid", time, "0 digits [Gauss]", run};
        result.output.replace(run.find(masked), masked.size(),
                              std::string("Total time ") + time + " seconds ");
        record.single.push_back(result);
    }
    record.copies = {runs_of({"2.5", "2.7"})};
    record.summary = summarize(record.single, record.copies);
    return record;
}

TEST(Record, IsAResultsFileThatPicalcCheckAccepts) {
    const std::string text = record_text(sample_record("AMD EPYC"));
    for (const char* key :
         {"CPU: AMD EPYC\n", "\nCores: 2 logical processors, unknown physical",
          "\nSystem: ", "\nBuild: picalc 1.0.0, GCC 12.2.0 -O2, static, linux-x86_64, glibc 2.36\n",
          "\nRun by: a \"tester\"\n", "\nDate: 2026-12-09\n",
          "\nMedian: 1.500000 seconds (minimum 1.000000, maximum 2.000000)\n",
          "\nScaling: 1.15 (2 copies x 1.500000 s / 2.600000 s)"}) {
        EXPECT_NE(text.find(key), std::string::npos) << key;
    }
    check::SavedLog log;
    check::read_saved_log(log, text.data(), text.size());
    EXPECT_EQ(check::finish_saved_log(log).message,
              "valid: 2 runs of 0 digits [Gauss], median total time 1.500000 seconds (1.000000 to "
              "2.000000)");
}

// Every field of the record filled, so that a change to how any line or JSON
// member is written shows against the committed files.
Record full_record() {
    Record record = sample_record("AMD EPYC 9B14");
    record.arguments = {"0", "s"};
    MachineInfo& machine = record.machine;
    machine.vendor = "AuthenticAMD";
    machine.family = 25;
    machine.model = 17;
    machine.stepping = 1;
    machine.microarchitecture = "Zen 4";
    machine.microcode = "0xa101148";
    machine.usable_processors = 1;
    machine.physical_cores = 1;
    machine.core_classes = 1;
    machine.single_run_cores = "single runs on processor 1";
    machine.hypervisor = 1;
    machine.smt = 1;
    machine.system = "Debian GNU/Linux 12 (bookworm)";
    machine.kernel = "Linux 6.1.0";
    machine.architecture = "x86_64";
    machine.max_mhz = 3700;
    machine.base_mhz = 2600;
    machine.reported_mhz = 2595;
    machine.caches = {{1, "Data", 32, 2}, {1, "Instruction", 32, 2}, {3, "Unified", 32768, -1}};
    machine.memory_mib = 7936;
    machine.governor = "performance";
    machine.scaling_driver = "acpi-cpufreq";
    machine.boost = 0;
    machine.energy_preference = "balance_performance";
    record.single[1].other_load = 0.5;
    record.copies[0][0].other_load = 0.125;
    record.copies[0][1].other_load = 0.125;
    record.summary = summarize(record.single, record.copies);
    return record;
}

TEST(Record, TextAndJsonAreTheCommittedOnes) {
    const Record record = full_record();
    EXPECT_EQ(record_text(record), test::read_data_file("golden/record.txt"));
    EXPECT_EQ(nlohmann::json::parse(record_json(record)),
              nlohmann::json::parse(test::read_data_file("golden/record.json")));
}

TEST(Json, TextComesBackWhateverItHoldsAndBytesThatAreNotUtf8BecomeReplacements) {
    const struct {
        std::string text;
        std::string parsed;
    } cases[] = {
        {"plain", "plain"},
        {"a \"b\" \\c", "a \"b\" \\c"},
        {"tab\there\nnext\x01\x7f", "tab\there\nnext\x01\x7f"},
        {"St\xc3\xb8rmer \xf0\x9f\x98\x80", "St\xc3\xb8rmer \xf0\x9f\x98\x80"},
        {"bad \xff byte \xc3", "bad \xef\xbf\xbd byte \xef\xbf\xbd"},
    };
    for (const auto& c : cases) {
        Record record = sample_record(c.text);
        record.run_by = c.text;
        const nlohmann::json json = nlohmann::json::parse(record_json(record));
        EXPECT_EQ(json["machine"]["processor"], c.parsed) << c.text;
        EXPECT_EQ(json["run_by"], c.parsed) << c.text;
    }
}

TEST(Json, ReadsBackWhatItWrote) {
    const Record record = full_record();
    Record read;
    std::string error;
    ASSERT_TRUE(record_from_json(record_json(record), read, error)) << error;
    EXPECT_EQ(record_json(read), record_json(record));
    EXPECT_EQ(read.summary.disturbed, record.summary.disturbed);
    EXPECT_EQ(read.machine.caches.size(), 3U);
}

TEST(Json, RefusesWhatItDidNotWrite) {
    const std::string json = record_json(full_record());
    const auto edited = [&json](const std::string& from, const std::string& to) {
        std::string text = json;
        const std::size_t at = text.find(from);
        return at == std::string::npos ? std::string("no ") + from
                                       : text.replace(at, from.size(), to);
    };
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "not a JSON object"},
        {"[1, 2]", "not a JSON object"},
        {json.substr(0, json.size() / 2), "not a JSON object"},
        {edited("\"schema_version\": 1", "\"schema_version\": 2"), "schema_version is not 1"},
        {edited("\"date\": \"2026-12-09\"", "\"day\": \"2026-12-09\""), "no \"date\" member"},
        {edited("\"family\": 25", "\"family\": \"25\""),
         "\"family\" is not a whole number or null"},
        {edited("\"family\": 25", "\"family\": 99999999999"), "\"family\" is not a 32-bit number"},
        {edited("\"smt\": true", "\"smt\": 1"), "\"smt\" is not true, false or null"},
        {edited("\"seconds\": 2.0", "\"seconds\": \"2.0\""),
         "\"seconds\" is not a finite number of 0 or more, or null"},
        {edited("\"seconds\": 2.0", "\"seconds\": -2.0"),
         "\"seconds\" is not a finite number of 0 or more, or null"},
        {edited("\"seconds\": 2.0", "\"seconds\": 1e400"), "not a JSON object"},
        {edited("\"arguments\": [", "\"arguments\": [3, "),
         "\"arguments\" is not an array of text"},
        {edited("\"caches\": [", "\"caches\": {\"a\": ["), "not a JSON object"},
    };
    for (const auto& c : cases) {
        Record read;
        std::string error;
        EXPECT_FALSE(record_from_json(c.text, read, error)) << c.error;
        EXPECT_EQ(error, c.error) << c.text.substr(0, 300);
    }
}

TEST(Json, ParsesWithARealParser) {
    Record record = sample_record("Odd \"CPU\" \\ \x01 \xff name");
    record.machine.hypervisor = 0;
    record.machine.microarchitecture = "Zen 4";
    record.machine.caches = {{2, "Unified", 1024, 2}};
    record.single[0].other_load = 0.5;
    record.summary = summarize(record.single, record.copies);
    const nlohmann::json json = nlohmann::json::parse(record_json(record));
    EXPECT_EQ(json["schema_version"], 1);
    EXPECT_EQ(json["machine"]["processor"], "Odd \"CPU\" \\ \x01 \xef\xbf\xbd name");
    EXPECT_EQ(json["machine"]["logical_processors"], 2);
    EXPECT_TRUE(json["machine"]["physical_cores"].is_null());
    EXPECT_EQ(json["machine"]["hypervisor"], false);
    EXPECT_EQ(json["run_by"], "a \"tester\"");
    EXPECT_EQ(json["build"]["linking"], "static");
    EXPECT_EQ(json["build"]["libc"], "glibc 2.36");
    EXPECT_TRUE(json["machine"]["max_mhz"].is_null());
    EXPECT_EQ(json["machine"]["caches"].size(), 1U);
    EXPECT_EQ(json["machine"]["caches"][0]["size_kib"], 1024);
    EXPECT_EQ(json["machine"]["microarchitecture"], "Zen 4");
    EXPECT_DOUBLE_EQ(json["runs"][0]["other_load"].get<double>(), 0.5);
    EXPECT_EQ(json["summary"]["disturbed"], nlohmann::json::array({"run 1 of 2 (0.50)"}));
    ASSERT_EQ(json["runs"].size(), 2U);
    EXPECT_DOUBLE_EQ(json["runs"][1]["seconds"].get<double>(), 1.0);
    EXPECT_EQ(json["runs"][0]["exit_status"], 0);
    ASSERT_EQ(json["copies"].size(), 1U);
    EXPECT_EQ(json["copies"][0].size(), 2U);
    EXPECT_DOUBLE_EQ(json["summary"]["median"].get<double>(), 1.5);
    EXPECT_NEAR(json["summary"]["scaling"].get<double>(), 2 * 1.5 / 2.6, 0.001);
}

} // namespace
} // namespace picalc::record_format
