#include "compare.h"
#include "record_format.h"
#include "test_support.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace picalc::compare {
namespace {

// Several records of each setup: each record's median is one value.
TEST(Verdict, InWords) {
    const std::vector<double> slow = {2.0, 2.1, 2.05, 2.02, 2.08};
    const std::vector<double> fast = {1.8, 1.82, 1.79, 1.85, 1.81};
    struct Case {
        std::vector<double> a, b;
        const char* verdict;
    };
    const Case cases[] = {
        {slow, fast,
         "B is 13.3 % faster than A (95 % interval 9.9 to 16.2 %; p = 0.008, 5 and 5 records)"},
        {fast, slow,
         "A is 13.3 % faster than B (95 % interval 9.9 to 16.2 %; p = 0.008, 5 and 5 records)"},
        {slow, {2.01, 2.09, 2.04, 2.03, 2.07}, "No difference shown (p = 1.00, 5 and 5 records)"},
        {{2.0, 2.1, 2.2},
         {1.0, 1.1, 1.2},
         "Too few records to show any difference (3 and 3 records can never give p below 0.05); "
         "4 and 4 records, or 5 beside 3, can"},
        {{2.0},
         {1.0, 1.1, 1.2, 1.3, 1.4, 1.5},
         "Too few records to show any difference (1 and 6 records can never give p below 0.05); "
         "4 and 4 records, or 3 beside 6, can"},
    };
    for (const Case& c : cases) {
        const Comparison comparison{stats::difference_of(c.a, c.b), Evidence::Records};
        EXPECT_EQ(verdict_text(comparison, "A", "B", "runs"), c.verdict);
    }
}

// What each kind of evidence may claim: one record of each never a
// difference, however large, as its runs share one session; pairs and
// several records do.
TEST(Verdict, EvidenceDecidesWhatHolds) {
    std::vector<double> a;
    std::vector<double> near;
    std::vector<double> far;
    for (int i = 0; i < 9; ++i) {
        a.push_back(2.0 + 0.01 * i);
        near.push_back(a.back() / 1.03);
        far.push_back(a.back() / 1.5);
    }
    struct Case {
        Comparison c;
        const char* start;
        bool holds;
    };
    const Case cases[] = {
        {{stats::difference_of(a, far), Evidence::Runs},
         "No verdict: the runs differ (B is 50.0 % faster than A (95 % interval ",
         false},
        {{stats::difference_of(a, near), Evidence::Runs},
         "No verdict: the runs differ (B is 3.0 %",
         false},
        {{stats::difference_of(a, a), Evidence::Runs},
         "No difference shown (p = 1.00, 9 and 9 runs)",
         false},
        {{stats::difference_of(a, far), Evidence::Records},
         "B is 50.0 % faster than A (95 % interval ",
         true},
        {{stats::paired_difference_of(a, near), Evidence::Pairs},
         "B is 3.0 % faster than A (95 % interval 3.0 to 3.0 %; p = 0.004, 9 pairs of runs)",
         true},
        {{stats::paired_difference_of({2.0, 2.1, 2.2, 2.3, 2.4}, {1.9, 2.0, 2.1, 2.2, 2.3}),
          Evidence::Pairs},
         "Too few pairs of runs to show any difference (5 pairs of runs can never give p below "
         "0.05); 6 pairs can",
         false},
    };
    for (const Case& c : cases) {
        const std::string text = verdict_text(c.c, "A", "B", "runs");
        EXPECT_EQ(text.rfind(c.start, 0), 0U) << text;
        EXPECT_EQ(difference_holds(c.c), c.holds) << text;
        EXPECT_EQ(text.find("make 4 records of each at different times") != std::string::npos,
                  text.rfind("No verdict: ", 0) == 0)
            << text;
    }
}

// A record of runs of a saved log with these times, under this header.
std::string record_of(const std::vector<const char*>& times, const std::string& header,
                      const char* log = "run_0.txt") {
    const std::string run = test::read_data_file(log);
    std::string text = header + "\n";
    for (const char* seconds : times) {
        std::string copy = run;
        const std::string masked = "<seconds>";
        text += copy.replace(copy.find(masked), masked.size(), seconds);
    }
    return text;
}

const char* const native_header = "CPU: AMD EPYC (Zen 5; family 26, model 2, stepping 1)\n"
                                  "Build: picalc 1.0.0, GCC 12.2.0 -O2, dynamic, linux-x86_64\n"
                                  "Runs: 3 of 0 digits [Gauss], one after another\n"
                                  "Run times: 1.500000 1.400000 1.450000 seconds\n"
                                  "Median: 1.450000 seconds (minimum 1.400000, maximum 1.500000)\n"
                                  "Copies: 2 at once, 3 rounds\n"
                                  "Copy times: 1.600000 1.700000, 1.500000 1.600000, 1.550000 "
                                  "1.650000 seconds\n"
                                  "Copy median: 1.600000 seconds\n"
                                  "Scaling: 1.81 (2 copies x 1.450000 s / 1.600000 s): the work "
                                  "of 1.81 single runs at once\n";

std::string edited(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(RecordFile, ReadsAGenuineRecordAndItsHeader) {
    const RecordFile file = read_record_text(
        "results/a.txt", record_of({"1.500000", "1.400000", "1.450000"}, native_header));
    ASSERT_TRUE(file.genuine) << file.refusal;
    EXPECT_EQ(file.name, "a");
    EXPECT_EQ(workload_of(file), "0 digits [Gauss]");
    EXPECT_EQ(file.times, (std::vector<double>{1.5, 1.4, 1.45}));
    EXPECT_EQ(header_value(file, "CPU"), "AMD EPYC (Zen 5; family 26, model 2, stepping 1)");
    EXPECT_EQ(file.copies, 2);
    EXPECT_EQ(copy_times(file), (std::vector<double>{1.6, 1.7, 1.5, 1.6, 1.55, 1.65}));
    EXPECT_NEAR(scaling_of(file), 2 * 1.45 / 1.6, 1e-12);
}

TEST(RecordFile, RefusesWhatIsNotGenuine) {
    const std::string good = record_of({"1.500000", "1.400000", "1.450000"}, native_header);
    struct Case {
        std::string text;
        const char* refusal; // the start of it
    };
    const Case cases[] = {
        {edited(good, "Run times: 1.500000", "Run times: 1.300000"),
         "its \"Run times:\" line does not match"},
        {edited(good, "Median: 1.450000", "Median: 1.400000"), "its \"Median:\" line"},
        {edited(good, "Runs: 3 of", "Runs: 4 of"), "its \"Runs:\" line"},
        {edited(good, "1.550000 1.650000 seconds", "1.550000 seconds"), "its \"Copy times:\" line"},
        {edited(good, "3 rounds", "4 rounds"), "its \"Copy times:\" line holds fewer rounds"},
        {edited(good, "3 rounds", "2 rounds"), "its \"Copy times:\" line holds more rounds"},
        // Every part of every summary line is checked, and none may go.
        {edited(good, "maximum 1.500000", "maximum 1.900000"), "its \"Median:\" line"},
        {edited(good, "Median: 1.450000 seconds (minimum 1.400000, maximum 1.500000)\n", ""),
         "it is a record without its \"Median:\" line"},
        {edited(good, "Run times:", "Run tXmes:"), "it is a record without its \"Run times:\""},
        {edited(good, "Copy median: 1.600000", "Copy median: 1.500000"),
         "its \"Copy median:\" line"},
        {edited(good, "1.81 (2 copies", "4.34 (2 copies"), "its \"Scaling:\" line"},
        {edited(good, "1.600000 1.700000,", "1.6 1.7,"), "its \"Copy times:\" line"},
        {edited(good, "1.600000 1.700000,", "1.600000 0.000000,"), "its \"Copy times:\" line"},
        {edited(good, "1.600000 1.700000,", "1.600000 " + std::string(400, '9') + ","),
         "its \"Copy times:\" line"},
        // Copies cannot be invented, or outlive the lines that say what they were.
        {edited(good, "Copies: 2 at once, 3 rounds\n", ""), "it has a \"Copies:\" line or"},
        {record_of({"1.500000"}, "Copies: 2 at once, 1 rounds\nCopy times: 0.001000 0.001000 "
                                 "seconds\n"),
         "it is a record without its \"Runs:\" line"},
        {"Scaling: 4.34\n" + record_of({"1.500000"}, "CPU: one"),
         "it is a record without its \"Runs:\" line"},
        {edited(good, "Copies: 2 at once", "Copies: 99999999999999999999 at once"),
         "its \"Copies:\" or \"Copy times:\" line is not one"},
        {edited(good, "Copies: 2 at once", "Copies: 30000 at once"),
         "its \"Copies:\" or \"Copy times:\" line is not one"},
        {edited(good, "3 rounds", "3 rounds, roughly"), "its \"Copies:\" or"},
        {edited(good, "Anti cheating verification code is=:229347328",
                "Anti cheating verification code is=:229347329"),
         "run 1: line"},
        {"CPU: a machine\nTotal time 1.000000 seconds\n",
         "line 2: \"Total time 1.000000 seconds\" looks like part of a picalc run"},
        {"", "no picalc run found"},
    };
    for (const Case& c : cases) {
        const RecordFile file = read_record_text("x.txt", c.text);
        EXPECT_FALSE(file.genuine);
        EXPECT_EQ(file.refusal.rfind(c.refusal, 0), 0U) << file.refusal;
    }
}

TEST(RecordFile, KindsAndTimesSamples) {
    struct Case {
        const char* build;
        Kind kind;
        const char* engine;
    };
    for (const Case& c :
         {Case{"picalc 1.0.0, GCC 12.2.0 -O2, static, linux-x86_64", Kind::Native, ""},
          Case{"picalc 1.0.0, Chrome 140 on iOS (WebKit engine), WebAssembly page", Kind::Browser,
               "WebKit"},
          Case{"WebAssembly page in headless Chromium 156.0.8078.129", Kind::Browser, "Blink"},
          Case{"WebAssembly page in Firefox 153", Kind::Browser, "Gecko"},
          Case{"WebAssembly under Node 20.20.2", Kind::Node, ""}}) {
        const RecordFile file =
            read_record_text("r.txt", record_of({"1.000000"}, std::string("Build: ") + c.build));
        ASSERT_TRUE(file.genuine) << file.refusal;
        EXPECT_EQ(file.kind, c.kind) << c.build;
        EXPECT_EQ(file.engine, c.engine) << c.build;
    }
    const RecordFile sample = times_record("zen5:9999:Gauss:1.929,1.956,1.957");
    ASSERT_TRUE(sample.genuine);
    EXPECT_EQ(sample.name, "zen5");
    EXPECT_EQ(workload_of(sample), "9999 digits [Gauss]");
    EXPECT_EQ(sample.times.size(), 3U);
    for (const char* bad : {"zen5:9999:Gauss:", "zen5:9999:Euler:1.0", "zen5:-1:Gauss:1.0",
                            ":9999:Gauss:1.0", "zen5:9999:Gauss:1.0,x", "zen5"}) {
        EXPECT_FALSE(times_record(bad).genuine) << bad;
    }
}

std::vector<RecordFile> two_records(const std::string& b_header, const char* b_time) {
    return {read_record_text("a.txt",
                             record_of({"2.000000", "2.100000", "2.050000", "2.020000", "2.080000"},
                                       "CPU: one\nBuild: gcc")),
            read_record_text(
                "b.txt",
                record_of({b_time, "1.820000", "1.790000", "1.850000", "1.810000"}, b_header))};
}

TEST(Compare, OutputFormats) {
    const std::vector<RecordFile> files = two_records(
        "CPU: two\nBuild: gcc\nDisturbed: other work kept processors busy during run 2 of 5 "
        "(0.93): those times are not this machine's best",
        "1.800000");
    struct Case {
        Format format;
        std::vector<const char*> expected;
    };
    const Case cases[] = {
        {Format::Text,
         {"Single runs: No verdict: the runs differ (B is 13.3 % faster than A (95 % interval 9.9 "
          "to 16.2 %; p = 0.008, 5 and 5 runs)), but this is one record of each",
          "Differs: the processor: A one; B two\n", "Differs: B's record flags disturbed runs"}},
        {Format::Markdown,
         {"**0 digits [Gauss]**, against b (the fastest):\n",
          "| 2.050000 (median of 5) | 2.000000 to 2.100000 | 13.3 % slower | no verdict from "
          "one record each (runs p = 0.008) | one |",
          "[b](b.txt) (disturbed) |"}},
        {Format::Csv,
         {"workload,record,path,records,runs,median_s",
          "0 digits [Gauss],a,a.txt,1,5,2.050000,2.000000,2.100000,b,1.132597,0.00793651,one "
          "record each,runs,"}},
        {Format::Json, {}},
    };
    for (const Case& c : cases) {
        std::string out;
        std::string refusal;
        ASSERT_TRUE(compare_files(files, "", c.format, out, refusal)) << refusal;
        for (const char* expected : c.expected) {
            EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin\n" << out;
        }
        if (c.format == Format::Json) {
            const nlohmann::json json = nlohmann::json::parse(out);
            EXPECT_EQ(json["records"].size(), 2U);
            EXPECT_EQ(json["groups"][0]["baseline"], "b");
            EXPECT_TRUE(json["comparison"]["runs"]["significant"].get<bool>());
            EXPECT_FALSE(json["comparison"]["runs"]["holds"].get<bool>());
            EXPECT_EQ(json["comparison"]["runs"]["evidence"], "runs");
            EXPECT_EQ(json["records"][0]["times"],
                      nlohmann::json::array({2.0, 2.1, 2.05, 2.02, 2.08}));
            EXPECT_EQ(json["comparison"]["verdict"].get<std::string>().rfind(
                          "No verdict: the runs differ (B is 13.3 % faster than A", 0),
                      0U);
            EXPECT_EQ(json["records"][1]["cpu"], "two");
            EXPECT_DOUBLE_EQ(json["groups"][0]["rows"][1]["against_baseline"]["p"].get<double>(),
                             0.00793651);
        }
    }
}

// A record per session of SESSIONS under HEADER, named PREFIX0, PREFIX1...:
// three runs each, at that session's speed.
std::vector<RecordFile> session_records(const std::string& prefix, const std::string& header,
                                        const std::vector<double>& sessions,
                                        const std::string& setup = "") {
    std::vector<RecordFile> files;
    files.reserve(sessions.size());
    for (std::size_t k = 0; k < sessions.size(); ++k) {
        std::vector<std::string> times;
        std::vector<const char*> pointers;
        pointers.reserve(3);
        for (const double step : {1.0, 1.004, 0.998}) {
            times.push_back(record_format::seconds_text(sessions[k] * step));
        }
        for (const std::string& time : times) {
            pointers.push_back(time.c_str());
        }
        files.push_back(
            read_record_text(prefix + std::to_string(k) + ".txt", record_of(pointers, header)));
        files.back().setup = setup;
    }
    return files;
}

// Records join one setup by processor, cores, build and engine, or by the
// --setup name; what cannot be told apart, or all of one setup, stands alone.
TEST(Compare, RecordsJoinTheirSetup) {
    const std::string gcc = "CPU: one\nBuild: gcc";
    struct File {
        std::string header;
        std::string setup;
    };
    struct Case {
        std::vector<File> files;
        std::vector<const char*> setups;
    };
    const Case cases[] = {
        {{{gcc, ""}, {gcc, ""}, {"CPU: one\nBuild: clang", ""}, {"CPU: one\nBuild: clang", ""}},
         {"r0 and 1 more", "r2 and 1 more"}},
        {{{gcc, ""}, {gcc, ""}, {gcc, ""}}, {"r0", "r1", "r2"}},
        {{{"CPU: one", ""}, {"CPU: one", ""}, {gcc, ""}, {gcc, ""}}, {"r0", "r1", "r2 and 1 more"}},
        {{{gcc, "fan"}, {gcc, "fan"}, {gcc, "quiet"}, {gcc, ""}}, {"fan", "quiet", "r3"}},
        {{{"CPU: one\nCores: 2\nBuild: gcc", ""},
          {"CPU: one\nCores: 4\nBuild: gcc", ""},
          {"CPU: one\nCores: 2\nBuild: gcc", ""}},
         {"r0 and 1 more", "r1"}},
    };
    for (const Case& c : cases) {
        std::vector<RecordFile> files;
        for (const File& f : c.files) {
            files.push_back(session_records("r", f.header, {1.5}, f.setup).front());
            files.back().path = "r" + std::to_string(files.size() - 1) + ".txt";
            files.back().name = "r" + std::to_string(files.size() - 1);
        }
        std::vector<const RecordFile*> pointers;
        for (const RecordFile& file : files) {
            ASSERT_TRUE(file.genuine) << file.refusal;
            pointers.push_back(&file);
        }
        std::vector<std::string> names;
        for (const compare::Setup& setup : setups_of(pointers)) {
            names.push_back(setup.name);
        }
        EXPECT_EQ(names, std::vector<std::string>(c.setups.begin(), c.setups.end()))
            << c.files.size() << " files, first " << c.files.front().header;
    }
}

// Several records of each setup are compared by their medians: a setup 15 %
// faster in every session is found, however much its runs agree; setups whose
// sessions overlap are not, though their runs differ.
TEST(Compare, SeveralRecordsOfEachGetAVerdict) {
    struct Case {
        std::vector<double> a, b;
        const char* verdict;
        bool holds;
    };
    const Case cases[] = {
        {{2.0, 2.3, 2.1, 2.25},
         {1.7, 1.9, 1.75, 1.85},
         "Single runs: B is 20.8 % faster than A (95 % interval 5.3 to 35.3 %; p = 0.03, 4 and 4 "
         "records)",
         true},
        {{2.0, 1.8, 2.1, 1.75}, {1.9, 1.85, 2.05, 1.7}, "Single runs: No difference shown", false},
        {{2.0, 2.3, 2.1},
         {1.7},
         "Single runs: Too few records to show any difference (3 and 1",
         false},
    };
    for (const Case& c : cases) {
        std::vector<RecordFile> files = session_records("a", "CPU: one\nBuild: clang", c.a);
        for (RecordFile& file : session_records("b", "CPU: one\nBuild: gcc", c.b)) {
            files.push_back(std::move(file));
        }
        std::string out;
        std::string refusal;
        ASSERT_TRUE(compare_files(files, "", Format::Text, out, refusal)) << refusal;
        EXPECT_NE(out.find(c.verdict), std::string::npos) << out;
        EXPECT_NE(out.find("A: a0 and " + std::to_string(c.a.size() - 1) +
                           " more: " + std::to_string(c.a.size()) + " records of 0 digits [Gauss]"),
                  std::string::npos)
            << out;
        out.clear();
        ASSERT_TRUE(compare_files(files, "", Format::Json, out, refusal)) << refusal;
        const nlohmann::json json = nlohmann::json::parse(out);
        EXPECT_EQ(json["comparison"]["runs"]["evidence"], "records");
        EXPECT_EQ(json["comparison"]["runs"]["holds"].get<bool>(), c.holds) << out;
        EXPECT_EQ(json["groups"][0]["rows"].size(), 2U);
        EXPECT_EQ(json["records"][0]["setup"],
                  "a0 and " + std::to_string(c.a.size() - 1) + " more");
        out.clear();
        ASSERT_TRUE(compare_files(files, "", Format::Markdown, out, refusal)) << refusal;
        EXPECT_NE(out.find(" (median of " + std::to_string(c.a.size()) + " records) |"),
                  std::string::npos)
            << out;
    }
}

// Header text from a stranger's record stays text where the table lands: no
// link, image, HTML, new cell or spreadsheet formula.
TEST(Compare, HeaderTextStaysInItsCell) {
    const char* const hostile[] = {
        "AMD <img src=x onerror=alert(1)> [win a prize](http://evil.example)", "a \\| b | c",
        "www.evil.example *bold* `code` &amp; ~~gone~~ ![x](y) mail@evil.example",
        "=HYPERLINK(\"http://evil.example\"),\"x\"\r\n,y"};
    for (const char* cpu : hostile) {
        const std::vector<RecordFile> files = two_records(std::string("CPU: ") + cpu, "1.800000");
        ASSERT_TRUE(files[1].genuine) << files[1].refusal;
        std::string markdown;
        std::string csv;
        std::string refusal;
        ASSERT_TRUE(compare_files(files, "", Format::Markdown, markdown, refusal)) << refusal;
        ASSERT_TRUE(compare_files(files, "", Format::Csv, csv, refusal)) << refusal;
        const std::string row = markdown.substr(markdown.find("\n| 1.81"));
        // Unescaped pipes end cells: 11 of them, and the CPU is the fifth cell.
        std::vector<std::size_t> pipes;
        for (std::size_t i = 1; i < row.size() && row[i] != '\n'; ++i) {
            if (row[i] == '|' && row[i - 1] != '\\') {
                pipes.push_back(i);
            }
        }
        ASSERT_EQ(pipes.size(), 11U) << row;
        const std::string cell = row.substr(pipes[4] + 1, pipes[5] - pipes[4] - 1);
        for (std::size_t i = 0; i < cell.size(); ++i) {
            if (std::strchr("<>[]`*~&!@:", cell[i]) != nullptr) {
                EXPECT_EQ(cell[i - 1], '\\') << "unescaped " << cell[i] << " in " << cell;
            }
        }
        EXPECT_EQ(cell.find("www."), std::string::npos) << cell;
        // The CSV row keeps its fields: quoted where it must be, and a
        // formula is text.
        EXPECT_EQ(csv.find(",=HYPERLINK"), std::string::npos) << csv;
        EXPECT_EQ(csv.find(",\"=HYPERLINK"), std::string::npos) << csv;
    }
}

// A header's or a label's control characters never reach a terminal that
// shows the output, whatever its format.
TEST(Compare, ControlCharactersNeverReachTheTerminal) {
    std::vector<RecordFile> files = two_records("CPU: A\x1b[2JB\x7f", "1.800000");
    ASSERT_TRUE(files[1].genuine) << files[1].refusal;
    EXPECT_EQ(header_value(files[1], "CPU"), "A [2JB ");
    files.push_back(times_record("evil\x1b]0;x\x07:0:Gauss:1.5,1.6,1.7"));
    ASSERT_TRUE(files[2].genuine) << files[2].refusal;
    for (const Format format : {Format::Text, Format::Markdown, Format::Csv}) {
        for (const std::size_t count : {std::size_t{2}, std::size_t{3}}) {
            std::string out;
            std::string refusal;
            const std::vector<RecordFile> some(files.end() - static_cast<std::ptrdiff_t>(count),
                                               files.end());
            ASSERT_TRUE(compare_files(some, "", format, out, refusal)) << refusal;
            EXPECT_EQ(out.find_first_of("\x1b\x07\x7f"), std::string::npos)
                << static_cast<int>(format) << ": " << out;
        }
    }
}

// Runs that slowed from first to last are named; a record's own "Drift:"
// line must say what its runs say.
TEST(Compare, DriftIsCheckedAndNamed) {
    const std::vector<const char*> slowing = {"1.000000", "1.010000", "1.020000", "1.030000",
                                              "1.040000", "1.050000", "1.060000"};
    const std::vector<const char*> quiet = {"1.030000", "1.010000", "1.040000", "1.000000",
                                            "1.050000", "1.020000", "1.030000"};
    const std::string summary = "Runs: 7 of 0 digits [Gauss], one after another\n"
                                "Run times: 1.000000 1.010000 1.020000 1.030000 1.040000 "
                                "1.050000 1.060000 seconds\n"
                                "Median: 1.030000 seconds (minimum 1.000000, maximum 1.060000)\n";
    const std::string drift_line =
        summary +
        "Drift: runs slowed 5.8 % from first to last (p < 0.001): the machine was warming up "
        "or throttling, or other work changed\n";
    struct Case {
        const char* what;
        std::string text;
        bool genuine;
        const char* named; // in what else differs, or in the refusal
    };
    const Case cases[] = {
        {"no Drift line", record_of(slowing, "CPU: one"), true, "A's runs slowed 5.8 %"},
        {"its own Drift line", record_of(slowing, drift_line + "CPU: one"), true,
         "A's runs slowed 5.8 %"},
        {"a Drift line that hides it",
         record_of(slowing, summary +
                                "Drift: none (runs 0.1 % slower from first to last, p = 0.42)\n"
                                "CPU: one"),
         false, "its \"Drift:\" line does not match its runs, which give \"runs slowed 5.8 %"},
        {"quiet runs", record_of(quiet, "CPU: one"), true, nullptr},
    };
    for (const Case& c : cases) {
        const std::vector<RecordFile> files = {
            read_record_text("a.txt", c.text),
            read_record_text("b.txt", record_of(quiet, "CPU: one"))};
        ASSERT_EQ(files[0].genuine, c.genuine) << c.what << ": " << files[0].refusal;
        if (!c.genuine) {
            EXPECT_EQ(files[0].refusal.rfind(c.named, 0), 0U) << c.what << ": " << files[0].refusal;
            continue;
        }
        std::string out;
        std::string refusal;
        ASSERT_TRUE(compare_files(files, "", Format::Text, out, refusal)) << refusal;
        EXPECT_EQ(out.find("drift") == std::string::npos && out.find("slowed") == std::string::npos,
                  c.named == nullptr)
            << c.what << "\n"
            << out;
        if (c.named != nullptr) {
            EXPECT_NE(out.find(std::string("Differs: ") + c.named), std::string::npos)
                << c.what << "\n"
                << out;
        }
    }
}

// A record of picalc-record --versus: A's and B's runs alternated in ORDER.
std::string alternated_record(const std::vector<double>& a, const std::vector<double>& b,
                              const std::string& order) {
    const std::string run = test::read_data_file("run_0.txt");
    const auto runs = [&run](const std::vector<double>& times) {
        std::vector<record_format::RunResult> results;
        for (const double t : times) {
            std::string output = run;
            const std::string seconds = record_format::seconds_text(t);
            output.replace(output.find("<seconds>"), 9, seconds);
            results.push_back({0, true, "valid", seconds, "0 digits [Gauss]", output});
        }
        return results;
    };
    record_format::Record record;
    record.run_name = "0 digits [Gauss]";
    record.arguments = {"0"};
    record.build.version = "1.0.0";
    record.build.compiler = "GCC 12.2.0";
    record.has_versus = true;
    record.versus.program = "picalc-clang";
    record.versus.build = record.build;
    record.versus.build.compiler = "Clang 14.0.6";
    record.single = runs(a);
    record.versus.single = runs(b);
    record.versus.order = order;
    record.summary = record_format::summarize(record.single, {});
    record.versus.summary = record_format::summarize(record.versus.single, {});
    return record_format::record_text(record);
}

// Runs alternated in one record are compared pair by pair: a 3 % difference
// under a fifth of drift is found, which records made apart could not show.
TEST(Compare, AlternatedRecordGetsAPairedVerdict) {
    std::vector<double> a;
    std::vector<double> b;
    for (int i = 0; i < 9; ++i) {
        a.push_back(1.5 * (1 + 0.025 * i) * 1.03);
        b.push_back(1.5 * (1 + 0.025 * i) * (1 + 0.0004 * (i % 3)));
    }
    const std::string order = "AB BA BA AB AB BA AB BA BA";
    const std::string text = alternated_record(a, b, order);
    const RecordFile file = read_record_text("vs.txt", text);
    ASSERT_TRUE(file.genuine) << file.refusal;
    EXPECT_TRUE(file.versus);
    ASSERT_EQ(file.times.size(), 9U);
    EXPECT_NEAR(file.times[1], a[1], 1e-6); // the second pair ran B first
    EXPECT_NEAR(file.versus_times[1], b[1], 1e-6);
    std::string out;
    std::string refusal;
    ASSERT_TRUE(compare_files({file}, "", Format::Text, out, refusal)) << refusal;
    for (const char* expected :
         {"A: vs.txt (its own picalc): 9 runs", "B: vs.txt (the versus program): 9 runs",
          "\nPaired: A and B ran in alternation", "\nSingle runs: B is ",
          "p = 0.004, 9 pairs of runs)\n", "Differs: the build: A picalc 1.0.0, GCC 12.2.0"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin\n" << out;
    }
    out.clear();
    ASSERT_TRUE(compare_files({file}, "", Format::Json, out, refusal)) << refusal;
    const nlohmann::json json = nlohmann::json::parse(out);
    EXPECT_TRUE(json["comparison"]["runs"]["paired"].get<bool>());
    EXPECT_TRUE(json["comparison"]["runs"]["holds"].get<bool>());
    // Paired records are compared alone, never beside another file.
    EXPECT_FALSE(compare_files({file, file}, "", Format::Text, out, refusal));
    EXPECT_NE(refusal.find("two programs run in alternation"), std::string::npos) << refusal;

    const std::string b_times = "Versus run times: " + record_format::seconds_text(b[0]);
    struct Case {
        std::string text;
        const char* refusal;
    };
    const Case cases[] = {
        {edited(text, "Order: " + order, "Order: AB BA"), "does not give one pair (AB or BA)"},
        {edited(text, "Order: AB", "Order: AA"), "does not give one pair"},
        {edited(text, "Order: AB", "Order: ab"), "does not give one pair"},
        {edited(text, b_times, "Versus run times: 9.000000"), "its \"Versus run times:\" line"},
        {edited(text, "Order: " + order + "\n", ""), "does not give one pair"},
        {edited(text, "Versus median:", "Versus middle:"), "without its \"Versus median:\" line"},
    };
    for (const Case& c : cases) {
        const RecordFile refused = read_record_text("vs.txt", c.text);
        EXPECT_FALSE(refused.genuine) << c.refusal;
        EXPECT_NE(refused.refusal.find(c.refusal), std::string::npos) << refused.refusal;
    }
}

TEST(Compare, DifferentWorkloadsAreRefusedOrGrouped) {
    std::vector<RecordFile> files = two_records("CPU: one\nBuild: gcc", "1.800000");
    files[1] = read_record_text("c.txt", record_of({"1.800000"}, "", "run_763_stomer.txt"));
    std::string out;
    std::string refusal;
    ASSERT_TRUE(files[1].genuine) << files[1].refusal;
    EXPECT_FALSE(compare_files(files, "", Format::Text, out, refusal));
    EXPECT_NE(refusal.find("different workloads"), std::string::npos) << refusal;
    files.push_back(files[0]);
    files.back().path = "d.txt";
    out.clear();
    EXPECT_TRUE(compare_files(files, "d.txt", Format::Markdown, out, refusal));
    EXPECT_NE(out.find("**0 digits [Gauss]**, against a (the baseline given)"), std::string::npos)
        << out;
    EXPECT_NE(out.find("**763 digits [Stomer]**, against c (the fastest)"), std::string::npos)
        << out;
}

} // namespace
} // namespace picalc::compare
