// picalc-record's porting file for Linux and other POSIX systems.
#include "portme.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

namespace picalc::record {
namespace {

// The picalcs running now, for the signal handler to stop: lock-free
// atomics, which a handler may touch.
constexpr std::size_t max_children = 1100;
std::atomic<pid_t> running[max_children];
volatile std::sig_atomic_t caught_signal = 0;
volatile std::sig_atomic_t limit_passed = 0;

void stop_children(int how) {
    for (std::atomic<pid_t>& slot : running) {
        const pid_t pid = slot.load();
        if (pid > 0) {
            static_cast<void>(kill(pid, how));
        }
    }
}

extern "C" void on_stop_signal(int signal) {
    caught_signal = signal;
    stop_children(SIGTERM);
}

extern "C" void on_time_limit(int /*signal*/) {
    limit_passed = 1;
    stop_children(SIGKILL);
}

void note_running(pid_t pid) {
    for (std::atomic<pid_t>& slot : running) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid)) {
            return;
        }
    }
}

void note_ended(pid_t pid) {
    for (std::atomic<pid_t>& slot : running) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0)) {
            return;
        }
    }
}

} // namespace

std::string make_private_folder(std::string& error) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/picalc-record-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a folder for the runs' output in " +
                pattern.substr(0, pattern.rfind('/')) + ": " + std::strerror(errno);
        return "";
    }
    return pattern;
}

bool remove_folder(const std::string& folder) {
    return rmdir(folder.c_str()) == 0;
}

void catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        static_cast<void>(sigaction(signal, &action, nullptr));
    }
    action.sa_handler = on_time_limit;
    static_cast<void>(sigaction(SIGALRM, &action, nullptr));
}

int stop_signal() {
    return caught_signal;
}

void end_by_signal(int signal) {
    static_cast<void>(std::signal(signal, SIG_DFL));
    static_cast<void>(std::raise(signal));
    std::_Exit(128 + signal);
}

void arm_time_limit(std::int32_t seconds) {
    if (seconds > 0) {
        limit_passed = 0;
    }
    static_cast<void>(alarm(static_cast<unsigned int>(seconds)));
}

bool time_limit_passed() {
    return limit_passed != 0;
}

bool start_child(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& output_path, Child& child) {
    // Opened here, not by a spawn action: glibc reports a failed action as
    // the spawn's own error, which named the program ("No such file or
    // directory") when it was the temporary folder that was missing.
    const int output =
        open(output_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (output < 0) {
        child.error = "cannot write " + output_path + ": " + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output);
    if (error != 0) {
        child.error = std::strerror(error);
        return false;
    }
    child.handle = pid;
    note_running(pid);
    // A signal or the time limit between the spawn and the note found no
    // picalc to stop: a slow spawn must not let this one run on.
    if (caught_signal != 0 || limit_passed != 0) {
        static_cast<void>(kill(pid, caught_signal != 0 ? SIGTERM : SIGKILL));
    }
    return true;
}

std::int32_t wait_child(Child& child) {
    int status = 0;
    pid_t got = 0;
    rusage usage{};
    do {
        got = wait4(static_cast<pid_t>(child.handle), &status, 0, &usage);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        const auto seconds = [](const timeval& time) {
            return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
        };
        child.cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
    note_ended(static_cast<pid_t>(child.handle));
    child.handle = -1;
    if (got < 0 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

ProcessorTimes read_processor_times() {
    return parse_proc_stat(file_text("/proc/stat"), sysconf(_SC_CLK_TCK));
}

std::string picalc_beside(const char* argv0) {
    std::string self;
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length > 0) {
        self.assign(path, static_cast<std::size_t>(length));
    } else {
        self = argv0;
    }
    const std::size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/picalc";
}

std::string program_on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string folders = path == nullptr ? "" : path;
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        end = end == std::string::npos ? folders.size() : end;
        // An empty entry is the current folder, as the shell takes it.
        const std::string folder = end == start ? "." : folders.substr(start, end - start);
        std::string candidate = folder;
        candidate += "/";
        candidate += name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return name;
}

std::int64_t process_number() {
    return getpid();
}

namespace {

// The processors this process could use when it started: what pinning
// returns to, and the only ones a pin may choose from.
const cpu_set_t& starting_processors() {
    static const cpu_set_t processors = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof set, &set) != 0) {
            CPU_ZERO(&set);
        }
        return set;
    }();
    return processors;
}

} // namespace

MachineInfo read_machine() {
    MachineInfo machine;
    read_linux_machine("", machine);
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    if (online > 0) {
        machine.logical_processors = static_cast<std::int32_t>(online);
    }
    // The processors this process may run on: a container's or taskset's
    // limit, not the machine's count.
    if (CPU_COUNT(&starting_processors()) > 0) {
        machine.usable_processors = CPU_COUNT(&starting_processors());
    } else {
        machine.usable_processors = machine.logical_processors;
    }
    machine.system = parse_os_release(file_text("/etc/os-release"));
    if (machine.system.empty()) {
        machine.system = parse_os_release(file_text("/usr/lib/os-release"));
    }
    utsname names{};
    if (uname(&names) == 0) {
        machine.kernel = std::string(names.sysname) + " " + names.release;
        machine.architecture = names.machine;
    }
    return machine;
}

CoreClasses read_core_classes() {
    std::vector<std::int32_t> usable;
    const cpu_set_t& start = starting_processors();
    for (std::int32_t processor = 0; processor < CPU_SETSIZE; ++processor) {
        if (CPU_ISSET(static_cast<std::size_t>(processor), &start)) {
            usable.push_back(processor);
        }
    }
    return linux_core_classes("", usable);
}

bool pin_runs(const std::vector<std::int32_t>& processors, std::string& error) {
    // The runs are started by posix_spawn, which has no affinity of its
    // own: they inherit this process's.
    cpu_set_t set = starting_processors();
    if (processors.empty() && CPU_COUNT(&set) == 0) {
        return true; // never known, so never changed
    }
    if (!processors.empty()) {
        CPU_ZERO(&set);
        for (const std::int32_t processor : processors) {
            if (processor < 0 || processor >= CPU_SETSIZE) {
                error = "processor " + std::to_string(processor) + " is past this system's limit";
                return false;
            }
            CPU_SET(static_cast<std::size_t>(processor), &set);
        }
    }
    if (sched_setaffinity(0, sizeof set, &set) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char date[16] = "unknown";
    if (localtime_r(&now, &local) != nullptr) {
        static_cast<void>(std::strftime(date, sizeof date, "%Y-%m-%d", &local));
    }
    return date;
}

} // namespace picalc::record
