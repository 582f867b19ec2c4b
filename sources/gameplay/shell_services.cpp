#include "sources/gameplay/shell_services.h"

namespace gameplay {

namespace {

std::unique_ptr<DefaultShellServices>& default_slot()
{
    static std::unique_ptr<DefaultShellServices> services = std::make_unique<DefaultShellServices>();
    return services;
}

ShellServices*& installed_slot()
{
    static ShellServices* installed = nullptr;
    return installed;
}

} // namespace

ShellServices& ShellServices::Get()
{
    ShellServices* installed = installed_slot();
    return installed ? *installed : *default_slot();
}

void ShellServices::Install(ShellServices* services)
{
    installed_slot() = services;
}

void ShellServices::ResetForTests()
{
    installed_slot() = nullptr;
    default_slot() = std::make_unique<DefaultShellServices>();
}

} // namespace gameplay
