#include "sources/walk.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <typeinfo>

#include "game/screen.h"
#include "game/screen_backend.h"
#include "game/screen_manager.h"
#include "platform/gfx/present.h"
#include "platform/headless/script.h"
#include "platform/window.h"
#include "sources/application.h"

namespace {

std::unique_ptr<Walk>& active_walk()
{
    static std::unique_ptr<Walk> walk;
    return walk;
}

struct KeyName {
    const char* name;
    int key;
};

constexpr KeyName key_names[] = {
    {"Enter", platform::vk::RETURN},    {"BackSpace", platform::vk::BACK}, {"Escape", platform::vk::ESCAPE},
    {"Space", platform::vk::SPACE},     {"Tab", platform::vk::TAB},        {"Delete", platform::vk::DELETE_KEY},
    {"Left", platform::vk::LEFT},       {"Right", platform::vk::RIGHT},    {"Up", platform::vk::UP},
    {"Down", platform::vk::DOWN},
};

bool parse_int(const std::string& text, int32_t& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || number < -100000 || number > 100000)
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The class of the current screen's backend, without its namespace ("GameScreen"); empty
// when there is none.
const game::ScreenBackend* current_backend(QuilloTovraApplication& application)
{
    game::ScreenManager* screens = application.root ? application.root->GetScreenManager() : nullptr;
    game::Screen* screen = screens ? screens->GetCurrentScreen() : nullptr;
    return screen ? screen->GetBackend() : nullptr;
}

std::string class_name(const game::ScreenBackend* backend)
{
    if (!backend)
        return "none";
    const char* mangled = typeid(*backend).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    const size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

} // namespace

bool Walk::Parse(const std::string& script, std::vector<Step>& steps, std::string& error)
{
    std::istringstream lines(script);
    std::string text;
    int number = 0;
    while (std::getline(lines, text)) {
        ++number;
        if (const size_t hash = text.find('#'); hash != std::string::npos)
            text.erase(hash);
        text = trimmed(text);
        if (text.empty())
            continue;
        const size_t space = text.find_first_of(" \t");
        const std::string word = text.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : trimmed(text.substr(space));
        std::istringstream words(rest);
        std::string first, second, extra;
        words >> first >> second >> extra;

        Step step;
        step.line = number;
        step.source = text;
        const auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(number) + " (" + text + "): " + why;
            return false;
        };
        if (word == "screen" || word == "snapshot") {
            if (first.empty() || !second.empty())
                return fail("one name expected");
            step.kind = word == "screen" ? Step::Kind::screen : Step::Kind::snapshot;
            step.text = first;
        } else if (word == "frames") {
            if (!parse_int(first, step.x) || step.x < 0 || !second.empty())
                return fail("a number of frames expected");
            step.kind = Step::Kind::frames;
            step.count = step.x;
            step.x = 0;
        } else if (word == "move" || word == "click") {
            if (!parse_int(first, step.x) || !parse_int(second, step.y) || !extra.empty())
                return fail("client coordinates x y expected");
            step.kind = word == "move" ? Step::Kind::move : Step::Kind::click;
        } else if (word == "key") {
            step.kind = Step::Kind::key;
            for (const KeyName& key : key_names)
                if (first == key.name && second.empty())
                    step.count = key.key;
            if (step.count == 0)
                return fail("unknown key");
            step.text = first;
        } else if (word == "text") {
            if (rest.empty())
                return fail("characters expected");
            for (const char c : rest)
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
                    return fail("only printable ASCII characters can be typed");
            step.kind = Step::Kind::text;
            step.text = rest;
        } else if (word == "answer") {
            if ((first != "yes" && first != "no") || !second.empty())
                return fail("yes or no expected");
            step.kind = Step::Kind::answer;
            step.count = first == "yes" ? 1 : 0;
        } else if (word == "close" || word == "stop") {
            if (!rest.empty())
                return fail("no arguments expected");
            step.kind = word == "close" ? Step::Kind::close : Step::Kind::stop;
        } else {
            return fail("unknown step");
        }
        steps.push_back(step);
    }
    return true;
}

bool Walk::StartFromEnvironment()
{
    const char* path = std::getenv("QUILLO_WALK");
    if (!path || !*path)
        return true;
    // A folder opens as a stream that reads nothing: it would be an empty walk that ends
    // the run at once as if it had passed.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        std::fprintf(stderr, "quillo: walk failed: \"%s\" is a folder, not a walk script\n", path);
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    std::stringstream script;
    script << file.rdbuf();
    if (!file) {
        std::fprintf(stderr, "quillo: walk failed: cannot read the script \"%s\"\n", path);
        return false;
    }
    std::vector<Step> steps;
    std::string error;
    if (!Parse(script.str(), steps, error)) {
        std::fprintf(stderr, "quillo: walk failed: %s: %s\n", path, error.c_str());
        return false;
    }
    const char* golden = std::getenv("QUILLO_WALK_GOLDEN");
    const char* update = std::getenv("QUILLO_UPDATE_GOLDEN");
    // The walk itself decides when the run ends.
    platform::headless::set_frame_limit(0);
    active_walk() = std::make_unique<Walk>(std::move(steps), golden ? golden : "", update && std::strcmp(update, "1") == 0);
    return true;
}

Walk* Walk::Active() noexcept
{
    return active_walk().get();
}

void Walk::Reset()
{
    active_walk().reset();
}

Walk::Walk(std::vector<Step> steps, std::string golden_folder, bool update_golden)
    : steps_(std::move(steps)), golden_folder_(std::move(golden_folder)), update_golden_(update_golden)
{
}

void Walk::OnFrame(QuilloTovraApplication& application, bool game_frame)
{
    if (failed_ || ended_)
        return;
    if (game_frame)
        ++game_frames_;
    while (next_ < steps_.size()) {
        const Step& step = steps_[next_];
        if (!step_started_) {
            step_started_ = true;
            waited_ = 0;
            passed_ = 0;
            snapshot_after_ = platform::gfx::last_presented_frame().number;
            snapshot_armed_ = step.kind == Step::Kind::snapshot;
        } else {
            ++waited_;
            if (game_frame)
                ++passed_;
        }
        // A snapshot waits for a presented frame, whatever kind of frame brings it; the
        // other steps move only with the game.
        if (!game_frame && step.kind != Step::Kind::snapshot) {
            if (waited_ > WaitLimit + step.count)
                Fail(&application, "no game frame for " + std::to_string(WaitLimit) + " frames (loads pending)");
            break;
        }
        if (!RunStep(application, step)) {
            if (failed_)
                break;
            if (waited_ > WaitLimit + step.count) {
                Fail(&application, step.kind == Step::Kind::screen
                                       ? "timed out waiting for the screen (current: " +
                                             class_name(current_backend(application)) + ")"
                                       : "timed out");
            }
            break;
        }
        Report(step);
        ++next_;
        step_started_ = false;
        if (step.kind == Step::Kind::stop) {
            ended_ = true;
            break;
        }
    }
    if (!failed_ && !ended_ && next_ >= steps_.size()) {
        ended_ = true;
        // The game is quitting already (the script's last click did it), or it ends as a
        // stop ends it.
        if (application.running) {
            platform::headless::push_message_box_answer(true);
            platform::headless::push_close(application.get_window().window);
        }
    }
}

bool Walk::RunStep(QuilloTovraApplication& application, const Step& step)
{
    const platform::WindowHandle window = application.get_window().window;
    switch (step.kind) {
    case Step::Kind::screen: {
        // A screen is built in the scheduler's pass of a root update, and that same pass
        // runs the OnInitialized it posts.
        return class_name(current_backend(application)) == step.text;
    }
    case Step::Kind::frames:
        return passed_ >= step.count;
    case Step::Kind::move:
        platform::headless::push_mouse_move(window, step.x, step.y);
        return true;
    case Step::Kind::click:
        platform::headless::push_mouse_move(window, step.x, step.y);
        platform::headless::push_mouse_button(window, 0, true, step.x, step.y);
        platform::headless::push_mouse_button(window, 0, false, step.x, step.y);
        return true;
    case Step::Kind::key:
        platform::headless::push_key(window, step.count, true);
        platform::headless::push_key(window, step.count, false);
        return true;
    case Step::Kind::text:
        for (const char c : step.text)
            platform::headless::push_char(window, static_cast<unsigned char>(c));
        return true;
    case Step::Kind::answer:
        platform::headless::push_message_box_answer(step.count != 0);
        return true;
    case Step::Kind::close:
        platform::headless::push_close(window);
        return true;
    case Step::Kind::snapshot:
        return CheckSnapshot(step);
    case Step::Kind::stop:
        platform::headless::push_message_box_answer(true);
        platform::headless::push_close(window);
        return true;
    }
    return false;
}

void Walk::OnRendered()
{
    if (!snapshot_armed_)
        return;
    snapshot_armed_ = false;
    snapshot_after_ = platform::gfx::last_presented_frame().number;
}

bool Walk::CheckSnapshot(const Step& step)
{
    const platform::gfx::PresentedFrame& frame = platform::gfx::last_presented_frame();
    if (snapshot_armed_ || frame.number <= snapshot_after_)
        return false;
    if (golden_folder_.empty())
        return true;
    const std::filesystem::path path = std::filesystem::path(golden_folder_) / (step.text + ".png");
    if (update_golden_) {
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
        if (!platform::gfx::write_snapshot(path, frame).empty())
            Fail(nullptr, "cannot write " + path.string());
        return !failed_;
    }
    platform::gfx::PresentedFrame golden;
    if (!platform::gfx::read_snapshot(path, golden)) {
        Fail(nullptr, "cannot read " + path.string() + " (QUILLO_UPDATE_GOLDEN=1 writes it)");
        return false;
    }
    if (golden.width != frame.width || golden.height != frame.height) {
        Fail(nullptr, "the frame is " + std::to_string(frame.width) + "x" + std::to_string(frame.height) + ", " +
                          path.string() + " is " + std::to_string(golden.width) + "x" + std::to_string(golden.height));
        return false;
    }
    size_t differing = 0;
    for (size_t i = 0; i + 4 <= frame.pixels.size(); i += 4)
        differing += std::memcmp(&frame.pixels[i], &golden.pixels[i], 4) != 0;
    if (differing == 0)
        return true;
    std::error_code ignored;
    const std::filesystem::path actual =
        std::filesystem::temp_directory_path(ignored) / ("walk_" + step.text + ".actual.png");
    const bool kept = platform::gfx::write_snapshot(actual, frame).empty();
    Fail(nullptr, std::to_string(differing) + " pixels differ from " + path.string() +
                      (kept ? "; this frame is in " + actual.string() : std::string()));
    return false;
}

void Walk::Fail(QuilloTovraApplication* application, const std::string& reason)
{
    if (failed_)
        return;
    failed_ = true;
    if (next_ < steps_.size())
        std::fprintf(stderr, "quillo: walk failed at line %d (%s): %s\n", steps_[next_].line,
                     steps_[next_].source.c_str(), reason.c_str());
    else
        std::fprintf(stderr, "quillo: walk failed: %s\n", reason.c_str());
    // Straight out: the close asks nothing once the game is quitting.
    if (!application)
        application = QuilloTovraApplication::Instance();
    if (application)
        application->Quit();
}

void Walk::Report(const Step& step) const
{
    // One line per step, as it completes: where a walk stands, and what the start-up
    // bench times.
    QuilloTovraApplication* application = QuilloTovraApplication::Instance();
    std::fprintf(stderr, "quillo: walk line %d done: %s (game frame %d, presented frame %llu, screen %s)\n", step.line,
                 step.source.c_str(), game_frames_,
                 static_cast<unsigned long long>(platform::gfx::last_presented_frame().number),
                 application ? class_name(current_backend(*application)).c_str() : "none");
}

bool Walk::Finish()
{
    if (!failed_ && next_ < steps_.size())
        Fail(nullptr, "the run ended before this step");
    return !failed_;
}
