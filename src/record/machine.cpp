// Reading what a system says of its machine and of a picalc build, from the
// text it keeps: /proc/cpuinfo, os-release and the line every picalc binary
// embeds. What a text does not say stays unknown; nothing is guessed.
#include "record.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace picalc::record {
namespace {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// A value that goes on a line of the record: a control character in it
// (a CR, an escape sequence) becomes a space.
std::string printable(std::string text) {
    return record_format::without_control_characters(std::move(text), ' ');
}

// Arm's CPU implementer and part codes of common cores, from the Arm
// architecture reference and the cores' manuals; others are named by code.
struct ArmPart {
    std::uint32_t implementer;
    std::uint32_t part;
    const char* name;
};
constexpr ArmPart arm_parts[] = {
    {0x41, 0xd03, "Arm Cortex-A53"},
    {0x41, 0xd04, "Arm Cortex-A35"},
    {0x41, 0xd05, "Arm Cortex-A55"},
    {0x41, 0xd07, "Arm Cortex-A57"},
    {0x41, 0xd08, "Arm Cortex-A72"},
    {0x41, 0xd09, "Arm Cortex-A73"},
    {0x41, 0xd0a, "Arm Cortex-A75"},
    {0x41, 0xd0b, "Arm Cortex-A76"},
    {0x41, 0xd0c, "Arm Neoverse N1"},
    {0x41, 0xd0d, "Arm Cortex-A77"},
    {0x41, 0xd40, "Arm Neoverse V1"},
    {0x41, 0xd41, "Arm Cortex-A78"},
    {0x41, 0xd44, "Arm Cortex-X1"},
    {0x41, 0xd46, "Arm Cortex-A510"},
    {0x41, 0xd47, "Arm Cortex-A710"},
    {0x41, 0xd48, "Arm Cortex-X2"},
    {0x41, 0xd49, "Arm Neoverse N2"},
    {0x41, 0xd4b, "Arm Cortex-A78C"},
    {0x41, 0xd4d, "Arm Cortex-A715"},
    {0x41, 0xd4e, "Arm Cortex-X3"},
    {0x41, 0xd4f, "Arm Neoverse V2"},
    {0x41, 0xd80, "Arm Cortex-A520"},
    {0x41, 0xd81, "Arm Cortex-A720"},
    {0x41, 0xd82, "Arm Cortex-X4"},
    {0x41, 0xd84, "Arm Neoverse V3"},
    {0x41, 0xd8e, "Arm Neoverse N3"},
    {0x46, 0x001, "Fujitsu A64FX"},
    {0x48, 0xd01, "HiSilicon TaiShan v110"},
    {0x51, 0x805, "Qualcomm Kryo 4xx Silver"},
    {0x61, 0x022, "Apple M1 Icestorm"},
    {0x61, 0x023, "Apple M1 Firestorm"},
    {0xc0, 0xac3, "Ampere-1"},
};

std::string arm_core_name(const std::string& implementer, const std::string& part) {
    const auto code = [](const std::string& text) {
        return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 0));
    };
    for (const ArmPart& known : arm_parts) {
        if (known.implementer == code(implementer) && known.part == code(part)) {
            return known.name;
        }
    }
    return "Arm CPU implementer " + implementer + " part " + part;
}

// "machine = 8561" in an IBM Z processor line.
std::string ibm_z_machine(const std::string& value) {
    const std::size_t at = value.find("machine = ");
    if (at == std::string::npos) {
        return "";
    }
    return "IBM Z, machine type " + trimmed(value.substr(at + 10, value.find(',', at) - at - 10));
}

// The parts of the text between separators, the last one unterminated.
std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        end = end == std::string::npos ? text.size() : end;
        parts.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    return parts;
}

// A decimal count, or -1 when the text is not one.
std::int32_t whole_number(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

bool has_word(const std::string& words, const std::string& word) {
    std::size_t at = 0;
    while ((at = words.find(word, at)) != std::string::npos) {
        const std::size_t end = at + word.size();
        if ((at == 0 || words[at - 1] == ' ') && (end == words.size() || words[end] == ' ')) {
            return true;
        }
        at = end;
    }
    return false;
}

} // namespace

std::vector<std::int32_t> processor_list(const std::string& text) {
    std::vector<std::int32_t> processors;
    for (const std::string& item : split(trimmed(text), ",")) {
        const std::size_t dash = item.find('-');
        const std::int32_t first = whole_number(trimmed(item.substr(0, dash)));
        const std::int32_t last =
            dash == std::string::npos ? first : whole_number(trimmed(item.substr(dash + 1)));
        // Ascending, as the kernel writes them, and within its largest
        // processor count: a damaged file costs no more than a real one.
        const bool ascending = processors.empty() || first > processors.back();
        if (first < 0 || last < first || last >= max_processor_number || !ascending) {
            return {};
        }
        for (std::int32_t processor = first; processor <= last; ++processor) {
            processors.push_back(processor);
        }
    }
    return processors;
}

namespace {

// How many processors a sysfs list such as "0-3,8,10-11" names; -1 when it
// names none.
std::int32_t listed_processors(const std::string& list) {
    const std::vector<std::int32_t> processors = processor_list(list);
    return processors.empty() ? -1 : static_cast<std::int32_t>(processors.size());
}

// A sysfs size ("48K", "32768K", "1M") in KiB.
std::int64_t size_kib(const std::string& text) {
    const std::string size = trimmed(text);
    const std::size_t digits = size.find_first_not_of("0123456789");
    const std::string number_text = size.substr(0, digits);
    if (number_text.empty() || number_text.size() > 15) {
        return -1;
    }
    const std::int64_t number = std::strtoll(number_text.c_str(), nullptr, 10);
    const std::string unit = digits == std::string::npos ? "" : size.substr(digits);
    if (unit == "K") {
        return number;
    }
    if (unit == "M") {
        return number * 1024;
    }
    return unit.empty() ? number / 1024 : -1;
}

// A frequency in kHz, as cpufreq writes it, in MHz.
std::int32_t khz_to_mhz(const std::string& text) {
    const std::int32_t khz = whole_number(trimmed(text));
    return khz < 0 ? -1 : (khz + 500) / 1000;
}

} // namespace

std::string file_text(const std::string& path) {
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return text;
    }
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && text.size() < (1U << 22U)) {
        text.append(chunk, got);
    }
    static_cast<void>(std::fclose(file)); // only read from
    return text;
}

void read_linux_machine(const std::string& root, MachineInfo& machine) {
    parse_cpuinfo(file_text(root + "/proc/cpuinfo"), machine);
    for (const std::string& line : split(file_text(root + "/proc/meminfo"), "\n")) {
        if (line.rfind("MemTotal:", 0) == 0) {
            const std::int64_t kib = size_kib(trimmed(line.substr(9, line.find(" kB") - 9)) + "K");
            machine.memory_mib = kib < 0 ? -1 : kib / 1024;
        }
    }
    const std::string cpus = root + "/sys/devices/system/cpu";
    const std::string policy = cpus + "/cpu0/cpufreq/";
    machine.max_mhz = khz_to_mhz(file_text(policy + "cpuinfo_max_freq"));
    machine.base_mhz = khz_to_mhz(file_text(policy + "base_frequency"));
    machine.governor = trimmed(file_text(policy + "scaling_governor"));
    machine.scaling_driver = trimmed(file_text(policy + "scaling_driver"));
    machine.energy_preference = trimmed(file_text(policy + "energy_performance_preference"));
    // Boost is a global switch for acpi-cpufreq, a per-policy one for
    // amd-pstate, and intel_pstate's inverse "no_turbo".
    const std::string boost =
        trimmed(file_text(cpus + "/cpufreq/boost")) + trimmed(file_text(policy + "boost"));
    const std::string no_turbo = trimmed(file_text(cpus + "/intel_pstate/no_turbo"));
    if (!boost.empty()) {
        machine.boost = boost[0] == '1' ? 1 : 0;
    } else if (!no_turbo.empty()) {
        machine.boost = no_turbo == "0" ? 1 : 0;
    }
    const std::string smt = trimmed(file_text(cpus + "/smt/active"));
    if (smt == "0" || smt == "1") {
        machine.smt = smt == "1" ? 1 : 0;
    }
    for (std::int32_t index = 0; index < 16; ++index) {
        const std::string cache = cpus + "/cpu0/cache/index" + std::to_string(index) + "/";
        const std::string level = trimmed(file_text(cache + "level"));
        if (level.empty()) {
            break;
        }
        CacheInfo info;
        info.level = whole_number(level);
        info.type = trimmed(file_text(cache + "type"));
        info.size_kib = size_kib(file_text(cache + "size"));
        info.shared_by = listed_processors(file_text(cache + "shared_cpu_list"));
        machine.caches.push_back(info);
    }
}

std::string governor_warning(const MachineInfo& machine) {
    const std::string& governor = machine.governor;
    const std::string driver =
        machine.scaling_driver.empty() ? "" : " (" + machine.scaling_driver + ")";
    // With a driver that picks the frequency itself, powersave is the
    // ordinary setting and still reaches full speed under load.
    if (governor == "powersave" && machine.scaling_driver != "intel_pstate" &&
        machine.scaling_driver != "amd-pstate-epp") {
        return "the cpufreq governor is powersave" + driver +
               ", which holds the processor at its lowest frequency";
    }
    if (governor == "conservative" || governor == "ondemand") {
        return "the cpufreq governor is " + governor + driver +
               ", which raises the frequency only after load has lasted, so runs vary";
    }
    if (governor == "userspace") {
        return "the cpufreq governor is userspace" + driver +
               ": a program sets the frequency, which may not be the highest";
    }
    if (governor == "Power saver") {
        return "the power plan is Power saver, which limits the processor's speed";
    }
    return "";
}

void parse_cpuinfo(const std::string& text, MachineInfo& machine) {
    std::string model_name;
    std::string old_arm_processor;
    std::string hardware;
    std::string board;
    std::string riscv_uarch;
    std::string riscv_isa;
    std::string riscv_vendor;
    std::string riscv_architecture;
    std::string power_cpu;
    std::string power_machine;
    std::string ibm_z;
    std::string implementer;
    std::string part;
    std::string vendor;
    std::string family;
    std::string model;
    std::string stepping;
    std::string megahertz;
    std::string physical_id;
    std::set<std::pair<std::string, std::string>> cores;
    bool has_flags = false;
    bool hypervisor = false;
    // Keys whose first value is kept, whichever kernel wrote them.
    const std::pair<const char*, std::string*> first_values[] = {
        {"model name", &model_name},
        {"Processor", &old_arm_processor},
        {"Hardware", &hardware},
        {"Model", &board},
        {"uarch", &riscv_uarch},
        {"isa", &riscv_isa},
        {"mvendorid", &riscv_vendor},
        {"marchid", &riscv_architecture},
        {"cpu", &power_cpu},
        {"machine", &power_machine},
        {"CPU implementer", &implementer},
        {"CPU part", &part},
        {"vendor_id", &vendor},
        {"cpu family", &family},
        {"model", &model},
        {"stepping", &stepping},
        {"microcode", &machine.microcode},
        {"cpu MHz", &megahertz},
    };
    for (const std::string& line : split(text, "\n")) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const std::string key = trimmed(line.substr(0, colon));
        const std::string value = printable(trimmed(line.substr(colon + 1)));
        bool kept = false;
        for (const auto& [name, field] : first_values) {
            if (key == name) {
                if (field->empty()) {
                    *field = value;
                }
                kept = true;
            }
        }
        if (kept) {
            continue;
        }
        if (key.rfind("processor ", 0) == 0 && ibm_z.empty()) {
            ibm_z = ibm_z_machine(value);
        } else if (key == "flags") {
            has_flags = true;
            hypervisor = hypervisor || has_word(value, "hypervisor");
        } else if (key == "physical id") {
            physical_id = value;
        } else if (key == "core id") {
            cores.emplace(physical_id, value);
        }
    }
    // Arm kernels name only the architecture ("ARMv7 Processor rev 4"), if
    // anything: the core comes from its implementer and part codes, and the
    // board, where the kernel names it, after it.
    if (!implementer.empty() && !part.empty()) {
        machine.processor = arm_core_name(implementer, part) + (board.empty() ? "" : ", " + board);
    } else if (!model_name.empty()) {
        machine.processor = model_name;
    } else if (!old_arm_processor.empty()) {
        machine.processor = old_arm_processor + (hardware.empty() ? "" : ", " + hardware);
    } else if (!riscv_uarch.empty()) {
        machine.processor = riscv_uarch + (riscv_isa.empty() ? "" : " (" + riscv_isa + ")");
    } else if (!power_cpu.empty()) {
        machine.processor = power_cpu + (power_machine.empty() ? "" : ", " + power_machine);
    } else if (!ibm_z.empty()) {
        machine.processor = ibm_z;
    } else if (!riscv_isa.empty()) {
        // Without the kernel's name for the core, its vendor and
        // architecture IDs still tell two cores apart.
        machine.processor = "RISC-V " + riscv_isa;
        if (!riscv_vendor.empty()) {
            machine.processor +=
                ", mvendorid " + riscv_vendor +
                (riscv_architecture.empty() ? "" : " marchid " + riscv_architecture);
        }
    }
    // x86 kernels give the CPUID signature in decimal; other kernels use
    // "model" for text of their own.
    if (!vendor.empty()) {
        machine.vendor = vendor;
        machine.family = whole_number(family);
        machine.model = whole_number(model);
        machine.stepping = whole_number(stepping);
        machine.microarchitecture =
            x86_microarchitecture(vendor, machine.family, machine.model, machine.stepping);
    }
    if (!megahertz.empty()) {
        const double mhz = std::strtod(megahertz.c_str(), nullptr);
        if (mhz > 0 && mhz < 1e6) {
            machine.reported_mhz = static_cast<std::int32_t>(std::lround(mhz));
        }
    }
    if (!cores.empty()) {
        machine.physical_cores = static_cast<std::int32_t>(cores.size());
    }
    if (has_flags) {
        machine.hypervisor = hypervisor ? 1 : 0;
    }
}

std::string parse_os_release(const std::string& text) {
    for (const std::string& raw : split(text, "\n")) {
        std::string line = trimmed(raw);
        if (line.rfind("PRETTY_NAME=", 0) != 0) {
            continue;
        }
        line.erase(0, 12);
        if (line.size() >= 2 && (line.front() == '"' || line.front() == '\'') &&
            line.back() == line.front()) {
            line = line.substr(1, line.size() - 2);
        }
        return printable(line);
    }
    return "";
}

stats::ProcessorTimes parse_proc_stat(const std::string& text, std::int64_t ticks_per_second) {
    stats::ProcessorTimes times;
    // "cpu  user nice system idle iowait irq softirq steal ...", in clock ticks
    // summed over every processor.
    if (text.rfind("cpu ", 0) != 0 || ticks_per_second <= 0) {
        return times;
    }
    std::uint64_t ticks[8] = {};
    const char* at = text.c_str() + 4;
    for (std::uint64_t& tick : ticks) {
        char* end = nullptr;
        while (*at == ' ') {
            ++at;
        }
        if (*at == '\n' || *at == '\0') {
            break; // older kernels count fewer states
        }
        // Digits only: strtoull would take a sign and negate.
        if (*at < '0' || *at > '9') {
            return times;
        }
        tick = std::strtoull(at, &end, 10);
        at = end;
        if (tick > std::uint64_t{1} << 53) {
            return times; // no kernel counts that far, and the sums could wrap
        }
    }
    const std::uint64_t busy = ticks[0] + ticks[1] + ticks[2] + ticks[5] + ticks[6];
    const std::uint64_t total = busy + ticks[3] + ticks[4] + ticks[7];
    times.busy_seconds = static_cast<double>(busy) / static_cast<double>(ticks_per_second);
    times.total_seconds = static_cast<double>(total) / static_cast<double>(ticks_per_second);
    return times;
}

std::string processor_list_text(const std::vector<std::int32_t>& processors) {
    std::string text;
    for (std::size_t i = 0; i < processors.size();) {
        std::size_t last = i;
        while (last + 1 < processors.size() && processors[last + 1] == processors[last] + 1) {
            ++last;
        }
        text += (text.empty() ? "" : ",") + std::to_string(processors[i]);
        if (last > i) {
            text += "-" + std::to_string(processors[last]);
        }
        i = last + 1;
    }
    return text;
}

CoreClasses classes_by_rank(const std::vector<ProcessorRank>& ranks,
                            const std::vector<std::int32_t>& usable) {
    CoreClasses classes;
    std::set<std::int32_t> distinct;
    for (const ProcessorRank& processor : ranks) {
        distinct.insert(processor.rank);
    }
    if (ranks.empty()) {
        // The system names no class: every processor this process may use
        // is alike as far as anyone can tell.
        classes.fastest = usable;
    } else {
        classes.classes = static_cast<std::int32_t>(distinct.size());
        // A taskset or container may leave this process none of the fastest
        // cores: then the fastest it may use, said as such.
        const auto may_use = [&usable](std::int32_t processor) {
            return usable.empty() ||
                   std::find(usable.begin(), usable.end(), processor) != usable.end();
        };
        const ProcessorRank* best = nullptr;
        for (const ProcessorRank& processor : ranks) {
            if (may_use(processor.processor) && (best == nullptr || processor.rank > best->rank)) {
                best = &processor;
            }
        }
        for (const ProcessorRank& processor : ranks) {
            if (best != nullptr && processor.rank == best->rank && may_use(processor.processor)) {
                classes.fastest.push_back(processor.processor);
            }
        }
        classes.name = best == nullptr ? "" : best->class_name;
        classes.fastest_of_all = best == nullptr || best->rank == *distinct.rbegin();
    }
    std::sort(classes.fastest.begin(), classes.fastest.end());
    // One processor, not the class: the scheduler moved runs between two
    // alike processors of a virtual machine here, one of them 13 % slower
    // than the other, and so split a record's times in two. The last,
    // because systems tend to put interrupts and housekeeping on the first.
    if (!classes.fastest.empty()) {
        classes.processor = classes.fastest.back();
    }
    return classes;
}

CoreClasses linux_core_classes(const std::string& root, const std::vector<std::int32_t>& usable) {
    std::vector<ProcessorRank> ranks;
    // Intel's hybrid parts: the performance and the efficient cores each
    // have a PMU of their own, whatever their capacities say.
    const std::string pmus = root + "/sys/bus/event_source/devices/";
    const std::vector<std::int32_t> big = processor_list(file_text(pmus + "cpu_core/cpus"));
    const std::vector<std::int32_t> little = processor_list(file_text(pmus + "cpu_atom/cpus"));
    if (!big.empty() && !little.empty()) {
        for (const std::int32_t processor : big) {
            ranks.push_back({processor, 1, "performance cores, the cpu_core PMU's"});
        }
        for (const std::int32_t processor : little) {
            ranks.push_back({processor, 0, "efficient cores, the cpu_atom PMU's"});
        }
        return classes_by_rank(ranks, usable);
    }
    // Arm's big.LITTLE and its successors: each core's capacity, relative
    // to the fastest's 1024.
    const std::string cpus = root + "/sys/devices/system/cpu/";
    const std::vector<std::int32_t> online = processor_list(file_text(cpus + "online"));
    for (const std::int32_t processor : online) {
        const std::int32_t capacity = whole_number(
            trimmed(file_text(cpus + "cpu" + std::to_string(processor) + "/cpu_capacity")));
        if (capacity < 0) {
            ranks.clear();
            break;
        }
        ranks.push_back({processor, capacity, "capacity " + std::to_string(capacity)});
    }
    if (ranks.empty()) {
        // Neither source: a kernel that knows of no second class, as on
        // every processor whose cores are alike.
        for (const std::int32_t processor : online) {
            ranks.push_back({processor, 0, ""});
        }
    }
    return classes_by_rank(ranks, usable);
}

std::string single_run_cores_text(const CoreClasses& classes) {
    if (classes.processor < 0) {
        return classes.classes > 1 ? "single runs wherever the system put them" : "";
    }
    std::string text = "single runs on processor " + std::to_string(classes.processor);
    if (classes.classes > 1) {
        text += classes.fastest_of_all ? ", of the fastest class ("
                                       : ", of the fastest class this process may use (";
        text += classes.name + ")";
    }
    return text;
}

} // namespace picalc::record
