// The demo as a program, for the tests that compare its frames: the demo application's
// main loop over the game's program folder (the demo's data ships there). Its status is
// 0 after a normal run and 1 after an engine error.

#include <cstdio>
#include <exception>

#include "fixtures/demo_application.h"
#include "platform/folders.h"
#include "vadu/exception.h"

int main(int argc, char** argv)
{
    // The program folder's data and starter.ini, as if the demo were installed there.
    if (argc > 1)
        platform::set_folder_override(platform::folder_key_module_file, std::string(argv[1]) + "/quillo");
    try {
        DemoApplication application("Quillo Tovra", "");
        application.run_main_loop();
    } catch (const vadu::Gluck& gluck) {
        std::fprintf(stderr, "demo: %s: %s\n", gluck.get_function().c_str(), gluck.get_description().c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "demo: %s\n", error.what());
        return 1;
    }
    return 0;
}
