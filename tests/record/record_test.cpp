#include "record.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

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
    // What goes on a line of the record holds no control character.
    EXPECT_EQ(parse_os_release("PRETTY_NAME=\"Evil\x1b[2J\rOS\"\n"), "Evil [2J OS");
    MachineInfo escaped;
    parse_cpuinfo("model name\t: A\x1b]0;B\x07"
                  "C\n",
                  escaped);
    EXPECT_EQ(escaped.processor, "A ]0;B C");
}

// /proc/stat's first line: the processor's busy and total time, or unknown.
TEST(ProcStat, GivesBusyAndTotalTimeOrNothing) {
    const struct {
        const char* text;
        double busy, total; // seconds at 100 ticks a second; -1 unknown
    } cases[] = {
        {"cpu  100 20 30 400 50 6 4 10 0 0\ncpu0 1 2 3 4 5 6 7 8\n", 1.6, 6.2},
        {"cpu  100 20 30 400 50 6 4\ncpu0 1\n", 1.6, 6.1}, // before steal time was counted
        {"cpu0 100 20 30 400 50 6 4 10\n", -1, -1},
        {"cpu  100 -20 30 400 50 6 4 10\n", -1, -1},
        {"cpu  18446744073709551615 1 0 0 0 0 0 0\n", -1, -1}, // a sum that wraps
        {"", -1, -1},
    };
    for (const auto& c : cases) {
        const stats::ProcessorTimes times = parse_proc_stat(c.text, 100);
        EXPECT_DOUBLE_EQ(times.busy_seconds, c.busy) << c.text;
        EXPECT_DOUBLE_EQ(times.total_seconds, c.total) << c.text;
    }
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

TEST(CoreClasses, ProcessorListsReadAsTheKernelWritesThem) {
    const struct {
        const char* text;
        std::vector<std::int32_t> processors;
    } cases[] = {
        {"0-3,8,10-11\n", {0, 1, 2, 3, 8, 10, 11}},
        {"5", {5}},
        {"", {}},
        {"3-1", {}},     // backwards
        {"4,2", {}},     // not ascending
        {"0-3,2-5", {}}, // overlapping
        {"0-65536", {}}, // past any kernel's processors
        {"1,,2", {}},
        {"0-x", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(processor_list(c.text), c.processors) << c.text;
        if (!c.processors.empty()) {
            EXPECT_EQ(processor_list(processor_list_text(c.processors)), c.processors) << c.text;
        }
    }
    EXPECT_EQ(processor_list_text({0, 1, 2, 3, 8, 10, 11}), "0-3,8,10-11");
    EXPECT_EQ(processor_list("0-65535").size(), 65536U);
}

TEST(CoreClasses, SingleRunsGoToTheFastestClassThisProcessMayUse) {
    const struct {
        const char* root;
        std::vector<std::int32_t> usable;
        std::int32_t classes;
        const char* text;
    } cases[] = {
        {"sysroot-epyc-kvm", {}, 1, "single runs on processor 1"},
        {"sysroot-epyc-kvm", {0}, 1, "single runs on processor 0"},
        {"sysroot-arm-server", {0, 1, 2}, 1, "single runs on processor 2"}, // capacities alike
        {"sysroot-arm-phone",
         {},
         3,
         "single runs on processor 7, of the fastest class (capacity 1024)"},
        {"sysroot-arm-phone",
         {0, 1, 2, 3, 4, 6},
         3,
         "single runs on processor 6, of the fastest class this process may use (capacity 828)"},
        {"sysroot-arm-phone",
         {1, 2},
         3,
         "single runs on processor 2, of the fastest class this process may use (capacity 325)"},
        {"sysroot-intel-hybrid",
         {},
         2,
         "single runs on processor 11, of the fastest class (performance cores, the cpu_core "
         "PMU's)"},
        {"sysroot-intel-hybrid",
         {3, 10, 12},
         2,
         "single runs on processor 10, of the fastest class (performance cores, the cpu_core "
         "PMU's)"},
        {"sysroot-intel-hybrid",
         {12, 13},
         2,
         "single runs on processor 13, of the fastest class this process may use (efficient "
         "cores, the cpu_atom PMU's)"},
        {"sysroot-intel-hybrid", {40}, 2, "single runs wherever the system put them"},
        // Nothing known of classes: still one processor of those allowed.
        {"no-such-root", {4, 5}, -1, "single runs on processor 5"},
        {"no-such-root", {}, -1, ""},
    };
    for (const auto& c : cases) {
        const CoreClasses classes = linux_core_classes(test::data_path(c.root), c.usable);
        EXPECT_EQ(classes.classes, c.classes) << c.root;
        EXPECT_EQ(single_run_cores_text(classes), c.text) << c.root;
        if (classes.processor >= 0) {
            EXPECT_EQ(classes.processor, classes.fastest.back()) << c.root;
        }
    }
}

TEST(CoreClasses, TheRecordNamesThemAndItsJsonKeepsThem) {
    Record record;
    record.machine.logical_processors = 20;
    record.machine.core_classes = 2;
    record.machine.single_run_cores =
        single_run_cores_text(linux_core_classes(test::data_path("sysroot-intel-hybrid"), {}));
    record.single.resize(1);
    record.single[0].seconds = "1.000000";
    record.summary = summarize(record.single, {});
    const std::string text = record_text(record);
    EXPECT_NE(text.find("hypervisor unknown; 2 core classes, single runs on processor 11, of the "
                        "fastest class (performance cores, the cpu_core PMU's)\n"),
              std::string::npos)
        << text;
    Record read;
    std::string error;
    ASSERT_TRUE(record_format::record_from_json(record_json(record), read, error)) << error;
    EXPECT_EQ(read.machine.core_classes, 2);
    EXPECT_EQ(read.machine.single_run_cores, record.machine.single_run_cores);
    // A JSON record made before classes were told still reads, as unknown.
    nlohmann::json older = nlohmann::json::parse(record_json(record));
    older["machine"].erase("core_classes");
    older["machine"].erase("single_run_cores");
    ASSERT_TRUE(record_format::record_from_json(older.dump(), read, error)) << error;
    EXPECT_EQ(read.machine.core_classes, -1);
    EXPECT_EQ(read.machine.single_run_cores, "");
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
        {{"--runs", "\x1b[2J"},
         3,
         all_processors,
         {},
         "--runs takes a whole number from 1 to 100, not \"?[2J\""},
        {{"--\x1b[2J"}, 3, all_processors, {}, "unknown option \"--?[2J\""},
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

Record named_record(const std::string& processor) {
    Record record;
    record.date = "2026-12-09";
    record.machine.processor = processor;
    record.build = {"1.0.0", "GCC 12.2.0", "-O2", "static", "linux-x86_64", "glibc 2.36"};
    return record;
}

TEST(Record, DefaultNameTellsDateProcessorAndCompiler) {
    Record record = named_record("Intel(R) Core(TM) i5-7200U CPU @ 2.50GHz");
    EXPECT_EQ(default_record_name(record), "2026-12-09-intel-core-i5-7200u-gcc-12.txt");
    record.machine.processor = "AMD EPYC";
    record.machine.microarchitecture = "Zen 4";
    EXPECT_EQ(default_record_name(record), "2026-12-09-amd-epyc-zen-4-gcc-12.txt");
    record.machine.microarchitecture = "";
    record.machine.processor = "";
    record.build = {};
    EXPECT_EQ(default_record_name(record), "2026-12-09-unknown.txt");
}
} // namespace
} // namespace picalc::record
