#pragma once

// The game's application loads its data relative to the program's folder. Tests run it
// over the folder the build assembles for the program (QUILLO_PROGRAM_FOLDER: data/ with
// the generated pictures, starter.ini), headless, with no automatic close.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/folders.h"
#include "platform/headless/dialog_script.h"
#include "platform/headless/script.h"
#include "vadu/path.h"

namespace game_test {

class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The folder macros are read when the first path is made; a path left alive
        // elsewhere would keep the test binary's own folder.
        ASSERT_EQ(vadu::filesystem::get_live_path_count(), 0);
        platform::set_folder_override(platform::folder_key_module_file, std::string(QUILLO_PROGRAM_FOLDER) + "/quillo");
        platform::headless::reset();
        platform::headless::set_frame_limit(0);
        platform::headless::reset_dialogs();
    }

    void TearDown() override
    {
        platform::headless::reset_dialogs();
        platform::headless::reset();
        platform::clear_folder_override(platform::folder_key_module_file);
    }

    // A per-user folder name of this process alone, so that no saved settings of
    // another run choose the video mode.
    static std::string private_name(const std::string& what)
    {
        return "quillo " + what + " " + std::to_string(::getpid());
    }
};

} // namespace game_test
