// picalc-record's porting file for Windows.
#include "portme.h"

#include <windows.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include <cstdio>
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

std::int32_t physical_cores() {
    DWORD size = 0;
    GetLogicalProcessorInformationEx(RelationProcessorCore, nullptr, &size);
    std::vector<char> buffer(size);
    auto* first = reinterpret_cast<SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(buffer.data());
    if (size == 0 || GetLogicalProcessorInformationEx(RelationProcessorCore, first, &size) == 0) {
        return -1;
    }
    std::int32_t cores = 0;
    for (DWORD offset = 0; offset < size; ++cores) {
        offset += reinterpret_cast<SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(buffer.data() + offset)
                      ->Size;
    }
    return cores;
}

// GetProcAddress gives every function one type; going through this one
// says that the real type is known to the caller.
using AnyFunction = void (*)();
AnyFunction any_function(FARPROC function) {
    return reinterpret_cast<AnyFunction>(function);
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

} // namespace

bool start_child(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& output_path, Child& child) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE output = CreateFileA(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    const BOOL started = CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr,
                                        TRUE, 0, nullptr, nullptr, &startup, &process);
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
    CloseHandle(process.hThread);
    child.handle = reinterpret_cast<std::intptr_t>(process.hProcess);
    return true;
}

std::int32_t wait_child(Child& child) {
    auto* process = reinterpret_cast<HANDLE>(child.handle);
    DWORD status = 0;
    const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process, &status) != 0;
    CloseHandle(process);
    child.handle = -1;
    if (!ended || status > 255) {
        return -1;
    }
    return static_cast<std::int32_t>(status);
}

std::string picalc_beside(const char* argv0) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string self =
        length > 0 && length < MAX_PATH ? std::string(path, length) : std::string(argv0);
    const std::size_t slash = self.find_last_of("\\/");
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "\\picalc.exe";
}

std::string temporary_folder() {
    char path[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length > MAX_PATH) {
        return ".";
    }
    std::string folder(path, length);
    if (folder.back() == '\\') {
        folder.pop_back();
    }
    return folder;
}

std::int64_t process_number() {
    return GetCurrentProcessId();
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
    machine.physical_cores = physical_cores();
#if defined(__i386__) || defined(__x86_64__)
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
        machine.hypervisor = static_cast<std::int32_t>((ecx >> 31U) & 1U);
    }
#endif
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
