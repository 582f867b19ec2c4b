#include "sources/game_root.h"

#include <algorithm>

#include "game/game_definition.h"
#include "game/screen.h"
#include "game/screen_manager.h"
#include "sources/demo_screen.h"

std::unique_ptr<game::Root> create_game_root(vadu::lib3d::Application& application,
                                             vadu::filesystem::String* cursor_path)
{
    game::GameDefinition definition;
    definition.GetBackendFactory().RegisterBackendCreator("DemoScreen", [] { return std::make_unique<DemoScreen>(); });
    definition.Load(vadu::filesystem::String("data/quillo.game", true));
    std::unique_ptr<game::Root> root = definition.CreateRoot(&application);
    if (cursor_path)
        *cursor_path = definition.GetCursorPath();
    return root;
}

void update_game_root(game::Root& root, double seconds, bool loads_pending)
{
    if (loads_pending)
        return;
    root.Update(std::min(seconds, 0.1));
}

bool render_game_root(game::Root& root, vadu::lib3d::hard::Hardware& hardware)
{
    game::Screen* screen = get_current_screen(root);
    if (!screen)
        return false;
    screen->Render(hardware, root.GetFpsDisplay());
    return true;
}

game::Screen* get_current_screen(game::Root& root)
{
    game::ScreenManager* manager = root.GetScreenManager();
    return manager ? manager->GetCurrentScreen() : nullptr;
}
