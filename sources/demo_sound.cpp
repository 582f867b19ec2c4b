#include "sources/demo_sound.h"

#include "vadu/exception.h"

namespace {

// Made when needed: a live path holds the path-macro table.
vadu::filesystem::String theme(bool danger)
{
    return vadu::filesystem::String(danger ? "data/music/danger_theme" : "data/music/main_theme", true);
}

} // namespace

DemoSound::DemoSound(vadu::WindowCreator& window) : MessageHandler(window), fader_(2.0)
{
    fader_.set_track(theme(false));
    try {
        click_.reset(vadu::noise::Manager::create_immortal_static_channel(
            vadu::noise::atoms::Type2D, vadu::filesystem::String("data/sounds/button_click", true)));
        click_->change_attribute(vadu::noise::atoms::Loop, 0.0);
    } catch (const vadu::GluckBadResource& error) {
        // A missing click leaves the demo without it, not without a game.
        vadu::logs::log() << "No click sound: " << error.get_resource().get_text() << "\n";
    }
}

DemoSound::~DemoSound() = default;

void DemoSound::update(double seconds)
{
    fader_.update(static_cast<float>(seconds));
}

void DemoSound::set_inactive(bool inactive)
{
    inactive_ = inactive;
    fader_.set_volume(inactive ? 0.0 : 1.0);
}

int32_t DemoSound::OnWindowMessage(uint32_t message, uintptr_t wparam, intptr_t /*lparam*/)
{
    namespace wm = platform::wm;
    switch (message) {
    case wm::LBUTTONDOWN:
        if (click_)
            click_->play(nullptr);
        break;
    case wm::RBUTTONDOWN:
        danger_ = !danger_;
        fader_.set_track(theme(danger_));
        break;
    case wm::ACTIVATE:
        set_inactive((wparam & 0xFFFF) == platform::WA_INACTIVE);
        break;
    case wm::SYSCOMMAND:
        if ((wparam & 0xFFF0) == platform::SC_MINIMIZE)
            set_inactive(true);
        break;
    default:
        break;
    }
    return 0;
}
