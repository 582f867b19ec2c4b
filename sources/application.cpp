#include "sources/application.h"

#include "game/screen.h"
#include "sources/demo_sound.h"
#include "sources/game_root.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"

QuilloTovraApplication::QuilloTovraApplication(const vadu::String& name, const vadu::String& command_line)
    : vadu::logs::Creator("QuilloTovra"),
      vadu::filesystem::Creator(vadu::filesystem::create_default_file_system),
      vadu::resource::ActiveMultithreaded::Creator(),
      vadu::animate::Soul::Creator(),
      vadu::DictionaryHolder::Creator(),
      vadu::noise::Manager::Creator(),
      vadu::lib3d::hard::Manager::Creator(),
      vadu::lib3d::hard::directx8::Creator(),
      vadu::WindowCreator(512, 512, false),
      vadu::input::hard::windows::Creator(true, true),
      vadu::noise::hard::null::Creator(),
      vadu::noise::hard::directx8::Creator(),
      TrueText::TextLibrary::Creator(),
      vadu::lib3d::Application(name, command_line, false)
{
    register_engine_node_types();
    try {
        // The game description builds the framework and its first screen.
        vadu::filesystem::String cursor;
        root_ = create_game_root(*this, &cursor);
        change_cursor(cursor, true);
        demo_sound_ = std::make_unique<DemoSound>(*this);
    } catch (...) {
        root_.reset();
        unregister_engine_node_types();
        throw;
    }
}

QuilloTovraApplication::~QuilloTovraApplication()
{
    // The music and its channels go while the sound hardware still exists.
    demo_sound_.reset();
    // The screens' textures go while the device manager still exists.
    root_.reset();
    unregister_engine_node_types();
}

void QuilloTovraApplication::Quit()
{
    running_ = false;
}

bool QuilloTovraApplication::Update(double seconds)
{
    if (!running_)
        return false;
    // Sound moves on by the whole frame, also where the root's step is limited.
    vadu::noise::Manager::update(seconds);
    vadu::noise::hard::directx8::update(seconds);
    demo_sound_->update(seconds);
    vadu::input::Manager::dispatch();
    const bool result = vadu::lib3d::Application::Update(seconds);
    if (root_)
        update_game_root(*root_, seconds, get_pending_maximum() != 0);
    return result;
}

vadu::lib3d::node::Node& QuilloTovraApplication::get_demo_root()
{
    game::Screen* screen = root_ ? get_current_screen(*root_) : nullptr;
    if (!screen || !screen->GetSceneRoot())
        throw vadu::Gluck("QuilloTovraApplication::get_demo_root", "No current screen");
    return *screen->GetSceneRoot();
}

vadu::lib3d::node::Camera* QuilloTovraApplication::get_demo_camera()
{
    game::Screen* screen = root_ ? get_current_screen(*root_) : nullptr;
    return screen ? screen->GetCamera() : nullptr;
}

bool QuilloTovraApplication::Render()
{
    vadu::lib3d::hard::Hardware* hardware = get_hardware();
    if (!hardware || !hardware->start_frame())
        return false;
    // The screen's list is the frame's first: it clears the screen.
    if (root_)
        render_game_root(*root_, *hardware);
    if (!is_cursor_visible())
        render_scene(*hardware);
    hardware->finish_frame();
    return true;
}
