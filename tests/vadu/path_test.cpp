#include "vadu/path.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/folders.h"

namespace {

using vadu::filesystem::Components;
using vadu::filesystem::PathMacros;
using Path = vadu::filesystem::String;

std::string text_of(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

std::string text_of(const Path& path)
{
    return text_of(path.get_text());
}

std::string uid_text()
{
    return std::to_string(static_cast<unsigned long>(::getuid()));
}

const int special_ids[] = {
    platform::folder_desktop,        platform::folder_fonts,          platform::folder_start_menu,
    platform::folder_programs,       platform::folder_common_desktop, platform::folder_common_start_menu,
    platform::folder_common_programs, platform::folder_appdata,
};

// Every folder value is faked through the override table, with capitals so that the
// lower-casing of macro values shows. Each test starts with no live path, so the first
// path it makes builds a fresh macro table from these values.
class PathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(vadu::filesystem::get_live_path_count(), 0)
            << "a path object outlives its test; the macro table cannot be rebuilt";
        ASSERT_EQ(PathMacros::get(), nullptr);
        for (const char* name : {"HOME", "TMPDIR"}) {
            const char* value = std::getenv(name);
            saved_env_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
        platform::clear_folder_overrides();
        platform::set_folder_override(platform::folder_key_module_file, "/Opt/Quillo Games/Tovra/Quillo.bin");
        platform::set_folder_override(platform::folder_key_system, "/Usr/Lib");
        platform::set_folder_override(platform::folder_key_windows, "/Usr");
        platform::set_folder_override(platform::folder_desktop, "/Home/Ann/Desktop");
        platform::set_folder_override(platform::folder_fonts, "/Usr/Share/Fonts");
        platform::set_folder_override(platform::folder_start_menu, "/Home/Ann/.local/share/Applications");
        platform::set_folder_override(platform::folder_programs, "/Home/Ann/.local/share/Programs");
        platform::set_folder_override(platform::folder_common_desktop, "/Usr/Share/Desktop");
        platform::set_folder_override(platform::folder_common_start_menu, "/Usr/Share/Menu");
        platform::set_folder_override(platform::folder_common_programs, "/Usr/Share/Programs");
        platform::set_folder_override(platform::folder_appdata, "/Home/Ann/.local/share");
    }

    void TearDown() override
    {
        platform::clear_folder_overrides();
        for (const auto& [name, value] : saved_env_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        EXPECT_EQ(vadu::filesystem::get_live_path_count(), 0);
        EXPECT_EQ(PathMacros::get(), nullptr);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_env_;
};

TEST_F(PathTest, NormalisesSeparatorsCaseMacrosAndDoubledSlashes)
{
    struct Case {
        const char* text;
        bool lower_case;
        const char* expected;
    };
    const Case cases[] = {
        {"Data\\Levels\\Level1.xml", true, "data/levels/level1.xml"},
        {"Data\\Levels\\Level1.xml", false, "Data/Levels/Level1.xml"},
        {"C:\\Games\\Quillo", true, "c:/games/quillo"},
        // Native paths are UTF-8: accented capitals fold as letters, and bytes that
        // are not UTF-8 are kept rather than turned into other letters.
        {"Café\\À LA CRÈME", true, "café/à la crème"},
        {"/Home/JOSÉ/Über", true, "/home/josé/über"},
        {"Caf\xC9", true, "caf\xC9"},
        // Macro names match case-sensitively; the flag lower-cases before matching.
        {"%APP_PATH%/data.pak", false, "%APP_PATH%/data.pak"},
        {"%APP_PATH%/data.pak", true, "/opt/quillo games/tovra/data.pak"},
        // Macro values are lower case whatever the path's flag.
        {"%app_path%/Data.pak", false, "/opt/quillo games/tovra/Data.pak"},
        {"%app_path%data.pak", true, "/opt/quillo games/tovra/data.pak"},
        {"%app_path%\\data.pak", true, "/opt/quillo games/tovra/data.pak"},
        {"%app_path%", true, "/opt/quillo games/tovra/"},
        {"%app_name%.ini", true, "quillo.ini"},
        {"%local_appdata%/Kembra", false, "/home/ann/.local/share/Kembra"},
        {"%fonts_path%/arial.ttf", true, "/usr/share/fonts/arial.ttf"},
        {"%windows_path%/x", true, "/usr/x"},
        // Only one macro, and only at the very start.
        {"%app_path%%app_name%.ini", true, "/opt/quillo games/tovra/%app_name%.ini"},
        {"data/%app_path%/x", true, "data/%app_path%/x"},
        {" %app_path%", true, " %app_path%"},
        {"%app_path", true, "%app_path"},
        {"%unknown%/x", true, "%unknown%/x"},
        // Doubled separators collapse from the second character on.
        {"a//b///c", true, "a/b/c"},
        {"a\\\\b", true, "a/b"},
        {"//server//share", true, "//server/share"},
        {"///a", true, "//a"},
        {"ab//", true, "ab/"},
        {"///", true, "//"},
        // Texts of one or two characters are never collapsed.
        {"//", true, "//"},
        {"\\\\", true, "//"},
        {"/", true, "/"},
        {"", true, ""},
    };
    for (const Case& c : cases) {
        Path path(c.text, c.lower_case);
        EXPECT_EQ(text_of(path), c.expected) << "text \"" << c.text << "\" lower " << c.lower_case;
        EXPECT_EQ(path.is_lower_case(), c.lower_case);
        // The engine-string constructor normalises the same way.
        EXPECT_EQ(text_of(Path(vadu::String(c.text), c.lower_case)), c.expected) << c.text;
    }
}

TEST_F(PathTest, TableHoldsEveryMacroLowerCased)
{
    Path holder;
    const PathMacros* table = PathMacros::get();
    ASSERT_NE(table, nullptr);
    const std::map<std::string, std::string> expected = {
        {"%app_path%", "/opt/quillo games/tovra/"},
        {"%app_name%", "quillo"},
        {"%system_path%", "/usr/lib"},
        {"%windows_path%", "/usr"},
        {"%desktop_path%", "/home/ann/desktop"},
        {"%fonts_path%", "/usr/share/fonts"},
        {"%start_menu_path%", "/home/ann/.local/share/applications"},
        {"%start_menu_programs_path%", "/home/ann/.local/share/programs"},
        {"%common_desktop_path%", "/usr/share/desktop"},
        {"%common_start_menu_path%", "/usr/share/menu"},
        {"%common_start_menu_programs_path%", "/usr/share/programs"},
        {"%local_appdata%", "/home/ann/.local/share"},
    };
    std::map<std::string, std::string> actual;
    for (const auto& [name, value] : table->get_macros())
        actual[text_of(name)] = text_of(value);
    EXPECT_EQ(actual, expected);
}

TEST_F(PathTest, JoiningNormalisesAgainWithThePathsFlag)
{
    Path folder("%local_appdata%/", true);
    EXPECT_EQ(text_of(folder + "/videosettings.ini"), "/home/ann/.local/share/videosettings.ini");

    // The per-user settings file: folder, then the game's folder name, then the file.
    Path user = folder + vadu::String("Kembra Entertainment/Quillo Tovra");
    Path settings = user + "/VideoSettings.ini";
    EXPECT_EQ(text_of(settings), "/home/ann/.local/share/kembra entertainment/quillo tovra/videosettings.ini");
    EXPECT_TRUE(settings.is_lower_case());

    Path keep_case("Data\\", false);
    Path joined = keep_case + "Levels\\\\Level1.XML";
    EXPECT_EQ(text_of(joined), "Data/Levels/Level1.XML");
    EXPECT_FALSE(joined.is_lower_case());

    // A path joined to a path; the left one's flag decides.
    EXPECT_EQ(text_of(Path("%app_path%/", true) + Path("Data/Quillo.game", false)),
              "/opt/quillo games/tovra/data/quillo.game");
    // A macro name behind the start of the joined text stays.
    EXPECT_EQ(text_of(Path("data/", true) + "%app_path%"), "data/%app_path%");
}

TEST_F(PathTest, FailedSpecialFolderFallsBackInsteadOfTheRoot)
{
    struct Case {
        const char* folder;      // what the lookup answers
        const char* home;        // HOME, or null when unset
        std::string appdata;     // expected "%local_appdata%"
    };
    const Case cases[] = {
        {"", "/home/Bob", "/home/bob/.local/share"},
        {"/", "/home/Bob", "/home/bob/.local/share"},
        {"//", "/home/Bob", "/home/bob/.local/share"},
        {"", nullptr, "/tmp/quillo-tovra-" + uid_text()},
        {"/Srv/Data", nullptr, "/srv/data"},
    };
    for (const Case& c : cases) {
        if (c.home != nullptr)
            ::setenv("HOME", c.home, 1);
        else
            ::unsetenv("HOME");
        ::unsetenv("TMPDIR");
        for (int id : special_ids)
            platform::set_folder_override(id, c.folder);

        Path settings("%local_appdata%/x/settings.dat", true);
        EXPECT_EQ(text_of(settings), c.appdata + "/x/settings.dat") << "folder \"" << c.folder << "\"";
        // Every special folder gets the same care.
        Path font("%fonts_path%/a.ttf", true);
        EXPECT_NE(text_of(font), "/a.ttf");
        EXPECT_EQ(text_of(font).substr(0, 1), "/");
    }
}

TEST_F(PathTest, SpecialFolderLookupItselfReportsFailureAsEmpty)
{
    platform::set_folder_override(platform::folder_appdata, "");
    EXPECT_TRUE(vadu::filesystem::get_special_folder(platform::folder_appdata).empty());
    EXPECT_TRUE(vadu::filesystem::get_special_folder(0x05).empty());
    EXPECT_EQ(text_of(vadu::filesystem::get_special_folder(platform::folder_fonts)), "/Usr/Share/Fonts");
    EXPECT_EQ(text_of(vadu::filesystem::get_system_directory()), "/Usr/Lib");
    EXPECT_EQ(text_of(vadu::filesystem::get_windows_directory()), "/Usr");
}

TEST_F(PathTest, UserFolderFollowsTheEnvironmentWithoutOverride)
{
    platform::clear_folder_override(platform::folder_appdata);
    const char* saved = std::getenv("XDG_DATA_HOME");
    std::optional<std::string> restore = saved ? std::optional<std::string>(saved) : std::nullopt;
    ::setenv("XDG_DATA_HOME", "/Data/Ann", 1);
    {
        Path path("%local_appdata%/Kembra/VideoSettings.ini", true);
        EXPECT_EQ(text_of(path), "/data/ann/kembra/videosettings.ini");
    }
    if (restore)
        ::setenv("XDG_DATA_HOME", restore->c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

TEST_F(PathTest, ApplicationNameAndFolderFromTheModule)
{
    struct Case {
        const char* module;
        const char* app_path;
        const char* app_name;
    };
    const Case cases[] = {
        {"/Opt/Game/Quillo.exe", "/opt/game/", "quillo"},
        {"/opt/game/quillo.tovra.bin", "/opt/game/", "quillo.tovra"},
        // Programs here carry no extension: the whole name, not nothing.
        {"/opt/game/quillo", "/opt/game/", "quillo"},
        {"/Home/José/Jeux/Quillo", "/home/josé/jeux/", "quillo"},
        {"", "", ""},  // lookup failed
    };
    for (const Case& c : cases) {
        platform::set_folder_override(platform::folder_key_module_file, c.module);
        Path path("%app_path%", true);
        Path name("%app_name%", true);
        EXPECT_EQ(text_of(path), c.app_path) << c.module;
        EXPECT_EQ(text_of(name), c.app_name) << c.module;
    }
}

TEST_F(PathTest, ModuleFileNameGrowsPastTheFirstBuffer)
{
    std::string long_name = "/opt";
    while (long_name.size() < 3000)
        long_name += "/folder";
    long_name += "/quillo";
    platform::set_folder_override(platform::folder_key_module_file, long_name);
    EXPECT_EQ(text_of(vadu::filesystem::get_module_file_name()), long_name);

    platform::set_folder_override(platform::folder_key_module_file, "");
    EXPECT_TRUE(vadu::filesystem::get_module_file_name().empty());

    platform::clear_folder_override(platform::folder_key_module_file);
    std::string own = text_of(vadu::filesystem::get_module_file_name());
    EXPECT_EQ(own.substr(own.rfind('/') + 1), "vadu_tests");
}

TEST_F(PathTest, MacroTableLivesWithThePaths)
{
    {
        Path first("a", true);
        const PathMacros* table = PathMacros::get();
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(vadu::filesystem::get_live_path_count(), 1);
        {
            Path copy(first);
            Path empty;
            EXPECT_EQ(vadu::filesystem::get_live_path_count(), 3);
            empty = first;  // assignment adds no path
            EXPECT_EQ(vadu::filesystem::get_live_path_count(), 3);
            EXPECT_TRUE(empty.get_text().shares_with(first.get_text()));
            EXPECT_TRUE(copy.get_text().shares_with(first.get_text()));
        }
        EXPECT_EQ(vadu::filesystem::get_live_path_count(), 1);
        EXPECT_EQ(PathMacros::get(), table);

        // Values are read once: a change now is not seen while the table lives.
        platform::set_folder_override(platform::folder_appdata, "/Changed");
        EXPECT_EQ(text_of(Path("%local_appdata%", true)), "/home/ann/.local/share");
    }
    EXPECT_EQ(vadu::filesystem::get_live_path_count(), 0);
    EXPECT_EQ(PathMacros::get(), nullptr);

    // The next path builds a fresh table with the new value.
    Path again("%local_appdata%", true);
    EXPECT_EQ(text_of(again), "/changed");
}

TEST_F(PathTest, ExpandWithoutALiveTableReplacesNoMacro)
{
    EXPECT_EQ(text_of(PathMacros::expand(vadu::String("%App_Path%\\X//y"), true)), "%app_path%/x/y");
    EXPECT_EQ(PathMacros::get(), nullptr);
}

TEST_F(PathTest, PathsCompareByTextAndServeAsKeys)
{
    Path lower("Data/A.xml", true);
    Path same("data\\a.xml", false);
    Path other("data/b.xml", true);
    EXPECT_TRUE(lower == same);  // the flag takes no part
    EXPECT_FALSE(lower == other);
    std::map<Path, int> table;
    table[lower] = 1;
    table[other] = 2;
    table[same] = 3;
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table[lower], 3);
    EXPECT_TRUE(lower < other);
}

TEST_F(PathTest, PathsMadeOnSeveralThreadsAgree)
{
    // No path lives on the main thread, so the table is built and destroyed over and over
    // by whichever thread holds the first and the last path.
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&wrong] {
            for (int i = 0; i < 500; ++i) {
                Path path("%app_path%/Data.pak", true);
                Path copy(path);
                if (text_of(copy) != "/opt/quillo games/tovra/data.pak")
                    ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(PathPartsTest, FolderFileNameAndExtension)
{
    struct Case {
        const char* text;
        const char* folder;
        const char* file_name;
        const char* stem;  // strip_extension of the whole text
    };
    const Case cases[] = {
        {"data/levels/level1.xml", "data/levels/", "level1.xml", "data/levels/level1"},
        {"level1.xml", "", "level1.xml", "level1"},
        {"data/levels/", "data/levels/", "", ""},
        {"/quillo", "/", "quillo", ""},
        {"quillo", "", "quillo", ""},
        {"a.b/c", "a.b/", "c", "a"},
        {"archive.tar.gz", "", "archive.tar.gz", "archive.tar"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        vadu::String text(c.text);
        EXPECT_EQ(text_of(vadu::filesystem::folder_part(text)), c.folder) << c.text;
        EXPECT_EQ(text_of(vadu::filesystem::file_name_part(text)), c.file_name) << c.text;
        EXPECT_EQ(text_of(vadu::filesystem::strip_extension(text)), c.stem) << c.text;
    }
}

TEST(PathPartsTest, ComponentsSkipLeadingAndTrailingSeparators)
{
    struct Case {
        const char* text;
        std::vector<std::string> components;
    };
    const Case cases[] = {
        {"", {}},
        {"/", {}},
        {"a", {"a"}},
        {"/a", {"a"}},
        {"a/", {"a"}},
        {"/usr/share/fonts", {"usr", "share", "fonts"}},
        {"data/levels/level1.xml", {"data", "levels", "level1.xml"}},
        {"/home/ann/settings/", {"home", "ann", "settings"}},
        {"c:/games", {"c:", "games"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> actual;
        for (const vadu::String& piece : Components(vadu::String(c.text)))
            actual.push_back(text_of(piece));
        EXPECT_EQ(actual, c.components) << "\"" << c.text << "\"";
    }

    // A path iterates over its normalised text.
    std::vector<std::string> from_path;
    for (const vadu::String& piece : Components(Path("\\Usr\\Share//Fonts\\", true)))
        from_path.push_back(text_of(piece));
    EXPECT_EQ(from_path, (std::vector<std::string>{"usr", "share", "fonts"}));

    // Positions point into the text.
    Components parts(vadu::String("/ab/cd"));
    auto it = parts.begin();
    ASSERT_NE(it, parts.end());
    EXPECT_EQ(it.start(), 1u);
    EXPECT_EQ(it.stop(), 3u);
    ++it;
    ASSERT_NE(it, parts.end());
    EXPECT_EQ(it.start(), 4u);
    EXPECT_EQ(it.stop(), 6u);
    ++it;
    EXPECT_EQ(it, parts.end());
}

} // namespace
