#include "platform/crash.h"
#include "platform/window.h"
#include "sources/walk.h"
#include "sources/win_main.h"

int main(int argc, char** argv)
{
    // A run started by the crash handler only asks whether to write the full dump.
    if (const int answer = platform::answer_crash_question(argc, argv); answer >= 0)
        return answer;

    // The arguments as one line, the program's name left out: "quillo settings" gives
    // exactly "settings".
    vadu::String command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            command_line += " ";
        command_line += argv[i];
    }
    // A scripted walk runs headless; a script that cannot be read ends the run at once.
    if (!Walk::StartFromEnvironment())
        return ExitWalkFailed;
    WinMainOptions options;
    // Headless runs (tests, snapshots) may run side by side.
    options.singleInstance = !platform::is_headless();
    // The status is the low byte: 0 after a normal run or a second copy, 1 after a bad
    // resource, 2 after an engine error, 3 after any other error, 4 after a failed walk.
    return WinMain(command_line, options) & 0xFF;
}
