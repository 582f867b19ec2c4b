#include "sources/application.h"

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
}

QuilloTovraApplication::~QuilloTovraApplication()
{
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
    if (!is_cursor_visible())
        render_scene(*hardware);
    hardware->finish_frame();
    return true;
}
