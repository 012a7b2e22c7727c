// Runs the built picalc binary as a child process and checks what a user sees:
// its standard output, byte for byte, and its exit status.
#include "digit_buffer.h"
#include "test_support.h"

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

enum class StandardInput { Enter, Empty, Closed };
enum class StandardOutput { Pipe, DevFull, Closed };

struct Invocation {
    std::vector<std::string> arguments;
    StandardInput input = StandardInput::Enter;
    StandardOutput output = StandardOutput::Pipe;
    rlim_t address_space_limit = RLIM_INFINITY;
};

struct RunResult {
    int status = -1;
    std::string output;
};

[[noreturn]] void exec_child(const Invocation& invocation, const int (&input_pipe)[2],
                             const int (&output_pipe)[2]) {
    if (invocation.address_space_limit != RLIM_INFINITY) {
        const rlimit limit{invocation.address_space_limit, invocation.address_space_limit};
        setrlimit(RLIMIT_AS, &limit);
    }
    if (invocation.input == StandardInput::Closed) {
        close(STDIN_FILENO);
    } else {
        dup2(input_pipe[0], STDIN_FILENO);
    }
    if (invocation.output == StandardOutput::Closed) {
        close(STDOUT_FILENO);
    } else if (invocation.output == StandardOutput::DevFull) {
        dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
    } else {
        dup2(output_pipe[1], STDOUT_FILENO);
    }
    // A write end left open here would keep the child's own stdin from ending.
    for (int fd : {input_pipe[0], input_pipe[1], output_pipe[0], output_pipe[1]}) {
        close(fd);
    }
    std::vector<char*> argv = {const_cast<char*>(PICALC_BINARY)};
    for (const std::string& argument : invocation.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(PICALC_BINARY, argv.data());
    _exit(127);
}

RunResult run_picalc(const Invocation& invocation) {
    int input_pipe[2];
    int output_pipe[2];
    if (pipe(input_pipe) != 0 || pipe(output_pipe) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    // The Enter goes into the pipe before the child exists. Written after the
    // fork, it would find no reader once a child that ends early (a failed
    // allocation, a closed stdin) has exited, and SIGPIPE would kill the test
    // process itself. One byte always fits in an empty pipe, so this never blocks.
    if (invocation.input == StandardInput::Enter && write(input_pipe[1], "\n", 1) != 1) {
        ADD_FAILURE() << "could not write the Enter";
    }
    const pid_t child = fork();
    if (child == 0) {
        exec_child(invocation, input_pipe, output_pipe);
    }
    close(input_pipe[0]);
    close(input_pipe[1]);
    close(output_pipe[1]);

    RunResult result;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = read(output_pipe[0], chunk, sizeof chunk)) > 0) {
        result.output.append(chunk, static_cast<std::size_t>(got));
    }
    close(output_pipe[0]);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return result;
}

bool is_seconds_value(const std::string& text) {
    const std::size_t point = text.find('.');
    const auto is_digits = [](const std::string& part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
    };
    const std::size_t integer_start = text.rfind('-', 0) == 0 ? 1 : 0;
    return point != std::string::npos &&
           is_digits(text.substr(integer_start, point - integer_start)) &&
           text.size() - point - 1 == 6 && is_digits(text.substr(point + 1));
}

// The time is the one value that differs between runs: give it a fixed text
// once its line has the promised shape ("%f": six decimals).
std::string with_time_masked(std::string output) {
    const std::string prefix = "\nTotal time ";
    const std::string suffix = " seconds \n";
    const std::size_t start = output.find(prefix);
    if (start == std::string::npos) {
        return output;
    }
    const std::size_t value_start = start + prefix.size();
    const std::size_t end = output.find(suffix, value_start);
    if (end != std::string::npos &&
        is_seconds_value(output.substr(value_start, end - value_start))) {
        output.replace(value_start, end - value_start, "<seconds>");
    }
    return output;
}

const std::string banner_and_gauss =
    "pi calc..................................\n\n"
    "pi= 48 * arctg(1/18) + 32 * arctg(1/57) - 20 * arctg(1/239) [Gauss]\n";
const std::string banner_and_stomer =
    "pi calc..................................\n\n"
    "pi= 24 * arctg(1/8) + 8 * arctg(1/57) + 4 * arctg(1/239) [Stomer]\n";

struct ExpectedRun {
    std::vector<std::string> arguments;
    std::string expected_file;
};

// The expected files were checked line by line against the true digits of pi,
// the table values and the verification codes before they were committed.
TEST(Picalc, PrintsTheExpectedReportForEachCommandLine) {
    const ExpectedRun runs[] = {
        {{}, "run_default.txt"},
        {{"0"}, "run_0.txt"},
        {{"130"}, "run_130.txt"},
        {{"763", "s"}, "run_763_stomer.txt"},
    };
    for (const ExpectedRun& run : runs) {
        const RunResult result = run_picalc({run.arguments});
        EXPECT_EQ(result.status, 0) << run.expected_file;
        EXPECT_EQ(with_time_masked(result.output), picalc::test::read_data_file(run.expected_file))
            << run.expected_file;
    }
}

TEST(Picalc, DefaultRunPrints219Lines) {
    const std::string output = run_picalc({}).output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 219);
}

struct FormulaRun {
    std::vector<std::string> arguments;
    std::string expected_start;
};

TEST(Picalc, SecondArgumentSelectsStomerByItsPresence) {
    const std::string fifty = "pi= 3.14159 26535 89793 23846 26433 83279 50288 41971 69399 37510 \n"
                              "DIGITS: 50\n     \n";
    const FormulaRun runs[] = {
        {{"50", "x"}, banner_and_stomer + fifty},
        {{"50", ""}, banner_and_stomer + fifty},
        {{"-7"}, banner_and_gauss + "pi= 3.\nDIGITS: 0\n     \n"},
    };
    for (const FormulaRun& run : runs) {
        const RunResult result = run_picalc({run.arguments});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output.substr(0, run.expected_start.size()), run.expected_start);
    }
}

struct FailureRun {
    Invocation invocation;
    int status;
};

// A run that fails before it reads standard input, or with its streams closed
// or full, must still end with its status and never take the harness down.
TEST(Picalc, CountsBeyondThe32BitBufferSizeEndWithStatus1) {
    const std::string too_many_digits = std::to_string(picalc::max_digit_count + 1);
    const Invocation runs[] = {
        {{"2147483647"}},
        {{"99999999999"}},
        {{too_many_digits}},
        {{too_many_digits}, StandardInput::Closed, StandardOutput::Closed},
        {{"2147483647"}, StandardInput::Empty, StandardOutput::DevFull},
    };
    for (const Invocation& run : runs) {
        const RunResult result = run_picalc(run);
        EXPECT_EQ(result.status, 1) << run.arguments[0];
        EXPECT_EQ(result.output, run.output == StandardOutput::Pipe ? banner_and_gauss : "")
            << run.arguments[0];
    }
}

// AddressSanitizer reserves terabytes of shadow memory, so an address-space
// limit stops a sanitized binary before main.
#if !defined(PICALC_SANITIZED)
TEST(Picalc, FailedAllocationsEndWithTheirOwnStatus) {
    constexpr rlim_t mebibyte = rlim_t{1024} * 1024;
    const FailureRun runs[] = {
        // 4 GiB for the term buffer cannot fit under 1 GiB.
        {{{std::to_string(picalc::max_digit_count)},
          StandardInput::Enter,
          StandardOutput::Pipe,
          1024 * mebibyte},
         1},
        // 400 MB fits once under 600 MiB, not twice.
        {{{"100000000", "x"}, StandardInput::Enter, StandardOutput::Pipe, 600 * mebibyte}, 2},
    };
    for (const FailureRun& run : runs) {
        const RunResult result = run_picalc(run.invocation);
        EXPECT_EQ(result.status, run.status) << run.invocation.arguments[0];
        const std::string& expected =
            run.invocation.arguments.size() > 1 ? banner_and_stomer : banner_and_gauss;
        EXPECT_EQ(result.output, expected);
    }
}
#endif

TEST(Picalc, CompletesWhateverHappensToItsStandardStreams) {
    const Invocation runs[] = {
        {{"0"}, StandardInput::Empty, StandardOutput::Pipe},
        {{"0"}, StandardInput::Closed, StandardOutput::Pipe},
        {{"0"}, StandardInput::Enter, StandardOutput::DevFull},
        {{"0"}, StandardInput::Closed, StandardOutput::Closed},
    };
    for (const Invocation& run : runs) {
        const RunResult result = run_picalc(run);
        EXPECT_EQ(result.status, 0);
        if (run.output == StandardOutput::Pipe) {
            EXPECT_EQ(with_time_masked(result.output), picalc::test::read_data_file("run_0.txt"));
        }
    }
}

} // namespace
