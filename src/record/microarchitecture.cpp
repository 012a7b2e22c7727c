// The x86 microarchitectures, named from the vendor, family and model (and,
// where Intel kept one model number across generations, the stepping) that
// CPUID reports. A cloud machine's processor name is whatever its hypervisor
// chose, so these numbers are what tells two machines apart. The models come
// from AMD's revision guides and Intel's model lists; a processor that is
// not here is named by its numbers alone.
#include "record.h"

namespace picalc::record {
namespace {

struct ModelRange {
    const char* vendor;
    std::int32_t family;
    std::int32_t first_model;
    std::int32_t last_model;
    std::int32_t first_stepping; // -1: any
    const char* name;
};

constexpr const char* amd = "AuthenticAMD";
constexpr const char* intel = "GenuineIntel";

// The first range that holds the processor names it, so a stepping-specific
// range goes before the one for its whole model.
constexpr ModelRange x86_models[] = {
    // AMD family 17h: Zen, Zen+ and Zen 2.
    {amd, 23, 0x08, 0x08, -1, "Zen+"},
    {amd, 23, 0x18, 0x18, -1, "Zen+"},
    {amd, 23, 0x00, 0x2f, -1, "Zen"},
    {amd, 23, 0x30, 0xaf, -1, "Zen 2"},
    // AMD family 19h: Zen 3 and Zen 4; family 1Ah: Zen 5.
    {amd, 25, 0, 15, -1, "Zen 3"},
    {amd, 25, 16, 31, -1, "Zen 4"},
    {amd, 25, 32, 80, -1, "Zen 3"},
    {amd, 25, 96, 120, -1, "Zen 4"},
    {amd, 25, 160, 175, -1, "Zen 4"},
    {amd, 26, 0, 255, -1, "Zen 5"},
    // Intel family 6, from Skylake on.
    {intel, 6, 0x4e, 0x4e, -1, "Skylake"},
    {intel, 6, 0x5e, 0x5e, -1, "Skylake"},
    {intel, 6, 0x55, 0x55, 11, "Cooper Lake"},
    {intel, 6, 0x55, 0x55, 5, "Cascade Lake"},
    {intel, 6, 0x55, 0x55, -1, "Skylake-SP"},
    {intel, 6, 0x8e, 0x8e, 12, "Comet Lake"},
    {intel, 6, 0x8e, 0x8e, 11, "Whiskey Lake"},
    {intel, 6, 0x8e, 0x8e, 10, "Kaby Lake R"},
    {intel, 6, 0x8e, 0x8e, -1, "Kaby Lake"},
    {intel, 6, 0x9e, 0x9e, 10, "Coffee Lake"},
    {intel, 6, 0x9e, 0x9e, -1, "Kaby Lake"},
    {intel, 6, 0xa5, 0xa6, -1, "Comet Lake"},
    {intel, 6, 0x66, 0x66, -1, "Cannon Lake"},
    {intel, 6, 0x7d, 0x7e, -1, "Ice Lake"},
    {intel, 6, 0x6a, 0x6a, -1, "Ice Lake-SP"},
    {intel, 6, 0x6c, 0x6c, -1, "Ice Lake-D"},
    {intel, 6, 0x8c, 0x8d, -1, "Tiger Lake"},
    {intel, 6, 0xa7, 0xa7, -1, "Rocket Lake"},
    {intel, 6, 0x97, 0x97, -1, "Alder Lake"},
    {intel, 6, 0x9a, 0x9a, -1, "Alder Lake"},
    {intel, 6, 0xbe, 0xbe, -1, "Alder Lake-N"},
    {intel, 6, 0xb7, 0xb7, -1, "Raptor Lake"},
    {intel, 6, 0xba, 0xba, -1, "Raptor Lake"},
    {intel, 6, 0xbf, 0xbf, -1, "Raptor Lake"},
    {intel, 6, 0xaa, 0xac, -1, "Meteor Lake"},
    {intel, 6, 0xbd, 0xbd, -1, "Lunar Lake"},
    {intel, 6, 0xc5, 0xc6, -1, "Arrow Lake"},
    {intel, 6, 0x8f, 0x8f, -1, "Sapphire Rapids"},
    {intel, 6, 0xcf, 0xcf, -1, "Emerald Rapids"},
    {intel, 6, 0xad, 0xae, -1, "Granite Rapids"},
    {intel, 6, 0xaf, 0xaf, -1, "Sierra Forest"},
    {intel, 6, 0x86, 0x86, -1, "Snow Ridge"},
    {intel, 6, 0x96, 0x96, -1, "Elkhart Lake"},
    {intel, 6, 0x9c, 0x9c, -1, "Jasper Lake"},
};

} // namespace

std::string x86_microarchitecture(const std::string& vendor, std::int32_t family,
                                  std::int32_t model, std::int32_t stepping) {
    for (const ModelRange& range : x86_models) {
        if (vendor == range.vendor && family == range.family && model >= range.first_model &&
            model <= range.last_model &&
            (range.first_stepping < 0 || stepping >= range.first_stepping)) {
            return range.name;
        }
    }
    return "";
}

} // namespace picalc::record
