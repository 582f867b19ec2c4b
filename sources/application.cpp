#include "sources/application.h"

#include "vadu/lib3d/hard/render_list.h"

QuilloTovraApplication::QuilloTovraApplication(const vadu::String& name, const vadu::String& command_line)
    : vadu::logs::Creator("QuilloTovra"),
      vadu::filesystem::Creator(vadu::filesystem::create_default_file_system),
      vadu::resource::ActiveMultithreaded::Creator(),
      vadu::animate::Soul::Creator(),
      vadu::DictionaryHolder::Creator(),
      vadu::lib3d::hard::Manager::Creator(),
      vadu::lib3d::hard::directx8::Creator(),
      vadu::WindowCreator(512, 512, false),
      vadu::input::hard::windows::Creator(true, true),
      vadu::lib3d::Application(name, command_line, false)
{
    register_engine_node_types();
    try {
        // Until the screens exist the program shows the demo scene; the screen manager
        // replaces this.
        demo_root_ = std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom("LoadingRoot"));
        demo_camera_ = load_root(demo_root_.get(), nullptr, vadu::filesystem::String("data/demo/demo", true),
                                 vadu::Atom("Camera"));
        change_cursor(vadu::filesystem::String("data/cursor/cursor", true), true);
    } catch (...) {
        unregister_engine_node_types();
        throw;
    }
}

QuilloTovraApplication::~QuilloTovraApplication()
{
    // The scene's textures go while the device manager still exists.
    demo_camera_ = nullptr;
    demo_root_.reset();
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
    vadu::input::Manager::dispatch();
    return vadu::lib3d::Application::Update(seconds);
}

bool QuilloTovraApplication::Render()
{
    vadu::lib3d::hard::Hardware* hardware = get_hardware();
    if (!hardware || !hardware->start_frame())
        return false;
    if (demo_camera_) {
        vadu::lib3d::hard::RenderList list;
        // The frame's first list clears the screen.
        list.flag = 1;
        demo_camera_->prepare_render(*hardware, list);
        hardware->render(list, *hardware);
    }
    if (!is_cursor_visible())
        render_scene(*hardware);
    hardware->finish_frame();
    return true;
}
