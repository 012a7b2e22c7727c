// picalc-compare's command line.
#include "compare.h"

#include <cstring>

namespace picalc::compare {

const char* const compare_usage =
    "usage: picalc-compare [OPTIONS] FILE...\n"
    "Checks every FILE as picalc-check does (records of picalc-record or of the page,\n"
    "or saved runs), then compares their run times. Two files: whether B is faster\n"
    "than A, by how much (95 % interval) and how sure (two-sided rank test, p).\n"
    "More: a table per digit count and formula against a baseline.\n"
    "  --baseline FILE   the file (or --times LABEL) the others are set against\n"
    "                    (default: the fastest)\n"
    "  --markdown        a Markdown table\n"
    "  --csv             comma-separated values, a row per file\n"
    "  --json            every time and every comparison, for programs\n"
    "  --times LABEL:DIGITS:Gauss|Stomer:SECONDS,SECONDS,...\n"
    "                    times alone, from elsewhere: compared, but nothing to check\n"
    "  --setup NAME      the files after it are records of one setup called NAME\n"
    "                    (\"\" to group them by their processor, cores and build again)\n"
    "A record's runs share one session, so records made at different times are\n"
    "compared by their medians, several of each setup; one record of each gives\n"
    "no verdict. Runs alternated in one record (picalc-record --versus) are\n"
    "compared pair by pair.\n"
    "Exit status: 0 compared, 1 refused (a file that is not a genuine run, or two\n"
    "files of different workloads), 2 a wrong command line or an unreadable file.\n";

CompareOptions parse_compare_options(int argc, const char* const* argv) {
    CompareOptions options;
    std::string setup;
    bool formats = false;
    bool only_files = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool option = !only_files && argument.size() > 1 && argument[0] == '-';
        if (!option) {
            options.inputs.push_back({argument, false, setup});
            continue;
        }
        if (argument == "--") {
            only_files = true;
        } else if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "--markdown" || argument == "--csv" || argument == "--json") {
            if (formats) {
                options.error = "choose one of --markdown, --csv and --json";
                return options;
            }
            formats = true;
            options.format = argument == "--markdown" ? Format::Markdown
                             : argument == "--csv"    ? Format::Csv
                                                      : Format::Json;
        } else if (argument == "--baseline" || argument == "--times" || argument == "--setup") {
            if (i + 1 == argc) {
                options.error = argument + " needs a value";
                return options;
            }
            const std::string value = argv[++i];
            if (argument == "--baseline") {
                options.baseline = value;
            } else if (argument == "--setup") {
                setup = value;
            } else {
                options.inputs.push_back({value, true, setup});
            }
        } else {
            options.error = "unknown option " + argument;
            return options;
        }
    }
    // The baseline is compared whether or not it is named again among the files.
    bool baseline_found = options.baseline.empty();
    for (const CompareInput& input : options.inputs) {
        baseline_found = baseline_found || input.text == options.baseline ||
                         (input.times && input.text.rfind(options.baseline + ":", 0) == 0);
    }
    if (!baseline_found) {
        options.inputs.insert(options.inputs.begin(), {options.baseline, false, ""});
    }
    if (!options.help && options.inputs.empty()) {
        options.error = "no FILE to compare";
    }
    return options;
}

} // namespace picalc::compare
