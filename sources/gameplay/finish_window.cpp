#include "sources/gameplay/finish_window.h"

#include "game/controls/button.h"
#include "game/screen.h"
#include "game/screen_manager.h"
#include "game/service_provider.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/format_thousands.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shape_chain.h"
#include "sources/gameplay/shell_services.h"
#include "vadu/lib3d/node/node.h"

namespace gameplay {

using vadu::Atom;
using vadu::lib3d::node::Node;
using vadu::math::Vector3;

namespace {

struct ButtonBinding {
    const char* name;
    void (FinishWindow::*handler)();
};

constexpr ButtonBinding kButtons[] = {
    {"FinishButtonBack", &FinishWindow::OnBack},     {"FinishButtonStore", &FinishWindow::OnStore},
    {"FinishButtonContinue", &FinishWindow::OnContinue}, {"GameoverButtonBack", &FinishWindow::OnBack},
    {"GameoverButtonStore", &FinishWindow::OnStore}, {"GameoverButtonRestart", &FinishWindow::OnRestart},
};

} // namespace

FinishWindow::FinishWindow(game::ScreenSite& site) : site_(site), self_(std::make_shared<FinishWindow*>(this))
{
    game::Screen* screen = site_.GetScreen();
    if (!screen)
        return;
    for (const ButtonBinding& binding : kButtons) {
        const Atom name(binding.name);
        game::controls::Control* control = screen->FindControl(name);
        game::controls::ButtonImpl* button = game::controls::as_button(control);
        if (!button)
            continue;
        std::weak_ptr<FinishWindow*> self = self_;
        const auto handler = binding.handler;
        const auto id = button->GetClickSignal().Connect([self, handler](game::controls::Control*) {
            if (const auto window = self.lock())
                ((*window)->*handler)();
        });
        connections_.push_back(Connection{name, control, id});
    }
}

FinishWindow::~FinishWindow()
{
    // The screen may already have dropped its controls: only a button still found under
    // its name is the one connected.
    game::Screen* screen = site_.GetScreen();
    for (const Connection& connection : connections_) {
        game::controls::Control* control = screen ? screen->FindControl(connection.name) : nullptr;
        if (control != connection.control)
            continue;
        if (game::controls::ButtonImpl* button = game::controls::as_button(control))
            button->GetClickSignal().Disconnect(connection.id);
    }
}

void FinishWindow::OpenFinish(int earned, RunningLevel& level) { Open(true, earned, level); }

void FinishWindow::OpenGameover(int earned, RunningLevel& level) { Open(false, earned, level); }

void FinishWindow::Open(bool finish, int earned, RunningLevel& level)
{
    is_finish_ = finish;
    level_ = &level;
    Node* root = site_.GetSceneRoot();
    window_ = root ? root->find_child(Atom(finish ? "FinishWindow" : "GameoverWindow"), true) : nullptr;
    if (!window_)
        return;
    window_->set_visible(true);
    SlideTo(0.0f, true, nullptr);

    const ShapeChain& chain = level.Chain();
    const char* prefix = finish ? "Finish" : "Gameover";
    const auto label = [&](const char* name, const vadu::String& text) {
        SetChildText(window_, Atom((vadu::String(prefix) + name).c_str()), text);
    };
    label("Turns", vadu::format("%d", chain.StepNumber()));
    label("MaxCombo", vadu::format("%d", chain.BestCombo()));
    label("Earned", FormatThousands(earned));
    if (finish) {
        const LevelProfile* record = level.Record();
        label("TotalScore", FormatThousands(record ? ShellServices::Get().GetLevelScore(*record) : 0));
    }
}

void FinishWindow::SlideTo(float x, bool easeOut, void (FinishWindow::*done)())
{
    const Vector3 from = window_->get_position();
    auto slide = std::make_unique<MoveAction>(window_, SlideTime, from, Vector3{x, 0.0f, from.z});
    if (easeOut)
        slide->SetEasing(std::make_unique<EaseQuartOut>());
    else
        slide->SetEasing(std::make_unique<EaseQuartIn>());
    if (done)
        slide->SetOnFinished([this, done](BaseAnimation*) { (this->*done)(); });
    // The old slide goes unfinished: only the newest slide's completion runs.
    slide_ = std::move(slide);
}

void FinishWindow::Update(float dt)
{
    if (!slide_)
        return;
    if (!slide_->IsStarted()) {
        slide_->Start();
        slide_->SetStarted(true);
    }
    slide_->Update(dt);
    if (!slide_->IsFinished())
        return;
    // Out of the slot first: the completion may start a new slide.
    std::unique_ptr<MoveAction> ended = std::move(slide_);
    ended->Finish();
}

void FinishWindow::SlideOut(float x, void (FinishWindow::*done)())
{
    if (!window_) {
        // Nothing to slide: the button leads on at once.
        slide_.reset();
        (this->*done)();
        return;
    }
    SlideTo(x, false, done);
}

float FinishWindow::LayoutWidth() { return ShellServices::Get().GetScreenSize().x; }

void FinishWindow::OnBack()
{
    ShellServices::Get().Play(SoundId::ButtonClick);
    SlideOut(-LayoutWidth(), &FinishWindow::OnBackDone);
}

void FinishWindow::OnRestart()
{
    ShellServices::Get().Play(SoundId::ButtonClick);
    SlideOut(-LayoutWidth(), &FinishWindow::OnRestartDone);
}

void FinishWindow::OnContinue()
{
    ShellServices::Get().Play(SoundId::ButtonClick);
    SlideOut(LayoutWidth(), &FinishWindow::OnContinueDone);
}

void FinishWindow::OnStore()
{
    ShellServices::Get().Play(SoundId::ButtonClick);
    if (game::ScreenManager* manager = Manager())
        manager->PushScreen("Store");
}

void FinishWindow::OnBackDone()
{
    if (is_finish_ && TryGameComplete())
        return;
    ChangeScreen("Menu");
}

void FinishWindow::OnRestartDone() { ChangeScreen("Restart"); }

void FinishWindow::OnContinueDone()
{
    ShellServices& shell = ShellServices::Get();
    LevelProfile* record = level_ ? level_->Record() : nullptr;
    LevelProfile* next = record ? shell.NextLevel(*record) : nullptr;
    if (TryGameComplete())
        return;
    if (!next) {
        ChangeScreen("Menu");
        return;
    }
    shell.SetCurrentLevel(next);
    ChangeScreen("Restart");
}

bool FinishWindow::TryGameComplete()
{
    ShellServices& shell = ShellServices::Get();
    if (shell.IsGameComplete() || !shell.AllLevelsCompleted())
        return false;
    shell.SetGameComplete(true);
    ChangeScreen("GameComplete");
    return true;
}

game::ScreenManager* FinishWindow::Manager()
{
    game::ServiceProvider* provider = site_.GetServiceProvider();
    return provider ? provider->Get<game::ScreenManager>() : nullptr;
}

void FinishWindow::ChangeScreen(const char* exit)
{
    if (game::ScreenManager* manager = Manager())
        manager->ChangeScreen(exit, false);
}

} // namespace gameplay
