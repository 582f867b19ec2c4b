#include "platform/files.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_all(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// A tree with mixed-case names, under a temporary folder whose own name has capitals:
//   Data/Levels/Level1.xml, Data/ReadMe.txt, Mixed/Name.txt, Mixed/NAME.txt
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "QuilloFiles-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "Data" / "Levels");
        fs::create_directories(root_ / "Mixed");
        write_all(root_ / "Data" / "Levels" / "Level1.xml", "<Level/>");
        write_all(root_ / "Data" / "ReadMe.txt", "read me");
        write_all(root_ / "Mixed" / "Name.txt", "first");
        write_all(root_ / "Mixed" / "NAME.txt", "second");
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string at(const std::string& relative) const { return root_.string() + "/" + relative; }

    fs::path root_;
};

TEST_F(FilesTest, ResolvesEachComponentIgnoringCase)
{
    struct Case {
        const char* given;
        const char* expected;
    };
    const Case cases[] = {
        {"Data/Levels/Level1.xml", "Data/Levels/Level1.xml"},
        {"data/levels/level1.xml", "Data/Levels/Level1.xml"},
        {"DATA/LEVELS/LEVEL1.XML", "Data/Levels/Level1.xml"},
        {"data/./levels/level1.xml", "Data/./Levels/Level1.xml"},
        {"data/levels/", "Data/Levels/"},
        // The rest of the path stays as given once a component cannot be found...
        {"data/levels/missing/level1.xml", "Data/Levels/missing/level1.xml"},
        {"nothing/levels/level1.xml", "nothing/levels/level1.xml"},
        // ...or is ambiguous.
        {"mixed/name.txt", "Mixed/name.txt"},
        {"Mixed/NAME.txt", "Mixed/NAME.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::resolve_path(at(c.given)), at(c.expected)) << c.given;
}

TEST_F(FilesTest, LowerCasedAbsoluteFolderResolves)
{
    std::string lowered = lower(at("data/levels/level1.xml"));
    ASSERT_NE(lowered, at("Data/Levels/Level1.xml"));
    EXPECT_EQ(platform::resolve_path(lowered), at("Data/Levels/Level1.xml"));

    FILE* file = platform::open_file(lowered, "rb");
    ASSERT_NE(file, nullptr);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, file), 8u);
    EXPECT_STREQ(text, "<Level/>");
    std::fclose(file);
}

TEST_F(FilesTest, WritingGoesIntoTheExistingFoldersAndFiles)
{
    FILE* file = platform::open_file(at("data/levels/new.xml"), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    std::fclose(file);
    EXPECT_EQ(read_all(root_ / "Data" / "Levels" / "new.xml"), "new");
    EXPECT_FALSE(fs::exists(root_ / "data"));

    file = platform::open_file(at("data/readme.txt"), "ab");
    ASSERT_NE(file, nullptr);
    std::fputs(" twice", file);
    std::fclose(file);
    EXPECT_EQ(read_all(root_ / "Data" / "ReadMe.txt"), "read me twice");

    file = platform::open_file(at("data/readme.txt"), "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_EQ(read_all(root_ / "Data" / "ReadMe.txt"), "");
}

TEST_F(FilesTest, OpenFailsForMissingFilesAndFolders)
{
    EXPECT_EQ(platform::open_file(at("data/missing.xml"), "rb"), nullptr);
    EXPECT_EQ(platform::open_file(at("data/levels"), "rb"), nullptr);
    EXPECT_EQ(platform::open_file(at("nowhere/new.xml"), "wb"), nullptr);
}

TEST_F(FilesTest, CreatesFoldersOnceWhateverTheCase)
{
    EXPECT_TRUE(platform::create_directory(at("data/saves")));
    EXPECT_TRUE(fs::is_directory(root_ / "Data" / "saves"));
    EXPECT_TRUE(platform::is_directory(at("DATA/SAVES")));

    EXPECT_FALSE(platform::create_directory(at("data/levels")));
    EXPECT_FALSE(fs::exists(root_ / "data"));
    EXPECT_FALSE(platform::create_directory(at("nowhere/saves")));
    EXPECT_FALSE(platform::is_directory(at("data/readme.txt")));
}

TEST_F(FilesTest, DeletesFilesButNotFolders)
{
    EXPECT_TRUE(platform::delete_file(at("data/readme.txt")));
    EXPECT_FALSE(fs::exists(root_ / "Data" / "ReadMe.txt"));
    EXPECT_FALSE(platform::delete_file(at("data/readme.txt")));
    EXPECT_FALSE(platform::delete_file(at("data/levels")));
    EXPECT_TRUE(fs::is_directory(root_ / "Data" / "Levels"));
}

TEST_F(FilesTest, ListsMatchingEntriesWithTheirKind)
{
    std::vector<platform::FoundEntry> found;
    ASSERT_TRUE(platform::find_files(at("data"), "*", found));
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0].name, ".");
    EXPECT_TRUE(found[0].is_folder);
    EXPECT_EQ(found[1].name, "..");
    EXPECT_EQ(found[2].name, "Levels");
    EXPECT_TRUE(found[2].is_folder);
    EXPECT_EQ(found[3].name, "ReadMe.txt");
    EXPECT_FALSE(found[3].is_folder);

    ASSERT_TRUE(platform::find_files(at("data"), "*.TXT", found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "ReadMe.txt");

    EXPECT_FALSE(platform::find_files(at("data"), "*.png", found));
    EXPECT_TRUE(found.empty());
    EXPECT_FALSE(platform::find_files(at("nowhere"), "*", found));
}

TEST(FoldCaseTest, FoldsUpperCaseOfTheCommonScriptsOneForOne)
{
    struct Case {
        const char* given;
        const char* folded;
    };
    const Case cases[] = {
        {"Data/Levels/LEVEL1.XML", "data/levels/level1.xml"},
        {"JOSÉ", "josé"},
        {"ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ", "àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ"},
        {"×ß÷ÿ", "×ß÷ÿ"},             // no case, or no one-letter capital
        {"ŁÓDŹ ŽŮŘ ĹŇ Ÿ", "łódź žůř ĺň ÿ"}, // Latin Extended-A, both pairings
        {"İı", "İı"},                 // lower case would be two code points
        {"ΣΟΦΊΑ ΌΣΟΣ", "σοφία όσοσ"},     // final sigma matches sigma
        {"МОСКВА ЁЖ ЂЋ", "москва ёж ђћ"},
        {"日本語 ✓", "日本語 ✓"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::fold_case_utf8(c.given), c.folded) << c.given;
}

TEST(FoldCaseTest, KeepsBytesThatAreNotUtf8)
{
    // A Windows-1252 "É", a lone continuation byte and a cut sequence, among ASCII.
    const std::string given = "A\xC9" "B\x80" "C\xC3";
    EXPECT_EQ(platform::fold_case_utf8(given), "a\xC9" "b\x80" "c\xC3");
    // Folding is idempotent, so folded names can be folded again and still match.
    EXPECT_EQ(platform::fold_case_utf8(platform::fold_case_utf8("ÉCOLE")), "école");
}

// The game lower-cases its paths: a home or program folder with accented capitals
// must still be found, read, written and listed.
TEST(AccentedFoldersTest, ResolveReadWriteAndListIgnoringCase)
{
    test_support::TempFolder temp("QuilloAccent");
    ASSERT_FALSE(temp.root().empty());
    fs::create_directories(temp.root() / "José Ñúñez" / "Données");
    write_all(temp.root() / "José Ñúñez" / "Données" / "Échelle.xml", "<Échelle/>");

    const std::string lowered = temp.at("josé ñúñez/données/échelle.xml");
    EXPECT_EQ(platform::resolve_path(lowered), temp.at("José Ñúñez/Données/Échelle.xml"));
    FILE* file = platform::open_file(lowered, "rb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);

    file = platform::open_file(temp.at("JOSÉ ÑÚÑEZ/DONNÉES/réglages.ini"), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("saved", file);
    std::fclose(file);
    EXPECT_EQ(read_all(temp.root() / "José Ñúñez" / "Données" / "réglages.ini"), "saved");
    EXPECT_TRUE(platform::is_directory(temp.at("josé ñúñez/DONNÉES")));
    EXPECT_FALSE(fs::exists(temp.root() / "josé ñúñez"));

    std::vector<platform::FoundEntry> found;
    ASSERT_TRUE(platform::find_files(temp.at("josé ñúñez/données"), "ÉCHELLE.*", found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "Échelle.xml");
}

} // namespace
