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
using check::json_string;

TEST(Cpuinfo, NamesTheProcessorOfEachArchitecturesKernel) {
    const struct {
        const char* sample;
        const char* processor;
        std::int32_t physical_cores;
        std::int32_t hypervisor;
    } cases[] = {
        {"x86_64-epyc-kvm.txt", "AMD EPYC", 2, 1},
        {"x86_64-epyc-zen5-kvm.txt", "AMD EPYC", 2, 1},
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
    // A RISC-V kernel that does not name the core gives its IDs.
    MachineInfo unnamed_core;
    parse_cpuinfo("processor\t: 0\nisa\t\t: rv64imac\nmvendorid\t: 0x5b7\nmarchid\t\t: 0x0\n",
                  unnamed_core);
    EXPECT_EQ(unnamed_core.processor, "RISC-V rv64imac, mvendorid 0x5b7 marchid 0x0");
    MachineInfo nothing;
    parse_cpuinfo("", nothing);
    EXPECT_EQ(nothing.processor, "");
    EXPECT_EQ(parse_os_release("ID=debian\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(parse_os_release("NAME=x\n"), "");
}

TEST(Cpuinfo, GivesTheX86SignatureAndItsMicroarchitecture) {
    const struct {
        const char* sample;
        const char* text;
    } cases[] = {
        {"x86_64-epyc-kvm.txt", "AMD EPYC (Zen 4; family 25, model 17, stepping 1)"},
        {"x86_64-epyc-zen5-kvm.txt", "AMD EPYC (Zen 5; family 26, model 2, stepping 1)"},
        {"x86_64-core-i5-laptop.txt",
         "Intel(R) Core(TM) i5-7200U CPU @ 2.50GHz (Kaby Lake; family 6, model 142, stepping 9)"},
        {"aarch64-raspberry-pi-4.txt", "Arm Cortex-A72, Raspberry Pi 4 Model B Rev 1.4"},
        {"ppc64le-power9.txt", "POWER9, altivec supported, PowerNV 9006-22P"},
    };
    for (const auto& c : cases) {
        MachineInfo machine;
        parse_cpuinfo(test::read_data_file(std::string("cpuinfo/") + c.sample), machine);
        EXPECT_EQ(processor_text(machine), c.text) << c.sample;
    }
}

TEST(Microarchitecture, IsNamedAtTheEdgesOfEachModelRange) {
    const struct {
        const char* vendor;
        std::int32_t family;
        std::int32_t model;
        std::int32_t stepping;
        const char* name;
    } cases[] = {
        {"AuthenticAMD", 23, 0x01, 1, "Zen"},
        {"AuthenticAMD", 23, 0x08, 2, "Zen+"},
        {"AuthenticAMD", 23, 0x2f, 0, "Zen"},
        {"AuthenticAMD", 23, 0x30, 0, "Zen 2"},
        {"AuthenticAMD", 23, 0xaf, 0, "Zen 2"},
        {"AuthenticAMD", 23, 0xb0, 0, ""},
        {"AuthenticAMD", 25, 0, 0, "Zen 3"},
        {"AuthenticAMD", 25, 1, 1, "Zen 3"},
        {"AuthenticAMD", 25, 15, 0, "Zen 3"},
        {"AuthenticAMD", 25, 16, 0, "Zen 4"},
        {"AuthenticAMD", 25, 31, 0, "Zen 4"},
        {"AuthenticAMD", 25, 32, 0, "Zen 3"},
        {"AuthenticAMD", 25, 80, 0, "Zen 3"},
        {"AuthenticAMD", 25, 81, 0, ""},
        {"AuthenticAMD", 25, 96, 0, "Zen 4"},
        {"AuthenticAMD", 25, 120, 0, "Zen 4"},
        {"AuthenticAMD", 25, 121, 0, ""},
        {"AuthenticAMD", 25, 160, 0, "Zen 4"},
        {"AuthenticAMD", 25, 175, 0, "Zen 4"},
        {"AuthenticAMD", 25, 176, 0, ""},
        {"AuthenticAMD", 26, 0, 0, "Zen 5"},
        {"AuthenticAMD", 21, 2, 0, ""},
        {"GenuineIntel", 6, 85, 4, "Skylake-SP"},
        {"GenuineIntel", 6, 85, 5, "Cascade Lake"},
        {"GenuineIntel", 6, 85, 11, "Cooper Lake"},
        {"GenuineIntel", 6, 142, 9, "Kaby Lake"},
        {"GenuineIntel", 6, 142, 12, "Comet Lake"},
        {"GenuineIntel", 6, 158, 9, "Kaby Lake"},
        {"GenuineIntel", 6, 158, 10, "Coffee Lake"},
        {"GenuineIntel", 6, 151, 2, "Alder Lake"},
        {"GenuineIntel", 6, 183, 1, "Raptor Lake"},
        {"GenuineIntel", 6, 143, 8, "Sapphire Rapids"},
        {"GenuineIntel", 6, 61, 4, ""},
        {"GenuineIntel", 25, 1, 0, ""},
        {"HygonGenuine", 24, 1, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(x86_microarchitecture(c.vendor, c.family, c.model, c.stepping), c.name)
            << c.vendor << " family " << c.family << " model " << c.model;
    }
    MachineInfo unnamed;
    unnamed.processor = "AMD Athlon";
    unnamed.family = 21;
    unnamed.model = 2;
    EXPECT_EQ(processor_text(unnamed), "AMD Athlon (family 21, model 2)");
}

TEST(LinuxMachine, ReadsFrequencyCachesMemorySmtAndPolicyBelowARoot) {
    MachineInfo laptop;
    read_linux_machine(test::data_path("sysroot-intel-laptop"), laptop);
    EXPECT_EQ(laptop.microarchitecture, "Kaby Lake");
    EXPECT_EQ(laptop.max_mhz, 3100);
    EXPECT_EQ(laptop.base_mhz, 2500);
    EXPECT_EQ(laptop.reported_mhz, 2700);
    EXPECT_EQ(laptop.memory_mib, 7785);
    EXPECT_EQ(laptop.smt, 1);
    EXPECT_EQ(laptop.boost, 1);
    EXPECT_EQ(laptop.governor, "powersave");
    EXPECT_EQ(laptop.scaling_driver, "intel_pstate");
    EXPECT_EQ(laptop.energy_preference, "balance_performance");
    ASSERT_EQ(laptop.caches.size(), 4U);
    EXPECT_EQ(laptop.caches[1].type, "Instruction");
    EXPECT_EQ(laptop.caches[2].size_kib, 256);
    EXPECT_EQ(laptop.caches[3].level, 3);
    EXPECT_EQ(laptop.caches[3].size_kib, 3072);
    EXPECT_EQ(laptop.caches[3].shared_by, 4);
    EXPECT_EQ(governor_warning(laptop), ""); // intel_pstate's powersave still boosts

    // A virtual machine whose kernel has no cpufreq and no cache sysfs.
    MachineInfo vm;
    read_linux_machine(test::data_path("sysroot-epyc-kvm"), vm);
    EXPECT_EQ(vm.microarchitecture, "Zen 5");
    EXPECT_EQ(vm.max_mhz, -1);
    EXPECT_EQ(vm.governor, "");
    EXPECT_EQ(vm.boost, -1);
    EXPECT_TRUE(vm.caches.empty());
    EXPECT_EQ(vm.smt, 0);
    EXPECT_EQ(vm.memory_mib, 24105);

    MachineInfo missing;
    read_linux_machine(test::data_path("no-such-root"), missing);
    EXPECT_EQ(missing.processor, "");
    EXPECT_EQ(missing.memory_mib, -1);
    EXPECT_EQ(missing.smt, -1);
}

TEST(LinuxMachine, WarnsOfGovernorsThatSlowOrVaryARun) {
    const struct {
        const char* governor;
        const char* driver;
        bool warns;
    } cases[] = {
        {"performance", "acpi-cpufreq", false},
        {"schedutil", "acpi-cpufreq", false},
        {"powersave", "intel_pstate", false},
        {"powersave", "amd-pstate-epp", false},
        {"powersave", "acpi-cpufreq", true},
        {"powersave", "intel_cpufreq", true},
        {"ondemand", "acpi-cpufreq", true},
        {"conservative", "", true},
        {"userspace", "acpi-cpufreq", true},
        {"Power saver", "", true},
        {"Balanced", "", false},
        {"", "", false},
    };
    for (const auto& c : cases) {
        MachineInfo machine;
        machine.governor = c.governor;
        machine.scaling_driver = c.driver;
        EXPECT_EQ(!governor_warning(machine).empty(), c.warns) << c.governor << " " << c.driver;
    }
}

TEST(RecordOptions, PassTheArgumentsAfterTheOptionsToPicalc) {
    const struct {
        std::vector<const char*> arguments;
        std::int32_t runs;
        std::int32_t copies;
        std::vector<std::string> picalc_arguments;
        const char* error;
    } cases[] = {
        {{}, 9, all_processors, {}, ""},
        {{"--runs", "5", "--copies", "2", "130", "s"}, 5, 2, {"130", "s"}, ""},
        {{"--runs=1", "--copies=all", "--", "-7"}, 1, all_processors, {"-7"}, ""},
        {{"130", "--runs", "2"}, 9, all_processors, {"130", "--runs", "2"}, ""},
        {{"--copies", "0", "--runs", "100"}, 100, 0, {}, ""},
        {{"--overwrite", "--runs", "2", "130"}, 2, all_processors, {"130"}, ""},
        {{"--overwrite=yes"}, 3, all_processors, {}, "unknown option \"--overwrite\""},
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
#if PICALC_HAVE_NLOHMANN_JSON
    EXPECT_EQ(nlohmann::json::parse(record_json(record)),
              nlohmann::json::parse(test::read_data_file("golden/record.json")));
#else
    GTEST_SKIP()
        << "NOT RUN: the JSON half needs nlohmann/json (Debian package nlohmann-json3-dev)";
#endif
}

TEST(Record, DefaultNameTellsDateProcessorAndCompiler) {
    Record record = sample_record("Intel(R) Core(TM) i5-7200U CPU @ 2.50GHz");
    EXPECT_EQ(default_record_name(record), "2026-12-09-intel-core-i5-7200u-gcc-12.txt");
    record.machine.processor = "AMD EPYC";
    record.machine.microarchitecture = "Zen 4";
    EXPECT_EQ(default_record_name(record), "2026-12-09-amd-epyc-zen-4-gcc-12.txt");
    record.machine.microarchitecture = "";
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
#else
    GTEST_SKIP() << "NOT RUN: nlohmann/json is not installed (Debian package nlohmann-json3-dev)";
#endif
}

} // namespace
} // namespace picalc::record
