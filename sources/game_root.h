#pragma once

// The game framework as the application runs it: the game description makes the root and
// its first screen; each frame the root is updated and its current screen drawn.

#include <memory>

#include "game/root.h"
#include "vadu/lib3d/app/application.h"
#include "vadu/path.h"

namespace game {
class Screen;
}

// Registers the demo's backend, loads "data/quillo.game" and builds the root (its first
// screen included). The cursor path of the description is put into *cursor_path. Throws
// vadu::Gluck or vadu::GluckBadResource when the description or a screen does not load.
std::unique_ptr<game::Root> create_game_root(vadu::lib3d::Application& application,
                                             vadu::filesystem::String* cursor_path);

// The root's update with the elapsed time held to 0.1 s; nothing while loads are pending.
void update_game_root(game::Root& root, double seconds, bool loads_pending);

// Draws the current screen with the root's frame-rate display; false without a screen.
bool render_game_root(game::Root& root, vadu::lib3d::hard::Hardware& hardware);

// The current screen, or null.
game::Screen* get_current_screen(game::Root& root);
