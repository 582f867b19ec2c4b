#include "sources/Screens/splash_screen.h"

#include <string>
#include <vector>

#include "game/screen.h"
#include "game/screen_manager.h"
#include "game/service_provider.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/path.h"

namespace {

struct Picture {
    const char* name;
    // The file whose presence lists the picture; null: always listed.
    const char* probe;
    bool publisher;
};

// In showing order.
constexpr Picture pictures[] = {
    {"fsdata/splash2", "fsdata/splash2.jpg", true},
    {"fsdata/splash1", "fsdata/splash1.jpg", true},
    {"data/splash/logo1", nullptr, false},
    {"data/splash/logo2", nullptr, false},
    {"data/splash/logo3", "data/splash/logo3.png", false},
};

bool exists(const char* path)
{
    return vadu::filesystem::open(vadu::filesystem::String(path, true)) != nullptr;
}

constexpr float fade_seconds = 1.0f;
constexpr float hold_seconds = 2.0f;
// A publisher's picture fills a narrow desktop's width (one pixel more, against a seam).
constexpr float narrow_publisher_width = 1025.0f;

} // namespace

SplashScreen::SplashScreen(SequenceAction* initial, double time) : elapsed(time), unstarted_(initial)
{
    sequence = unstarted_.get();
}

SplashScreen::~SplashScreen()
{
    if (button_)
        button_->GetClickSignal().Disconnect(connection_);
    ActionManager::Global().Clear();
}

void SplashScreen::Update(double seconds)
{
    ActionManager::Global().Update(static_cast<float>(seconds));
    elapsed += seconds;
}

void SplashScreen::OnInitialized()
{
    game::ScreenSite* site = GetSite();
    vadu::lib3d::node::Node* root = site ? site->GetSceneRoot() : nullptr;
    auto* prototype =
        root ? dynamic_cast<vadu::lib3d::node::Sprite*>(root->find_child(vadu::Atom("logo_prototype"), true)) : nullptr;
    if (!prototype)
        throw vadu::Gluck("SplashScreen::OnInitialized", "Unable to find sprite logo_prototype");

    std::vector<const Picture*> shown;
    publisherPictureCount = 0;
    for (const Picture& picture : pictures) {
        if (picture.probe && !exists(picture.probe))
            continue;
        shown.push_back(&picture);
        if (picture.publisher)
            ++publisherPictureCount;
    }

    const bool wide = vadu::PlatformInfo::instance().is_wide_screen();
    std::vector<vadu::lib3d::node::Node*> clones;
    for (size_t i = 0; i < shown.size(); ++i) {
        auto* clone = static_cast<vadu::lib3d::node::Sprite*>(prototype->clone());
        if (static_cast<int>(i) < publisherPictureCount && !wide)
            clone->set_width(narrow_publisher_width);
        root->add_child(clone, true);
        clone->set_texture(shown[i]->name, false);
        clones.push_back(clone);
    }

    // Per picture a cross-fade with the one before, then a hold; after the last one a
    // fade-out and an empty hold.
    const size_t count = clones.size();
    for (size_t i = 0; i <= count; ++i) {
        auto* fades = new GroupAction(nullptr);
        if (i >= 1)
            fades->Add(new FadeAction(clones[i - 1], fade_seconds, 1));
        if (i < count)
            fades->Add(new FadeAction(clones[i], fade_seconds, 0));
        sequence->Add(fades);
        sequence->Add(new DelayAction(i == count ? 0.0f : hold_seconds));
    }

    game::ServiceProvider* services = site->GetServiceProvider();
    sequence->SetOnFinished([this, services](BaseAnimation*) {
        // The manager deletes the finished sequence: a later click must not reach it.
        sequence = nullptr;
        if (game::ScreenManager* manager = services ? services->Get<game::ScreenManager>() : nullptr)
            manager->ChangeScreen("Exit", false);
    });

    skipButton = site->GetScreen()->FindControl(vadu::Atom("ScreenButton"));
    button_ = game::controls::as_button(skipButton);
    if (!button_)
        throw vadu::Gluck("SplashScreen::OnInitialized", "Unable to find key Btn");
    connection_ = button_->GetClickSignal().Connect([this](game::controls::Control*) { OnSkip(); });

    ActionManager::Global().RunAction(sequence, unstarted_.release(), vadu::Atom("SplashAnimation"));
}

void SplashScreen::OnSkip()
{
    if (elapsed < 3.0 * publisherPictureCount + 1.0 || !sequence)
        return;
    // The running step ends at once, and so does every fade after it: the next picture
    // stands fully shown (or the splash ends with the last fade-out).
    if (sequence->Front())
        sequence->Update(sequence->FrontDuration());
    while (sequence->Front() && sequence->Front()->NeedsTarget())
        sequence->Update(sequence->FrontDuration());
}

std::unique_ptr<game::ScreenBackend> SplashScreen_Create()
{
    return std::make_unique<SplashScreen>(new SequenceAction(), 0.0);
}
