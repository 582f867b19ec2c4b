#include "sources/application.h"

QuilloTovraApplication::QuilloTovraApplication(const vadu::String& title)
    : vadu::logs::Creator("QuilloTovra"),
      vadu::filesystem::Creator(vadu::filesystem::create_default_file_system),
      vadu::resource::ActiveMultithreaded::Creator(),
      vadu::animate::Soul::Creator(),
      vadu::DictionaryHolder::Creator(),
      vadu::WindowCreator(512, 512, false),
      vadu::input::hard::windows::Creator(true, true),
      vadu::Application(title)
{
}

QuilloTovraApplication::~QuilloTovraApplication() = default;

void QuilloTovraApplication::Quit()
{
    running_ = false;
}

bool QuilloTovraApplication::Update(double seconds)
{
    if (!running_)
        return false;
    vadu::input::Manager::dispatch();
    return vadu::Application::Update(seconds);
}

bool QuilloTovraApplication::Render()
{
    return true;
}
