#pragma once

// Facts about the machine and the clock that the engine reports in its logs and dump
// names, from the operating system.

#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

// The processor architecture ("x86_64"); "" when unknown.
std::string machine_architecture();

// The kernel's release text ("6.1.0-18-amd64"); "" when unknown.
std::string system_release();

// Installed memory in bytes; 0 when unknown.
uint64_t physical_memory();

// The computer's network name; "" when unknown.
std::string host_name();

// The local calendar time of a moment; false (and `out` zeroed) when it cannot be had.
bool local_time(std::time_t moment, std::tm& out);

} // namespace platform
