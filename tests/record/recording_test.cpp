// picalc-record's files and runs: a record is never half-written or
// replaced by accident, and a run is only ever recorded when picalc-check's
// code accepts its output, with its output kept when it does not.
#include "portme.h"
#include "record.h"
#include "test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <system_error>
#include <vector>

namespace picalc::record {
namespace {

// A private folder of the test's own, removed with what it holds.
class Folder {
public:
    Folder() {
        char name[] = "/tmp/picalc-recording-XXXXXX";
        path_ = mkdtemp(name) == nullptr ? "" : name;
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    [[nodiscard]] const std::string& path() const {
        return path_;
    }
    std::string operator/(const std::string& name) const {
        return path_ + "/" + name;
    }

private:
    std::string path_;
};

std::string replaced_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

void write(const std::string& path, const std::string& text) {
    std::string error;
    ASSERT_TRUE(write_file(path, text, error)) << error;
}

TEST(Recording, FilesAreWrittenWholeAndNeverReplacedByAccident) {
    const Folder folder;
    write(folder / "r.txt", "one");
    write(folder / "r.txt", "two");
    std::string text;
    ASSERT_TRUE(read_file(folder / "r.txt", text, 100));
    EXPECT_EQ(text, "two");
    EXPECT_FALSE(read_file(folder / "missing.txt", text, 100));
    std::string error;
    EXPECT_FALSE(write_file(folder / "no/r.txt", "x", error));
    EXPECT_NE(error.find("cannot write " + folder / "no/r.txt"), std::string::npos) << error;
    EXPECT_FALSE(exists(folder / "no/r.txt.partial-" + std::to_string(process_number())));

    EXPECT_EQ(unused_name(folder / "new.txt"), folder / "new.txt");
    EXPECT_EQ(unused_name(folder / "r.txt"), folder / "r-2.txt");
    write(folder / "r-2.txt", "");
    EXPECT_EQ(unused_name(folder / "r.txt"), folder / "r-3.txt");

    EXPECT_TRUE(writable(folder / "probe.txt", error));
    EXPECT_FALSE(exists(folder / "probe.txt")) << "the probe left its file behind";
    EXPECT_TRUE(writable(folder / "r.txt", error));
    EXPECT_TRUE(exists(folder / "r.txt"));
}

TEST(Recording, OutputsThatCannotBeWrittenAreNamedBeforeAnyRun) {
    const Folder folder;
    write(folder / "old.txt", "");
    const struct {
        std::string record, json;
        bool overwrite;
        std::string problem;
    } cases[] = {
        {folder / "r.txt", "", false, ""},
        {folder / "r.txt", folder / "r.json", false, ""},
        {folder / "old.txt", "", false,
         folder / "old.txt" + " exists: give --overwrite to replace it, or another name"},
        {folder / "r.txt", folder / "old.txt", false,
         folder / "old.txt" + " exists: give --overwrite to replace it, or another name"},
        {folder / "old.txt", "", true, ""},
        {folder / "r.txt", folder / "none/r.json", false, "cannot write " + folder / "none/r.json"},
    };
    for (const auto& c : cases) {
        RecordOptions options;
        options.record = c.record;
        options.json = c.json;
        options.overwrite = c.overwrite;
        EXPECT_EQ(output_problem(options, c.record).substr(0, c.problem.size()), c.problem)
            << c.record << " " << c.json;
        EXPECT_EQ(output_problem(options, c.record).empty(), c.problem.empty());
    }
}

TEST(Recording, LineEndsBecomeLfAndNothingElseChanges) {
    const struct {
        std::string text, lf;
    } cases[] = {{"a\r\nb\r\n", "a\nb\n"}, {"a\rb\n", "a\rb\n"}, {"a\r", "a\r"}, {"", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(lf_text(c.text), c.lf);
    }
}

// A picalc that prints a saved output: a genuine one is recorded with its
// time, a wrong one fails with its output kept. A run is what was asked for,
// whole, and nothing else: a picalc that runs another count, or prints
// anything before the banner or after its last line, fails.
TEST(Recording, ARunIsRecordedOnlyWhenItsOutputIsGenuine) {
    const Folder folder;
    std::string run = test::read_data_file("run_130.txt");
    run.replace(run.find("<seconds>"), 9, "1.456000");
    std::string run_0 = test::read_data_file("run_0.txt");
    run_0.replace(run_0.find("<seconds>"), 9, "1.456000");
    std::string wrong = run;
    wrong.replace(wrong.find("DIGITS: 130"), 11, "DIGITS: 131");
    const struct {
        const char* output;
        std::string text;
        BenchmarkOptions asked;
        const char* verdict; // how a failure's verdict starts; "" for a valid run
    } cases[] = {
        {"genuine", run, {130, Formula::Gauss}, ""},
        {"windows", replaced_all(run, "\n", "\r\n"), {130, Formula::Gauss}, ""},
        {"wrong", wrong, {130, Formula::Gauss}, "line "},
        {"another count", run_0, {130, Formula::Gauss}, "it ran 0 digits [Gauss] where 130"},
        {"another formula", run, {130, Formula::Stomer}, "it ran 130 digits [Gauss] where 130 "},
        {"text after the run", run + "more\n", {130, Formula::Gauss}, "it printed more after"},
        {"two runs", run + run, {130, Formula::Gauss}, "it printed more after"},
        {"text before the run", "hello\n" + run, {130, Formula::Gauss}, "it printed something"},
        {"a byte order mark", "\xEF\xBB\xBF" + run, {130, Formula::Gauss}, "it printed something"},
        {"endless",
         std::string(1 << 20, 'x'),
         {130, Formula::Gauss},
         "it printed more than a run of 130 digits [Gauss] can"},
    };
    prepare_runs(folder.path(), 0);
    for (const auto& c : cases) {
        write(folder / c.output, c.text);
        std::vector<Job> jobs(1);
        jobs[0].label = c.output;
        jobs[0].output_path = output_path(std::string("run-of-") + c.output);
        const bool valid =
            run_together("/bin/cat", {folder / c.output}, c.asked, 2, jobs) && jobs[0].result.valid;
        EXPECT_EQ(valid, *c.verdict == '\0') << c.output << ": " << jobs[0].result.verdict;
        EXPECT_EQ(jobs[0].result.verdict.rfind(valid ? "valid" : c.verdict, 0), 0U)
            << c.output << ": " << jobs[0].result.verdict;
        EXPECT_EQ(jobs[0].result.seconds, valid ? "1.456000" : "") << c.output;
        EXPECT_EQ(exists(jobs[0].output_path), !valid) << "kept only when it failed";
        if (valid) {
            EXPECT_EQ(jobs[0].result.run_name, "130 digits [Gauss]");
            EXPECT_EQ(jobs[0].result.output, run);
        }
    }
}

#ifdef __linux__
// The processors a program started now may run on, as it sees them.
std::string allowed_list_of_a_child(const Folder& folder, const std::string& name) {
    Child child;
    const std::string output = folder / name;
    if (!start_child("/bin/grep", {"Cpus_allowed_list", "/proc/self/status"}, output, child) ||
        wait_child(child) != 0) {
        return "not run: " + child.error;
    }
    std::string text;
    static_cast<void>(read_file(output, text, 4096));
    return text;
}

TEST(Recording, PinnedRunsKeepToTheirProcessorsAndUnpinnedOnesGoAnywhere) {
    const Folder folder;
    const CoreClasses classes = read_core_classes();
    std::string start;
    ASSERT_TRUE(read_file("/proc/self/status", start, 1 << 16));
    const std::size_t at = start.find("Cpus_allowed_list:");
    ASSERT_NE(at, std::string::npos);
    const std::string starting = start.substr(at, start.find('\n', at) + 1 - at);
    const std::vector<std::int32_t> usable =
        processor_list(starting.substr(starting.find(':') + 1));
    ASSERT_FALSE(usable.empty()) << starting;
    // Whatever this machine's classes, a pin to its last usable processor
    // holds, and the unpinned runs after it get every one back.
    std::string error;
    ASSERT_TRUE(pin_runs({usable.back()}, error)) << error;
    EXPECT_EQ(allowed_list_of_a_child(folder, "pinned"),
              "Cpus_allowed_list:\t" + std::to_string(usable.back()) + "\n");
    ASSERT_TRUE(pin_runs({}, error)) << error;
    EXPECT_EQ(allowed_list_of_a_child(folder, "unpinned"), starting);
    EXPECT_FALSE(pin_runs({-1}, error));
    EXPECT_FALSE(pin_runs({max_processor_number}, error));
    EXPECT_EQ(allowed_list_of_a_child(folder, "after a refusal"), starting);
    // Whatever the system says of its classes (a chroot without /sys says
    // nothing), single runs never go where this process may not.
    if (classes.processor >= 0) {
        EXPECT_NE(std::find(usable.begin(), usable.end(), classes.processor), usable.end());
    }
}
#endif

} // namespace
} // namespace picalc::record
