// picalc-record's command line. Its own options come first; the first
// argument that is not one of them, or everything after "--", goes to picalc
// unchanged, so "picalc-record -- -7" runs "picalc -7".
#include "record.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace picalc::record {

const char* const usage_text =
    "usage: picalc-record [OPTIONS] [--] [digits [formula-switch]]\n"
    "Runs picalc several times, then as many copies at once as there are\n"
    "processors, checks every output, and writes a record for results/.\n"
    "  --runs N          runs one after another, and rounds of copies (default 9, 1 to 100)\n"
    "  --copies N|all    copies started together after the single runs (default all:\n"
    "                    the processors this process may use; 0 or 1 for none)\n"
    "  --record FILE     the record's file (default DATE-PROCESSOR-COMPILER.txt here,\n"
    "                    with the microarchitecture where it is known)\n"
    "  --json FILE       also write the result as JSON\n"
    "  --overwrite       replace a --record or --json file that exists (by default it\n"
    "                    is refused, and the default name gets -2, -3, ...)\n"
    "  --by NAME         who made the run, for the record's \"Run by:\" line\n"
    "  --picalc PATH     the picalc to run (default: the one beside picalc-record)\n"
    "  --versus PATH     another picalc (a build, a version, or picalc.mjs for the\n"
    "                    WebAssembly build under Node) run in alternation with the\n"
    "                    first, pair by pair in a balanced random order, for\n"
    "                    picalc-compare's paired verdict on the one record\n"
    "  --time-limit S    stop a run, and the record, when picalc runs longer than S\n"
    "                    seconds (default 86400, a day; 1 to 604800)\n"
    "The arguments after the options go to picalc as they are.\n";

namespace {

constexpr std::int32_t max_copies = 1024;
constexpr std::int32_t max_time_limit = 7 * 24 * 60 * 60;

// Text that lands on a line of the record: a control character would end
// the line and start a header line of its own.
bool has_control_character(std::string_view text) {
    return std::any_of(text.begin(), text.end(), record_format::is_control_character);
}

// An argument as an error message quotes it: control characters as '?', so
// that no argument can write to the terminal through the message.
std::string shown(const std::string& text) {
    return record_format::without_control_characters(text, '?');
}

// A whole decimal count within [low, high]; false for anything else.
bool parse_count(const char* text, std::int32_t low, std::int32_t high, std::int32_t& count) {
    if (*text == '\0' || std::strlen(text) > 9 ||
        std::strspn(text, "0123456789") != std::strlen(text)) {
        return false;
    }
    const long value = std::strtol(text, nullptr, 10);
    if (value < low || value > high) {
        return false;
    }
    count = static_cast<std::int32_t>(value);
    return true;
}

bool apply_option(RecordOptions& options, const std::string& name, const char* value) {
    if (name == "--runs") {
        if (!parse_count(value, 1, max_runs, options.runs)) {
            options.error = "--runs takes a whole number from 1 to " + std::to_string(max_runs) +
                            ", not \"" + shown(value) + "\"";
        }
    } else if (name == "--copies") {
        if (std::strcmp(value, "all") == 0) {
            options.copies = all_processors;
        } else if (!parse_count(value, 0, max_copies, options.copies)) {
            options.error = "--copies takes \"all\" or a whole number from 0 to " +
                            std::to_string(max_copies) + ", not \"" + shown(value) + "\"";
        }
    } else if (name == "--record") {
        options.record = value;
    } else if (name == "--json") {
        options.json = value;
    } else if (name == "--by") {
        options.run_by = value;
        if (has_control_character(value)) {
            options.error = "--by takes a name on one line, without control characters";
        }
    } else if (name == "--time-limit") {
        if (!parse_count(value, 1, max_time_limit, options.time_limit_seconds)) {
            options.error = "--time-limit takes a whole number of seconds from 1 to " +
                            std::to_string(max_time_limit) + ", not \"" + shown(value) + "\"";
        }
    } else if (name == "--picalc") {
        options.picalc = value;
    } else if (name == "--versus") {
        options.versus = value;
    } else {
        return false;
    }
    if (options.error.empty() && *value == '\0') {
        options.error = shown(name) + " needs a value";
    }
    return true;
}

} // namespace

RecordOptions parse_record_options(int argc, const char* const* argv) {
    RecordOptions options;
    int i = 1;
    for (; i < argc && options.error.empty(); ++i) {
        const std::string argument = argv[i];
        if (argument == "--") {
            ++i;
            break;
        }
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            continue;
        }
        if (argument == "--overwrite") {
            options.overwrite = true;
            continue;
        }
        if (argument.size() < 2 || argument[0] != '-' || argument[1] != '-') {
            if (!argument.empty() && argument[0] == '-') {
                options.error = "unknown option \"" + shown(argument) +
                                "\" (a count that starts with - goes after --)";
            }
            break;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const bool attached = equals != std::string::npos;
        if (!attached && i + 1 >= argc) {
            options.error = apply_option(options, name, "")
                                ? name + " needs a value"
                                : "unknown option \"" + shown(name) + "\"";
            break;
        }
        const std::string value = attached ? argument.substr(equals + 1) : argv[++i];
        if (!apply_option(options, name, value.c_str())) {
            options.error = "unknown option \"" + shown(name) + "\"";
        }
    }
    if (!options.error.empty()) {
        return options;
    }
    for (; i < argc; ++i) {
        options.picalc_arguments.emplace_back(argv[i]);
        if (has_control_character(argv[i])) {
            options.error = "picalc's arguments go on the record's Notes: line, and may not "
                            "hold control characters";
        }
    }
    if (!options.record.empty() && same_file(options.record, options.json)) {
        options.error = "--record and --json name the same file, " + shown(options.record) +
                        ": the JSON would replace the record";
    }
    return options;
}

} // namespace picalc::record
