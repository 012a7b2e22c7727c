#include "log_check.h"
#include "record.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#if PICALC_HAVE_NLOHMANN_JSON
#include <nlohmann/json.hpp>
#endif

namespace picalc::record {
namespace {

TEST(Cpuinfo, NamesTheProcessorOfEachArchitecturesKernel) {
    const struct {
        const char* sample;
        const char* processor;
        std::int32_t physical_cores;
        std::int32_t hypervisor;
    } cases[] = {
        {"x86_64-epyc-kvm.txt", "AMD EPYC", 2, 1},
        {"x86_64-core-i5-laptop.txt", "Intel(R) Core(TM) i5-7200U CPU @ 2.50GHz", 2, 0},
        {"aarch64-raspberry-pi-4.txt", "Arm Cortex-A72, Raspberry Pi 4 Model B Rev 1.4", -1, -1},
        {"armv7l-raspberry-pi-3.txt", "Arm Cortex-A53, Raspberry Pi 3 Model B Rev 1.2", -1, -1},
        {"aarch64-unknown-core.txt", "Arm CPU implementer 0x4e part 0x004", -1, -1},
        {"riscv64-visionfive-2.txt",
         "sifive,u74-mc (rv64imafdc_zicntr_zicsr_zifencei_zihpm_zba_zbb)", -1, -1},
        {"ppc64le-power9.txt", "POWER9, altivec supported, PowerNV 9006-22P", -1, -1},
        {"s390x-z15.txt", "IBM Z, machine type 8561", 2, -1},
    };
    for (const auto& c : cases) {
        MachineInfo machine;
        parse_cpuinfo(test::read_data_file(std::string("cpuinfo/") + c.sample), machine);
        EXPECT_EQ(machine.processor, c.processor) << c.sample;
        EXPECT_EQ(machine.physical_cores, c.physical_cores) << c.sample;
        EXPECT_EQ(machine.hypervisor, c.hypervisor) << c.sample;
    }
    MachineInfo nothing;
    parse_cpuinfo("", nothing);
    EXPECT_EQ(nothing.processor, "");
    EXPECT_EQ(parse_os_release("ID=debian\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(parse_os_release("NAME=x\n"), "");
}

TEST(RecordOptions, PassTheArgumentsAfterTheOptionsToPicalc) {
    const struct {
        std::vector<const char*> arguments;
        std::int32_t runs;
        std::int32_t copies;
        std::vector<std::string> picalc_arguments;
        const char* error;
    } cases[] = {
        {{}, 3, all_processors, {}, ""},
        {{"--runs", "5", "--copies", "2", "130", "s"}, 5, 2, {"130", "s"}, ""},
        {{"--runs=1", "--copies=all", "--", "-7"}, 1, all_processors, {"-7"}, ""},
        {{"130", "--runs", "2"}, 3, all_processors, {"130", "--runs", "2"}, ""},
        {{"--copies", "0", "--runs", "100"}, 100, 0, {}, ""},
        {{"-7"}, 3, all_processors, {}, "unknown option \"-7\""},
        {{"--runs", "0"}, 3, all_processors, {}, "--runs takes a whole number from 1 to 100"},
        {{"--runs", "101"}, 3, all_processors, {}, "--runs takes"},
        {{"--runs", "2x"}, 3, all_processors, {}, "--runs takes"},
        {{"--copies", "some"}, 3, all_processors, {}, "--copies takes"},
        {{"--json"}, 3, all_processors, {}, "--json needs a value"},
        {{"--record="}, 3, all_processors, {}, "--record needs a value"},
        {{"--fast", "1"}, 3, all_processors, {}, "unknown option \"--fast\""},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv = {"picalc-record"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const RecordOptions options =
            parse_record_options(static_cast<int>(argv.size()), argv.data());
        const std::string shown = c.arguments.empty() ? "(none)" : c.arguments[0];
        EXPECT_EQ(options.error.rfind(c.error, 0), 0U) << shown << ": " << options.error;
        EXPECT_EQ(options.error.empty(), *c.error == '\0') << shown;
        if (options.error.empty()) {
            EXPECT_EQ(options.runs, c.runs) << shown;
            EXPECT_EQ(options.copies, c.copies) << shown;
            EXPECT_EQ(options.picalc_arguments, c.picalc_arguments) << shown;
        }
    }
}

TEST(BuildInfo, IsReadFromTheLineABinaryEmbeds) {
    const std::string line = "picalc build: version=1.0.0; compiler=GCC 12.2.0; flags=-O2 "
                             "-ffp-contract=off; linking=static; target=linux-aarch64; "
                             "libc=glibc 2.36";
    const std::string bare_prefix = std::string("picalc build: ") + '\0';
    BuildInfo build;
    ASSERT_TRUE(parse_build_info(std::string("\x7f"
                                             "ELF\0\0",
                                             6) +
                                     bare_prefix + "junk" + std::string(1, '\0') + line +
                                     std::string(1, '\0') + "tail",
                                 build));
    EXPECT_EQ(build.version, "1.0.0");
    EXPECT_EQ(build.compiler, "GCC 12.2.0");
    EXPECT_EQ(build.flags, "-O2 -ffp-contract=off");
    EXPECT_EQ(build.linking, "static");
    EXPECT_EQ(build.target, "linux-aarch64");
    EXPECT_EQ(build.libc, "glibc 2.36");
    BuildInfo none;
    EXPECT_FALSE(parse_build_info("#!/bin/sh\nexec picalc \"$@\"\n" + bare_prefix, none));
    EXPECT_EQ(none.version, "");
}

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

TEST(Record, DefaultNameTellsDateProcessorAndCompiler) {
    Record record = sample_record("Intel(R) Core(TM) i5-7200U CPU @ 2.50GHz");
    EXPECT_EQ(default_record_name(record), "2026-12-09-intel-core-i5-7200u-gcc-12.txt");
    record.machine.processor = "";
    record.build = {};
    EXPECT_EQ(default_record_name(record), "2026-12-09-unknown.txt");
}

TEST(Json, StringsEscapeQuotesControlsAndBytesThatAreNotUtf8) {
    const struct {
        std::string text;
        const char* json;
    } cases[] = {
        {"plain", "\"plain\""},
        {"a \"b\" \\c", R"("a \"b\" \\c")"},
        {"tab\there\nnext\x01\x7f", R"("tab\u0009here\nnext\u0001\u007f")"},
        {"St\xc3\xb8rmer \xf0\x9f\x98\x80", "\"St\xc3\xb8rmer \xf0\x9f\x98\x80\""},
        {"bad \xff byte \xc3", R"("bad \ufffd byte \ufffd")"},
        {"overlong \xc0\xaf", R"("overlong \ufffd\ufffd")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(json_string(c.text), c.json) << c.text;
    }
}

TEST(Json, ParsesWithARealParser) {
#if PICALC_HAVE_NLOHMANN_JSON
    Record record = sample_record("Odd \"CPU\" \\ \x01 \xff name");
    record.machine.hypervisor = 0;
    const nlohmann::json json = nlohmann::json::parse(record_json(record));
    EXPECT_EQ(json["schema_version"], 1);
    EXPECT_EQ(json["machine"]["processor"], "Odd \"CPU\" \\ \x01 \xef\xbf\xbd name");
    EXPECT_EQ(json["machine"]["logical_processors"], 2);
    EXPECT_TRUE(json["machine"]["physical_cores"].is_null());
    EXPECT_EQ(json["machine"]["hypervisor"], false);
    EXPECT_EQ(json["run_by"], "a \"tester\"");
    EXPECT_EQ(json["build"]["linking"], "static");
    EXPECT_EQ(json["build"]["libc"], "glibc 2.36");
    ASSERT_EQ(json["runs"].size(), 2U);
    EXPECT_DOUBLE_EQ(json["runs"][1]["seconds"].get<double>(), 1.0);
    EXPECT_EQ(json["runs"][0]["exit_status"], 0);
    ASSERT_EQ(json["copies"].size(), 1U);
    EXPECT_EQ(json["copies"][0].size(), 2U);
    EXPECT_DOUBLE_EQ(json["summary"]["median"].get<double>(), 1.5);
    EXPECT_NEAR(json["summary"]["scaling"].get<double>(), 2 * 1.5 / 2.6, 0.001);
#else
    GTEST_SKIP() << "NOT RUN: nlohmann/json is not installed (Debian package nlohmann-json3-dev)";
#endif
}

} // namespace
} // namespace picalc::record
