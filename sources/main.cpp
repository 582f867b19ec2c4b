#include "platform/crash.h"
#include "sources/application.h"
#include "vadu/exception.h"

#include <cstdio>
#include <exception>

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
    try {
        QuilloTovraApplication application("Quillo Tovra", command_line);
        application.run_main_loop();
    } catch (const vadu::GluckBadResource& gluck) {
        std::fprintf(stderr, "quillo: %s: %s: %s\n", gluck.get_function().c_str(), gluck.get_description().c_str(),
                     gluck.get_resource().c_str());
        return 1;
    } catch (const vadu::Gluck& gluck) {
        std::fprintf(stderr, "quillo: %s: %s\n", gluck.get_function().c_str(), gluck.get_description().c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillo: %s\n", error.what());
        return 1;
    }
    return 0;
}
