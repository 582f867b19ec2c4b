#pragma once

// Small helpers the shell's data classes share: whole-file reads through the engine's file
// system, and log lines that are safe before the log exists.

#include <cstdint>
#include <optional>
#include <vector>

#include "vadu/path.h"
#include "vadu/string.h"

// The whole file through the current file system; nothing when it does not open.
std::optional<std::vector<uint8_t>> ReadWholeFile(const vadu::filesystem::String& path);

// One line into the engine's log (the line break is added); standard error without a log.
void LogLine(const vadu::String& text);
