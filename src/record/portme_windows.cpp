// picalc-record's porting file for Windows.
#include "portme.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace picalc::record {
namespace {

// One argument as CommandLineToArgvW and the C runtime read it back:
// backslashes are literal except before a quote, where they are doubled.
std::string quoted_argument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, '\\');
    out.push_back('"');
    return out;
}

// The picalcs running now, for the console handler and the time limit's
// timer, which run on threads of their own, to stop.
constexpr std::size_t max_children = 1100;
std::atomic<std::intptr_t> running[max_children];
std::atomic<int> caught_signal{0};
std::atomic<bool> limit_passed{false};
HANDLE limit_timer = nullptr;

// The runs' folder, held open from the moment it is made until it is
// removed, without delete sharing: while it is held, nobody can rename or
// remove it and put a junction or link to somewhere else in its place.
HANDLE held_folder = INVALID_HANDLE_VALUE;

bool hold_folder(const std::string& folder) {
    held_folder = CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (held_folder == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(held_folder, &information) == 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        static_cast<void>(CloseHandle(held_folder));
        held_folder = INVALID_HANDLE_VALUE;
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    return true;
}

// A protected access list of full control for the folder's owner and the
// system: nothing inherited from the temporary folder. nullptr when it
// cannot be made, and then the folder takes what it inherits.
PSECURITY_DESCRIPTOR private_descriptor() {
    static PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (descriptor == nullptr) {
        static_cast<void>(ConvertStringSecurityDescriptorToSecurityDescriptorA(
            "D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)", SDDL_REVISION_1, &descriptor, nullptr));
    }
    return descriptor;
}

void stop_children() {
    for (std::atomic<std::intptr_t>& slot : running) {
        const std::intptr_t handle = slot.load();
        if (handle != 0) {
            static_cast<void>(TerminateProcess(reinterpret_cast<HANDLE>(handle), 1));
        }
    }
}

void note_running(std::intptr_t handle) {
    for (std::atomic<std::intptr_t>& slot : running) {
        std::intptr_t empty = 0;
        if (slot.compare_exchange_strong(empty, handle)) {
            return;
        }
    }
}

void note_ended(std::intptr_t handle) {
    for (std::atomic<std::intptr_t>& slot : running) {
        std::intptr_t expected = handle;
        if (slot.compare_exchange_strong(expected, 0)) {
            return;
        }
    }
}

BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        caught_signal = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        caught_signal = SIGTERM;
        break;
    default:
        return FALSE;
    }
    stop_children();
    return TRUE;
}

VOID CALLBACK on_time_limit(PVOID, BOOLEAN) {
    limit_passed = true;
    stop_children();
}

std::string last_error_text() {
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, GetLastError(), 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(GetLastError()) : message;
}

std::string registry_text(const char* key, const char* name) {
    char value[256];
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
        return "";
    }
    std::string text(value);
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

std::int32_t registry_number(const char* key, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return -1;
    }
    return static_cast<std::int32_t>(value);
}

// The system's records of one relation (cores, caches), one after another.
std::vector<char> processor_records(LOGICAL_PROCESSOR_RELATIONSHIP relation) {
    DWORD size = 0;
    GetLogicalProcessorInformationEx(relation, nullptr, &size);
    std::vector<char> buffer(size);
    auto* first = reinterpret_cast<SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(buffer.data());
    if (size == 0 || GetLogicalProcessorInformationEx(relation, first, &size) == 0) {
        buffer.clear();
    }
    buffer.resize(size);
    return buffer;
}

template <typename Visit> void each_record(const std::vector<char>& records, Visit visit) {
    for (std::size_t offset = 0; offset < records.size();) {
        const auto* record = reinterpret_cast<const SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(
            records.data() + offset);
        if (record->Size == 0) {
            break;
        }
        visit(*record);
        offset += record->Size;
    }
}

// The physical cores, and whether any of them runs two threads.
void read_cores(MachineInfo& machine) {
    const std::vector<char> cores = processor_records(RelationProcessorCore);
    if (cores.empty()) {
        return;
    }
    machine.physical_cores = 0;
    machine.smt = 0;
    each_record(cores, [&machine](const SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX& core) {
        ++machine.physical_cores;
        if ((core.Processor.Flags & LTP_PC_SMT) != 0) {
            machine.smt = 1;
        }
    });
}

// Each cache level once, as the first processor sees it.
void read_caches(MachineInfo& machine) {
    each_record(processor_records(RelationCache),
                [&machine](const SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX& record) {
                    const CACHE_RELATIONSHIP& cache = record.Cache;
                    if ((cache.GroupMask.Mask & 1U) == 0) {
                        return;
                    }
                    CacheInfo info;
                    info.level = cache.Level;
                    info.type = cache.Type == CacheData          ? "Data"
                                : cache.Type == CacheInstruction ? "Instruction"
                                                                 : "Unified";
                    info.size_kib = cache.CacheSize / 1024;
                    info.shared_by = __builtin_popcountll(cache.GroupMask.Mask);
                    machine.caches.push_back(info);
                });
}

// The active power plan by name, where it is one of Windows' own.
std::string power_plan() {
    const std::string scheme = registry_text(
        "SYSTEM\\CurrentControlSet\\Control\\Power\\User\\PowerSchemes", "ActivePowerScheme");
    const struct {
        const char* guid;
        const char* name;
    } plans[] = {
        {"381b4222-f694-41f0-9685-ff5bb260df2e", "Balanced"},
        {"8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c", "High performance"},
        {"a1841308-3541-4fab-bc81-f71556f20b4a", "Power saver"},
        {"e9a42b02-d5df-448d-aa00-03f14749eb61", "Ultimate Performance"},
    };
    for (const auto& plan : plans) {
        if (scheme == plan.guid) {
            return plan.name;
        }
    }
    return scheme.empty() ? "" : "power plan " + scheme;
}

// The CPUID signature: vendor, and family, model and stepping with their
// extended fields folded in as x86's documentation prescribes.
void read_cpuid(MachineInfo& machine) {
#if defined(__i386__) || defined(__x86_64__)
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) != 0) {
        char vendor[13] = {};
        std::memcpy(vendor, &ebx, 4);
        std::memcpy(vendor + 4, &edx, 4);
        std::memcpy(vendor + 8, &ecx, 4);
        machine.vendor = vendor;
    }
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
        machine.hypervisor = static_cast<std::int32_t>((ecx >> 31U) & 1U);
        const unsigned int base_family = (eax >> 8U) & 0xFU;
        const unsigned int base_model = (eax >> 4U) & 0xFU;
        const unsigned int family =
            base_family == 0xFU ? base_family + ((eax >> 20U) & 0xFFU) : base_family;
        const unsigned int model = base_family == 0xFU || base_family == 6U
                                       ? base_model + (((eax >> 16U) & 0xFU) << 4U)
                                       : base_model;
        machine.family = static_cast<std::int32_t>(family);
        machine.model = static_cast<std::int32_t>(model);
        machine.stepping = static_cast<std::int32_t>(eax & 0xFU);
        machine.microarchitecture =
            x86_microarchitecture(machine.vendor, machine.family, machine.model, machine.stepping);
    }
#else
    static_cast<void>(machine);
#endif
}

// GetProcAddress gives every function one type; going through this one
// says that the real type is known to the caller.
using AnyFunction = void (*)();
AnyFunction any_function(FARPROC function) {
    return reinterpret_cast<AnyFunction>(function);
}

bool under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string windows_version() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) {
        return "Windows";
    }
    // GetVersionEx reports what the program's manifest claims to support;
    // RtlGetVersion reports the system.
    auto* rtl_get_version = reinterpret_cast<RtlGetVersionFunction>(
        any_function(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (rtl_get_version == nullptr || rtl_get_version(&version) != 0) {
        return "Windows";
    }
    std::string text = "Windows " + std::to_string(version.dwMajorVersion) + "." +
                       std::to_string(version.dwMinorVersion) + " build " +
                       std::to_string(version.dwBuildNumber);
    const std::string release =
        registry_text("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "DisplayVersion");
    if (!release.empty()) {
        text += " (" + release + ")";
    }
    using WineVersionFunction = const char*(CDECL*)();
    auto* wine_version = reinterpret_cast<WineVersionFunction>(
        any_function(GetProcAddress(ntdll, "wine_get_version")));
    if (wine_version != nullptr) {
        text += ", Wine " + std::string(wine_version());
    }
    return text;
}

// SYSTEM_CPU_SET_INFORMATION as Windows documents it, which older MinGW
// headers lack: its fixed part, copied out of the buffer entry by entry.
struct CpuSetEntry {
    std::uint32_t size;
    std::uint32_t type; // 0: a CPU set; others are skipped
    std::uint32_t id;
    std::uint16_t group;
    std::uint8_t logical_processor_index;
    std::uint8_t core_index;
    std::uint8_t last_level_cache_index;
    std::uint8_t numa_node_index;
    std::uint8_t efficiency_class;
    std::uint8_t flags;
    std::uint32_t reserved;
    std::uint64_t allocation_tag;
};
static_assert(sizeof(CpuSetEntry) == 32);

// Windows 10's CPU sets: each logical processor (the first group's 64, then
// the next group's) ranked by its efficiency class, higher for faster cores.
// Looked up, not linked, so that picalc-record still starts on systems older
// than they are, which tell no classes.
std::vector<ProcessorRank> cpu_set_ranks() {
    using QueryFunction = BOOL(WINAPI*)(void*, ULONG, PULONG, HANDLE, ULONG);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto* query = kernel == nullptr ? nullptr
                                    : reinterpret_cast<QueryFunction>(any_function(
                                          GetProcAddress(kernel, "GetSystemCpuSetInformation")));
    ULONG size = 0;
    if (query == nullptr) {
        return {};
    }
    static_cast<void>(query(nullptr, 0, &size, GetCurrentProcess(), 0));
    if (size == 0 || size > (1U << 24U)) {
        return {};
    }
    std::vector<unsigned char> buffer(size);
    if (query(buffer.data(), size, &size, GetCurrentProcess(), 0) == 0 || size > buffer.size()) {
        return {};
    }
    std::vector<ProcessorRank> ranks;
    for (std::size_t at = 0; at + sizeof(CpuSetEntry) <= size;) {
        CpuSetEntry entry{};
        std::memcpy(&entry, buffer.data() + at, sizeof entry);
        if (entry.size < sizeof entry) {
            break; // not a size this layout knows: stop rather than misread
        }
        if (entry.type == 0) {
            ranks.push_back(
                {static_cast<std::int32_t>(entry.group) * 64 + entry.logical_processor_index,
                 entry.efficiency_class,
                 "efficiency class " + std::to_string(entry.efficiency_class)});
        }
        at += entry.size;
    }
    return ranks;
}

// The processors of this process's group that every picalc started from
// now on is held to; 0: any.
DWORD_PTR pinned_mask = 0;

} // namespace

bool start_child(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& output_path, Child& child) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output = CreateFileA(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        child.error = "cannot write " + output_path + ": " + last_error_text();
        return false;
    }
    // The NUL device: reading it ends at once, as a closed input does.
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string command_line = quoted_argument(program);
    for (const std::string& argument : arguments) {
        command_line += " " + quoted_argument(argument);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    // A pinned picalc starts suspended, to run not one instruction before
    // its affinity is set.
    const bool pinned = pinned_mask != 0;
    const BOOL started =
        CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       pinned ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup, &process);
    if (started == 0) {
        child.error = last_error_text();
    }
    CloseHandle(output);
    if (input != INVALID_HANDLE_VALUE) {
        CloseHandle(input);
    }
    if (started == 0) {
        return false;
    }
    // An affinity, not the CPU sets' soft preference: the run must not be
    // moved, whatever else wants the processor.
    if (pinned && (SetProcessAffinityMask(process.hProcess, pinned_mask) == 0 ||
                   ResumeThread(process.hThread) == static_cast<DWORD>(-1))) {
        child.error = "cannot keep it on its processor: " + last_error_text();
        static_cast<void>(TerminateProcess(process.hProcess, 1));
        static_cast<void>(WaitForSingleObject(process.hProcess, INFINITE));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return false;
    }
    CloseHandle(process.hThread);
    child.handle = reinterpret_cast<std::intptr_t>(process.hProcess);
    note_running(child.handle);
    // A stop or the time limit before the note found no picalc to stop.
    if (caught_signal != 0 || limit_passed) {
        static_cast<void>(TerminateProcess(process.hProcess, 1));
    }
    return true;
}

double seconds_of(const FILETIME& time) {
    return static_cast<double>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32U) |
                               time.dwLowDateTime) *
           1e-7;
}

std::int32_t wait_child(Child& child) {
    auto* process = reinterpret_cast<HANDLE>(child.handle);
    DWORD status = 0;
    const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process, &status) != 0;
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    // wine answers for another process with a few hundredths of a second,
    // whatever it used: there the other work stays unknown.
    if (ended && !under_wine() &&
        GetProcessTimes(process, &created, &exited, &kernel, &user) != 0) {
        child.cpu_seconds = seconds_of(kernel) + seconds_of(user);
    }
    note_ended(child.handle);
    CloseHandle(process);
    child.handle = -1;
    if (!ended || status > 255) {
        return -1;
    }
    return static_cast<std::int32_t>(status);
}

ProcessorTimes read_processor_times() {
    ProcessorTimes times;
    FILETIME idle{};
    FILETIME kernel{};
    FILETIME user{};
    // The kernel time includes the idle time.
    if (GetSystemTimes(&idle, &kernel, &user) != 0) {
        times.busy_seconds = seconds_of(kernel) - seconds_of(idle) + seconds_of(user);
        times.total_seconds = seconds_of(kernel) + seconds_of(user);
    }
    return times;
}

std::string picalc_beside(const char* argv0) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string self =
        length > 0 && length < MAX_PATH ? std::string(path, length) : std::string(argv0);
    const std::size_t slash = self.find_last_of("\\/");
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "\\picalc.exe";
}

std::string program_on_path(const std::string& name) {
    char path[MAX_PATH];
    const DWORD length =
        SearchPathA(nullptr, (name + ".exe").c_str(), nullptr, MAX_PATH, path, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : name + ".exe";
}

std::string make_private_folder(std::string& error) {
    char path[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof path, path);
    std::string base = length == 0 || length > MAX_PATH ? "." : std::string(path, length);
    if (base.back() == '\\') {
        base.pop_back();
    }
    // CreateDirectory fails on a name that exists, file, folder or link: the
    // folder made is a new one. Its access list is its owner's (and the
    // system's) alone, whatever the temporary folder would pass on.
    SECURITY_ATTRIBUTES owner_only{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    owner_only.lpSecurityDescriptor = private_descriptor();
    for (std::uint32_t attempt = 0; attempt < 100; ++attempt) {
        const std::string folder = base + "\\picalc-record-" +
                                   std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(GetTickCount64()) + "-" + std::to_string(attempt);
        if (CreateDirectoryA(folder.c_str(),
                             owner_only.lpSecurityDescriptor != nullptr ? &owner_only : nullptr) !=
            0) {
            if (!hold_folder(folder)) {
                error = "cannot hold the folder made for the runs' output, " + folder + ": " +
                        last_error_text();
                static_cast<void>(RemoveDirectoryA(folder.c_str()));
                return "";
            }
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            error =
                "cannot make a folder for the runs' output in " + base + ": " + last_error_text();
            return "";
        }
    }
    error = "cannot make a folder for the runs' output in " + base + ": every name was taken";
    return "";
}

bool remove_folder(const std::string& folder) {
    if (held_folder != INVALID_HANDLE_VALUE) {
        static_cast<void>(CloseHandle(held_folder));
        held_folder = INVALID_HANDLE_VALUE;
    }
    return RemoveDirectoryA(folder.c_str()) != 0;
}

void catch_stop_signals() {
    static_cast<void>(SetConsoleCtrlHandler(on_console_event, TRUE));
}

int stop_signal() {
    return caught_signal;
}

void end_by_signal(int) {
    // What Windows gives a console program that Ctrl+C ended.
    ExitProcess(0xC000013AU);
}

void arm_time_limit(std::int32_t seconds) {
    if (limit_timer != nullptr) {
        // Waits for a running callback: none can fire after this.
        static_cast<void>(DeleteTimerQueueTimer(nullptr, limit_timer, INVALID_HANDLE_VALUE));
        limit_timer = nullptr;
    }
    if (seconds <= 0) {
        return;
    }
    limit_passed = false;
    static_cast<void>(CreateTimerQueueTimer(&limit_timer, nullptr, on_time_limit, nullptr,
                                            static_cast<DWORD>(seconds) * 1000U, 0,
                                            WT_EXECUTEONLYONCE));
}

bool time_limit_passed() {
    return limit_passed;
}

std::int64_t process_number() {
    return GetCurrentProcessId();
}

CoreClasses read_core_classes() {
    // A process's affinity covers its own processor group: on machines of
    // more than 64 processors, the first group's are the ones it may use.
    std::vector<std::int32_t> usable;
    DWORD_PTR process_mask = 0;
    DWORD_PTR system_mask = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0) {
        for (std::int32_t bit = 0; bit < 64; ++bit) {
            if (((static_cast<std::uint64_t>(process_mask) >> static_cast<unsigned>(bit)) & 1U) !=
                0) {
                usable.push_back(bit);
            }
        }
    }
    return classes_by_rank(cpu_set_ranks(), usable);
}

bool pin_runs(const std::vector<std::int32_t>& processors, std::string& error) {
    DWORD_PTR mask = 0;
    for (const std::int32_t processor : processors) {
        // read_core_classes offers only this process's group's processors.
        if (processor < 0 || processor >= static_cast<std::int32_t>(8 * sizeof(DWORD_PTR))) {
            error = "processor " + std::to_string(processor) + " is outside this process's group";
            return false;
        }
        mask |= DWORD_PTR{1} << static_cast<unsigned>(processor);
    }
    pinned_mask = mask;
    return true;
}

MachineInfo read_machine() {
    MachineInfo machine;
    machine.processor =
        registry_text("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString");
    machine.logical_processors =
        static_cast<std::int32_t>(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
    DWORD_PTR process_mask = 0;
    DWORD_PTR system_mask = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0) {
        machine.usable_processors = __builtin_popcountll(process_mask);
    }
    read_cores(machine);
    read_caches(machine);
    read_cpuid(machine);
    // The registry's "~MHz" is the processor's rated speed.
    machine.base_mhz =
        registry_number("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "~MHz");
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (GlobalMemoryStatusEx(&memory) != 0) {
        machine.memory_mib = static_cast<std::int64_t>(memory.ullTotalPhys / (1024U * 1024U));
    }
    machine.governor = power_plan();
    machine.system = windows_version();
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
        machine.architecture = "x86_64";
        break;
    case PROCESSOR_ARCHITECTURE_INTEL:
        machine.architecture = "i686";
        break;
    case PROCESSOR_ARCHITECTURE_ARM64:
        machine.architecture = "aarch64";
        break;
    default:
        break;
    }
    return machine;
}

std::string today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char date[16];
    static_cast<void>(
        std::snprintf(date, sizeof date, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay));
    return date;
}

} // namespace picalc::record
