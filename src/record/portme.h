// Everything picalc-record does that differs per operating system: starting
// picalc with its output in a file, waiting for it, and asking the system
// about the machine. One small file per platform implements it:
// portme_posix.cpp and portme_windows.cpp.
#pragma once

#include "record.h"
#include "statistics.h"

#include <cstdint>
#include <string>
#include <vector>

namespace picalc::record {

// The processor time of the whole system since it started, summed over every
// processor: busy (any process's or the kernel's) and in all, idle included.
using ProcessorTimes = stats::ProcessorTimes;
ProcessorTimes read_processor_times();

// Starts picalc with its standard input closed and its standard output in
// output_path; false, with child.error, when it cannot be started.
bool start_child(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& output_path, Child& child);
// Its exit status once it has ended, with its processor time; -1 when it was
// killed or lost.
std::int32_t wait_child(Child& child);

// A folder of this process's own for the runs' output, that no other user
// can read, plant files in or redirect: POSIX's mkdtemp under TMPDIR, or a
// new folder under Windows' temporary folder. "" with ERROR when none can be
// made. Files in it are created exclusively.
std::string make_private_folder(std::string& error);
bool remove_folder(const std::string& folder); // empty ones only

// From now on INT, TERM and HUP (Windows: Ctrl+C, Ctrl+Break, the console
// closing) stop every picalc this process started; stop_signal() then says
// which came, and end_by_signal ends this process as it would have.
void catch_stop_signals();
int stop_signal(); // 0: none
[[noreturn]] void end_by_signal(int signal);
// Every picalc still running SECONDS from now is stopped then, and
// time_limit_passed() says so; 0 cancels the limit.
void arm_time_limit(std::int32_t seconds);
bool time_limit_passed();

// The picalc in the folder of this program ("picalc" or "picalc.exe").
std::string picalc_beside(const char* argv0);
// The program NAME (Windows: NAME.exe) as found on the PATH; NAME itself
// when it is not there, so that starting it fails with the system's words.
std::string program_on_path(const std::string& name);
// A short number that tells this process's files from another's.
std::int64_t process_number();

// The processor, the processor counts, the hypervisor, the system and the
// architecture, the frequencies, caches, memory and power policy, as far as
// this system tells them.
MachineInfo read_machine();

// The machine's classes of core, among the processors this process may use
// when it starts: Linux's sysfs, or Windows' CPU sets.
CoreClasses read_core_classes();
// Every picalc started from now on runs only on PROCESSORS (as
// read_core_classes numbers them); none: wherever this process could when
// it started. False, with ERROR, when the system refuses.
bool pin_runs(const std::vector<std::int32_t>& processors, std::string& error);

// Today's date as YYYY-MM-DD, local time.
std::string today();

} // namespace picalc::record
