#include "sources/application.h"
#include "vadu/exception.h"

#include <cstdio>
#include <exception>

int main()
{
    try {
        QuilloTovraApplication application("Quillo Tovra");
        application.run_main_loop();
    } catch (const vadu::Gluck& gluck) {
        std::fprintf(stderr, "quillo: %s: %s\n", gluck.get_function().c_str(), gluck.get_description().c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillo: %s\n", error.what());
        return 1;
    }
    return 0;
}
