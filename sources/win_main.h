#pragma once

// The program's entry: one copy per user, the game's platform facts, the application with
// the game description that fits the desktop, the window placed, the main loop, and a
// report box for the engine's exceptions.

#include <cstdint>
#include <string>

#include "vadu/exception.h"
#include "vadu/string.h"

// What the entry returns; the process status is its low byte (0, 0, 1, 2, 3, 4).
constexpr int32_t ExitNormal = 2000000000;
constexpr int32_t ExitDuplicate = 0;
constexpr int32_t ExitBadResource = 2000000001;
constexpr int32_t ExitGluck = 2000000002;
// Any other exception that escapes start-up or the loop.
constexpr int32_t ExitOtherError = 3;
// A scripted walk (QUILLO_WALK) failed.
constexpr int32_t ExitWalkFailed = 4;

struct WinMainOptions {
    // Hold the one-copy lock for the whole run. Headless runs take none unless asked.
    bool singleInstance = true;
    // The lock's name; by default the window class and the title, as a second copy would
    // look for the first one's window. The run's save folder is added to it (OneCopyKey).
    std::string instanceKey = "vadu::WindowsCreator/Quillo Tovra";
};

// The one-copy lock's full name: the key and the per-user folder the run saves in, so that
// runs over different save folders (a second account, a portable copy, every test) never
// meet, while two starts over one folder always do, however the folder is spelled.
std::string OneCopyKey(const std::string& key, const std::string& saveFolder);

// The command line is the program's arguments joined by single spaces ("Starter" keeps
// failures silent: no box).
int32_t WinMain(const vadu::String& commandLine, const WinMainOptions& options = {});

// "In: ...\nDescription: ...\n", and "Resource: ...\n" for a bad resource.
vadu::String BuildReportText(const vadu::Gluck& gluck);
vadu::String BuildReportText(const vadu::GluckBadResource& gluck);
