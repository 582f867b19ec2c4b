#include "sources/win_main.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>

#include "platform/system.h"
#include "platform/termination.h"
#include "platform/window.h"
#include "sources/application.h"
#include "sources/profile_manager.h"
#include "sources/resource_configuration.h"
#include "sources/walk.h"
#include "vadu/dictionary.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"
#include "vadu/path.h"

namespace {

// The running application, for the lock's listening thread: a second start asks it to
// come to the front, which happens on the window's thread.
std::mutex raise_mutex;
QuilloTovraApplication* raise_target = nullptr;

void raise_running_copy()
{
    std::lock_guard<std::mutex> lock(raise_mutex);
    if (QuilloTovraApplication* application = raise_target) {
        application->PostToWindowThread(
            [application] { platform::set_foreground_window(application->get_window().window); });
    }
}

struct RaiseTarget {
    explicit RaiseTarget(QuilloTovraApplication& application)
    {
        std::lock_guard<std::mutex> lock(raise_mutex);
        raise_target = &application;
    }
    ~RaiseTarget()
    {
        std::lock_guard<std::mutex> lock(raise_mutex);
        raise_target = nullptr;
    }
};

std::string text_of(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

void write_log(const std::string& line)
{
    try {
        vadu::logs::log() << line.c_str() << "\n";
    } catch (const vadu::Gluck&) {
        // No log was made yet (the application failed before its log creator).
    }
}

// The box unless the start was the settings starter's; always stderr and the log.
void report(const vadu::String& commandLine, const vadu::String& text, const char* caption)
{
    std::fprintf(stderr, "quillo: %s\n%s", caption, text.c_str());
    write_log(std::string(caption) + "\n" + text_of(text));
    if (commandLine == "Starter")
        return;
    if (!platform::message_box_ok(text.c_str(), caption))
        write_log("The report box could not be shown");
}

// The exit's shell calls. The installation's executable is never run: only the play
// shortcut is opened, and only as a web address.
void open_exit_files()
{
    const vadu::filesystem::String shortcut("%app_path%/play.url", true);
    std::string detail;
    const platform::ShellOpenResult result = platform::shell_open(text_of(shortcut.get_text()), &detail);
    if (result != platform::ShellOpenResult::opened && result != platform::ShellOpenResult::recorded)
        write_log("Not opened: " + text_of(shortcut.get_text()) + " (" + detail + ")");
}

} // namespace

std::string OneCopyKey(const std::string& key, const std::string& saveFolder)
{
    // The folder may not exist yet (a first start): the part that exists is resolved, the
    // rest is only tidied.
    std::error_code error;
    std::filesystem::path folder = std::filesystem::weakly_canonical(saveFolder, error);
    if (error)
        folder = std::filesystem::path(saveFolder).lexically_normal();
    std::string text = folder.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return key + "|" + text;
}

vadu::String BuildReportText(const vadu::Gluck& gluck)
{
    return "In: " + gluck.get_function() + "\nDescription: " + gluck.get_description() + "\n";
}

vadu::String BuildReportText(const vadu::GluckBadResource& gluck)
{
    return BuildReportText(static_cast<const vadu::Gluck&>(gluck)) + "Resource: " + gluck.get_resource().get_text() +
           "\n";
}

int32_t WinMain(const vadu::String& commandLine, const WinMainOptions& options)
{
    // 1. The title, which is also what a second copy looks for.
    const vadu::String title = "Quillo Tovra";
    // 2. The game's platform facts.
    vadu::PlatformInfo::install(new GamePlatformInfo());
    // The desktop's termination signals end the run as an agreed close: the profiles
    // saved, the normal exit.
    const platform::EndOnSignals ending;
    // 3. One copy at a time, for the whole run: a second start raises the first one.
    platform::InstanceLock lock;
    if (options.singleInstance) {
        const std::string folder = text_of(Settings::GetUserDataFolder().get_text());
        switch (lock.acquire(OneCopyKey(options.instanceKey, folder), &raise_running_copy)) {
        case platform::InstanceLock::Result::held_elsewhere:
            return ExitDuplicate;
        case platform::InstanceLock::Result::failed:
            std::fprintf(stderr, "quillo: running without the one-copy lock (%s)\n", lock.error().c_str());
            break;
        case platform::InstanceLock::Result::acquired:
            break;
        }
    }

    try {
        // 4. The application.
        QuilloTovraApplication application(title, commandLine);
        RaiseTarget raise(application);
        write_log("Command line: " + text_of(commandLine));
        if (options.singleInstance && !lock.held())
            write_log("Running without the one-copy lock: " + lock.error());

        // 5. The description that fits the desktop's shape.
        const bool wide = vadu::PlatformInfo::instance().is_wide_screen();
        application.Initialize(vadu::filesystem::String(wide ? "data/quillo_wide.game" : "data/quillo.game", true));

        // 6. The window: the description's size fitted to the desktop; full screen on a
        // first start or when the player chose it, else centred.
        vadu::Window& window = application.get_window();
        platform::FitWindowSizeToDesktop(window, static_cast<int32_t>(application.gameDefinition->GetWindowWidth()),
                                         static_cast<int32_t>(application.gameDefinition->GetWindowHeight()));
        ProfileManager* profiles = ProfileManager::Instance();
        if (profiles->GetProfileCount() == 0 || !profiles->current || profiles->current->fullscreen)
            platform::ToggleFullscreen(window);
        else
            platform::CenterWindow(window);

        // 7. The localized title.
        platform::set_window_text_w(window.window, vadu::lookup_text("window_title").c_str());

        // 8. The game.
        QuilloTovraApplication::TraceStep("main loop");
        application.run_main_loop();
        if (Walk* walk = Walk::Active(); walk && !walk->Finish())
            return ExitWalkFailed;

        // 9. The exit's shell call.
        open_exit_files();
        // 10. The application goes with the block.
    } catch (const vadu::GluckBadResource& gluck) {
        report(commandLine, BuildReportText(gluck), "catch( const GluckBadResource & gluck )");
        return ExitBadResource;
    } catch (const vadu::Gluck& gluck) {
        report(commandLine, BuildReportText(gluck), "catch( const Gluck & gluck )");
        return ExitGluck;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quillo: %s\n", error.what());
        write_log(std::string("Start-up failed: ") + error.what());
        return ExitOtherError;
    }
    return ExitNormal;
}
