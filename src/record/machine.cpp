// Reading what a system says of its machine and of a picalc build, from the
// text it keeps: /proc/cpuinfo, os-release and the line every picalc binary
// embeds. What a text does not say stays unknown; nothing is guessed.
#include "record.h"

#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace picalc::record {
namespace {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return "";
    }
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
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

constexpr std::pair<const char*, std::string BuildInfo::*> build_fields[] = {
    {"version", &BuildInfo::version}, {"compiler", &BuildInfo::compiler},
    {"flags", &BuildInfo::flags},     {"linking", &BuildInfo::linking},
    {"target", &BuildInfo::target},   {"libc", &BuildInfo::libc},
};

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

void parse_cpuinfo(const std::string& text, MachineInfo& machine) {
    std::string model_name;
    std::string old_arm_processor;
    std::string hardware;
    std::string board;
    std::string riscv_uarch;
    std::string riscv_isa;
    std::string power_cpu;
    std::string power_machine;
    std::string ibm_z;
    std::string implementer;
    std::string part;
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
        {"cpu", &power_cpu},
        {"machine", &power_machine},
        {"CPU implementer", &implementer},
        {"CPU part", &part},
    };
    for (const std::string& line : split(text, "\n")) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        const std::string key = trimmed(line.substr(0, colon));
        const std::string value = trimmed(line.substr(colon + 1));
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
        machine.processor = "RISC-V " + riscv_isa;
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
        return line;
    }
    return "";
}

bool parse_build_info(const std::string& binary, BuildInfo& build) {
    const std::string prefix = build_info_prefix;
    std::size_t at = 0;
    while ((at = binary.find(prefix, at)) != std::string::npos) {
        at += prefix.size();
        const std::size_t end = binary.find('\0', at);
        const std::string line = binary.substr(at, end == std::string::npos ? 512 : end - at);
        BuildInfo found;
        for (const std::string& pair : split(line, "; ")) {
            const std::size_t equals = pair.find('=');
            for (const auto& [key, field] : build_fields) {
                if (equals != std::string::npos && pair.compare(0, equals, key) == 0 &&
                    equals == std::string(key).size()) {
                    found.*field = pair.substr(equals + 1);
                }
            }
        }
        if (!found.version.empty()) {
            build = found;
            return true;
        }
    }
    return false;
}

} // namespace picalc::record
