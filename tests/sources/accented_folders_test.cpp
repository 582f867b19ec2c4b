// A player whose home folder, and a program installed in a folder, with accented
// capitals in their names: the engine lower-cases its paths, and they must still lead
// to the real folders. The program's data is found, the video settings chosen in the
// dialog are written into the real per-user folder (no look-alike sibling appears) and
// the next start reads them back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/dialog_script.h"
#include "program_folder.h"
#include "fixtures/demo_application.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class AccentedFolders : public game_test::ProgramFolderTest {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(temp_.root().empty());
        // The program and its data, as installed.
        program_ = temp_.root() / "Jeux Éric" / "Quillo Tovra";
        fs::create_directories(program_);
        fs::copy(fs::path(QUILLO_PROGRAM_FOLDER) / "data", program_ / "data", fs::copy_options::recursive);
        fs::copy_file(fs::path(QUILLO_PROGRAM_FOLDER) / "starter.ini", program_ / "starter.ini");
        // The player's per-user data folder.
        user_data_ = temp_.root() / "José Ñúñez" / "Données";
        fs::create_directories(user_data_);
        if (const char* saved = std::getenv("XDG_DATA_HOME"))
            saved_data_home_ = saved;
        ::setenv("XDG_DATA_HOME", user_data_.c_str(), 1);

        ProgramFolderTest::SetUp();
        platform::set_folder_override(platform::folder_key_module_file, (program_ / "quillo").string());
    }

    void TearDown() override
    {
        ProgramFolderTest::TearDown();
        if (saved_data_home_)
            ::setenv("XDG_DATA_HOME", saved_data_home_->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }

    // Every file under the temporary folder named `name`.
    std::vector<fs::path> files_named(const std::string& name) const
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(temp_.root()))
            if (entry.path().filename() == name)
                found.push_back(entry.path());
        return found;
    }

    test_support::TempFolder temp_{"QuilloAccents"};
    fs::path program_;
    fs::path user_data_;
    std::optional<std::string> saved_data_home_;
};

TEST_F(AccentedFolders, DataIsFoundAndSettingsAreWrittenThereAndReadBack)
{
    platform::headless::set_dialog_script([](platform::Dialog& dialog) {
        dialog.choose(vadu::lib3d::Application::first_attribute_combo_id, std::string("No (Window mode)"));
        dialog.click(static_cast<int>(platform::dialog_ok));
    });
    {
        DemoApplication application("Quillo Tovra", "settings");
        ASSERT_NE(application.get_hardware(), nullptr);
        EXPECT_EQ(application.get_hardware()->get_attribute_value("Fullscreen"), vadu::String("No (Window mode)"));
        // The demo scene came from the program's accented folder.
        EXPECT_GT(application.get_demo_root().get_child_count(), 0u);
    }
    EXPECT_EQ(platform::headless::dialogs_shown(), 1);

    const std::vector<fs::path> written = files_named("videosettings.ini");
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].parent_path().parent_path(), user_data_);
    // Nothing landed in a folder whose name only looks like the player's.
    std::vector<std::string> top;
    for (const auto& entry : fs::directory_iterator(temp_.root()))
        top.push_back(entry.path().filename().string());
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::string>{"Jeux Éric", "José Ñúñez"}));

    platform::headless::reset_dialogs();
    DemoApplication again("Quillo Tovra", "");
    EXPECT_EQ(platform::headless::dialogs_shown(), 0);
    ASSERT_NE(again.get_hardware(), nullptr);
    EXPECT_EQ(again.get_hardware()->get_attribute_value("Fullscreen"), vadu::String("No (Window mode)"));
}

} // namespace
