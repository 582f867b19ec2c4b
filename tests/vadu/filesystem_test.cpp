#include "vadu/filesystem.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace filesystem_test_file {

namespace fs = std::filesystem;
using vadu::filesystem::String;

std::string text_of(vadu::Stream& stream)
{
    std::string text(stream.get_size(), '\0');
    text.resize(stream.read(text.data(), static_cast<uint32_t>(text.size())));
    return text;
}

// "" for a null stream, so tables can name the expected source in one column.
std::string open_text(vadu::filesystem::FileSystem& system, const char* name)
{
    auto stream = system.open(String(name, true));
    return stream ? text_of(*stream) : std::string();
}

std::vector<char> read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Temporary folders here have capitals in their names.
using test_support::TempFolder;

struct Member {
    std::string name;
    std::string data;
    bool stored = false;
};

void make_zip(const fs::path& path, const std::vector<Member>& members)
{
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const Member& member : members) {
        zip_source_t* source = zip_source_buffer(archive, member.data.data(), member.data.size(), 0);
        zip_int64_t index = zip_file_add(archive, member.name.c_str(), source, ZIP_FL_OVERWRITE);
        ASSERT_GE(index, 0);
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                 member.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    }
    ASSERT_EQ(zip_close(archive), 0);
}

// Files in memory; remembers every name it was asked for.
class MapFileSystem : public vadu::filesystem::FileSystem {
public:
    explicit MapFileSystem(std::map<std::string, std::string> files) : files_(std::move(files)) {}

    std::unique_ptr<vadu::Stream> open(const String& path) override
    {
        std::string name(path.get_text().data(), path.get_text().size());
        asked.push_back(name);
        auto found = files_.find(name);
        if (found == files_.end())
            return nullptr;
        return std::make_unique<vadu::filesystem::MemoryStream>(
            std::vector<uint8_t>(found->second.begin(), found->second.end()));
    }

    std::vector<std::string> asked;

private:
    std::map<std::string, std::string> files_;
};

// Answers a fixed locale; counts how often it was asked.
class FixedLocale : public vadu::PlatformInfo {
public:
    explicit FixedLocale(const char* locale, bool* deleted = nullptr) : locale_(locale), deleted_(deleted) {}
    ~FixedLocale() override
    {
        if (deleted_ != nullptr)
            *deleted_ = true;
    }
    vadu::String get_locale() override
    {
        ++asked;
        return locale_;
    }
    int asked = 0;

private:
    vadu::String locale_;
    bool* deleted_;
};

// Puts a provider in place for one test and the default one back afterwards.
class ProviderScope {
public:
    explicit ProviderScope(vadu::PlatformInfo* provider) { vadu::PlatformInfo::install(provider); }
    ~ProviderScope() { vadu::PlatformInfo::install(nullptr); }
    ProviderScope(const ProviderScope&) = delete;
    ProviderScope& operator=(const ProviderScope&) = delete;
};

// Streams

TEST(MemoryStreamTest, ReadsSkipsAndStopsAtTheEnd)
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e'});
    EXPECT_TRUE(stream.is_good());
    EXPECT_EQ(stream.get_size(), 5u);

    char buffer[8] = {};
    EXPECT_EQ(stream.read(buffer, 2), 2u);
    EXPECT_EQ(std::string(buffer, 2), "ab");
    EXPECT_EQ(stream.skip(1), 1u);
    EXPECT_EQ(stream.read(buffer, 8), 2u);
    EXPECT_EQ(std::string(buffer, 2), "de");
    EXPECT_EQ(stream.get_position(), 5u);
    EXPECT_EQ(stream.read(buffer, 8), 0u);

    stream.set_position(3);
    EXPECT_EQ(stream.skip(10), 2u);
    EXPECT_EQ(stream.get_position(), 5u);

    stream.set_position(9);
    EXPECT_EQ(stream.read(buffer, 1), 0u);
    EXPECT_EQ(stream.skip(1), 0u);

    vadu::filesystem::MemoryStream empty;
    EXPECT_TRUE(empty.is_good());
    EXPECT_EQ(empty.get_size(), 0u);
    EXPECT_EQ(empty.read(buffer, 1), 0u);
}

// Native files and folders

class NativeFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(temp_.root().empty());
        write_bytes(temp_.root() / "Data" / "Levels" / "Level1.xml", "<Level/>");
        write_bytes(temp_.root() / "Data" / "ReadMe.txt", "0123456789");
    }

    String path(const std::string& relative) const { return String(temp_.at(relative).c_str(), false); }

    TempFolder temp_{"QuilloFs"};
};

TEST_F(NativeFilesTest, FileReadsWritesAndMoves)
{
    vadu::filesystem::File file;
    ASSERT_TRUE(file.open(path("data/readme.txt"), vadu::filesystem::File::read_mode));
    EXPECT_EQ(file.get_size(), 10u);
    EXPECT_EQ(file.skip(3), 3u);
    EXPECT_EQ(file.tell(), 3u);
    char buffer[16] = {};
    EXPECT_EQ(file.read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "3456");
    EXPECT_EQ(file.get_size(), 10u);
    EXPECT_EQ(file.tell(), 7u);
    EXPECT_EQ(file.seek(1), 0);
    EXPECT_EQ(file.read(buffer, 16), 9u);
    file.close();
    EXPECT_FALSE(file.is_open());

    ASSERT_TRUE(file.open(path("data/readme.txt"), vadu::filesystem::File::append_mode));
    EXPECT_EQ(file.write("ab", 2), 2u);
    EXPECT_EQ(file.flush(), 0);
    file.close();
    EXPECT_EQ(read_bytes(temp_.root() / "Data" / "ReadMe.txt").size(), 12u);
}

TEST_F(NativeFilesTest, WriteModeCreatesTheMissingFolders)
{
    vadu::filesystem::File file;
    ASSERT_TRUE(file.open(path("data/saves/slot1/profile.xml"), vadu::filesystem::File::write_mode));
    EXPECT_EQ(file.write("<Profile/>", 10), 10u);
    file.close();
    EXPECT_TRUE(fs::is_regular_file(temp_.root() / "Data" / "saves" / "slot1" / "profile.xml"));
    EXPECT_FALSE(fs::exists(temp_.root() / "data"));
}

TEST_F(NativeFilesTest, ClosedFileAnswersNothing)
{
    vadu::filesystem::File file;
    EXPECT_FALSE(file.open(path("data/missing.txt"), vadu::filesystem::File::read_mode));
    EXPECT_FALSE(file.open(path("data/levels"), vadu::filesystem::File::read_mode));
    char buffer[4];
    EXPECT_EQ(file.read(buffer, 4), 0u);
    EXPECT_EQ(file.write(buffer, 4), 0u);
    EXPECT_EQ(file.skip(4), 0u);
    EXPECT_EQ(file.get_size(), 0u);
    EXPECT_EQ(file.tell(), 0u);
    EXPECT_NE(file.seek(0), 0);
    EXPECT_NE(file.flush(), 0);
}

TEST_F(NativeFilesTest, CreateDirectoriesReportsWhetherTheFolderExists)
{
    struct Case {
        const char* path;
        bool result;
        const char* folder; // that must exist afterwards, relative to the root
    };
    write_bytes(temp_.root() / "Blocker", "a file where a folder is wanted");
    const Case cases[] = {
        {"data/new/deeper/file.txt", true, "Data/new/deeper"},
        {"data/trailing/", true, "Data/trailing"},
        {"data/levels/level2.xml", true, "Data/Levels"},
        {"blocker/inside/file.txt", false, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vadu::filesystem::create_directories(path(c.path)), c.result) << c.path;
        if (c.folder != nullptr) {
            EXPECT_TRUE(fs::is_directory(temp_.root() / c.folder)) << c.path;
        }
    }
    EXPECT_FALSE(fs::exists(temp_.root() / "Data" / "new" / "deeper" / "file.txt"));
    EXPECT_FALSE(fs::exists(temp_.root() / "Data" / "Levels" / "level2.xml"));
    EXPECT_FALSE(fs::exists(temp_.root() / "data"));
    // A bare name has no folder to make.
    EXPECT_TRUE(vadu::filesystem::create_directories(String("file.txt", false)));
}

TEST_F(NativeFilesTest, DeleteFile)
{
    EXPECT_TRUE(vadu::filesystem::delete_file(path("data/readme.txt")));
    EXPECT_FALSE(fs::exists(temp_.root() / "Data" / "ReadMe.txt"));
    EXPECT_FALSE(vadu::filesystem::delete_file(path("data/readme.txt")));
}

class Collector : public vadu::filesystem::Visitor {
public:
    explicit Collector(int stop_after = -1) : stop_after_(stop_after) {}
    bool on_file(const String& path) override { return take("file " + text(path)); }
    bool on_folder(const String& path) override { return take("folder " + text(path)); }
    std::vector<std::string> seen;

private:
    static std::string text(const String& path) { return std::string(path.get_text().data(), path.size()); }
    bool take(const std::string& entry)
    {
        seen.push_back(entry);
        return static_cast<int>(seen.size()) != stop_after_;
    }
    int stop_after_;
};

TEST_F(NativeFilesTest, ListsFilesAndFoldersWithTheirPaths)
{
    write_bytes(temp_.root() / "Data" / "notes.TXT", "");
    Collector all;
    vadu::filesystem::NativeFileSystem native;
    ASSERT_TRUE(native.enumerate(all, path("data")));
    std::string data = temp_.at("data");
    EXPECT_EQ(all.seen, (std::vector<std::string>{"folder " + data + "/Levels", "file " + data + "/ReadMe.txt",
                                                   "file " + data + "/notes.TXT"}));

    Collector texts;
    ASSERT_TRUE(vadu::filesystem::list_directory(texts, path("data"), "*.txt"));
    EXPECT_EQ(texts.seen, (std::vector<std::string>{"file " + data + "/ReadMe.txt", "file " + data + "/notes.TXT"}));

    Collector first(1);
    EXPECT_TRUE(vadu::filesystem::list_directory(first, path("data"), "*"));
    EXPECT_EQ(first.seen.size(), 1u);

    Collector none;
    EXPECT_FALSE(vadu::filesystem::list_directory(none, path("missing"), "*"));
    EXPECT_FALSE(vadu::filesystem::list_directory(none, path("data"), "*.png"));
    MapFileSystem memory({});
    EXPECT_FALSE(memory.enumerate(none, path("data")));
    EXPECT_TRUE(none.seen.empty());
}

TEST_F(NativeFilesTest, NativeAndPathFileSystemsOpenLowerCasedNames)
{
    vadu::filesystem::NativeFileSystem native;
    auto stream = native.open(String(temp_.at("data/levels/level1.xml").c_str(), true));
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(stream->is_good());
    EXPECT_EQ(text_of(*stream), "<Level/>");
    EXPECT_EQ(native.open(path("data/levels/missing.xml")), nullptr);
    EXPECT_EQ(native.open(path("data/levels")), nullptr);

    vadu::filesystem::PathFileSystem folder(String((temp_.at("Data") + "/").c_str(), true),
                                            std::make_unique<vadu::filesystem::NativeFileSystem>());
    EXPECT_EQ(open_text(folder, "Levels\\Level1.xml"), "<Level/>");
    EXPECT_EQ(open_text(folder, "readme.txt"), "0123456789");
}

// Path and prefixed file systems

TEST(PathFileSystemTest, TriesThePrefixThenTheNameAsGiven)
{
    auto memory = std::make_unique<MapFileSystem>(std::map<std::string, std::string>{{"plain.xml", "plain"}});
    MapFileSystem* inner = memory.get();
    vadu::filesystem::PathFileSystem system(String("base/", true));
    EXPECT_EQ(system.open(String("plain.xml", true)), nullptr); // nothing attached yet
    system.attach(std::move(memory));
    EXPECT_EQ(open_text(system, "plain.xml"), "plain");
    EXPECT_EQ(inner->asked, (std::vector<std::string>{"base/plain.xml", "plain.xml"}));
}

TEST(PrefixedFileSystemTest, TriesTheLocaleFolderFirst)
{
    struct Case {
        const char* locale;
        const char* name;
        const char* expected_text;
        std::vector<std::string> asked;
    };
    const Case cases[] = {
        {"ru", "data/sizes.xml", "ru sizes", {"ru/data/sizes.xml"}},
        {"RU", "Data/Sizes.xml", "ru sizes", {"ru/data/sizes.xml"}},
        {"ru", "data/plain.xml", "plain", {"ru/data/plain.xml", "data/plain.xml"}},
        // No locale adds no prefix: "/" + name would be a file under the root.
        {"", "data/sizes.xml", "sizes", {"data/sizes.xml"}},
        {"", "/data/sizes.xml", "", {"/data/sizes.xml"}},
        {"ru", "data/none.xml", "", {"ru/data/none.xml", "data/none.xml"}},
    };
    for (const Case& c : cases) {
        ProviderScope provider(new FixedLocale(c.locale));
        auto memory = std::make_unique<MapFileSystem>(std::map<std::string, std::string>{
            {"ru/data/sizes.xml", "ru sizes"}, {"data/sizes.xml", "sizes"}, {"data/plain.xml", "plain"}});
        MapFileSystem* inner = memory.get();
        vadu::filesystem::PrefixedFileSystem system(std::move(memory));
        EXPECT_EQ(open_text(system, c.name), c.expected_text) << c.locale << " " << c.name;
        EXPECT_EQ(inner->asked, c.asked) << c.locale << " " << c.name;
    }
}

// Reads its locale from "data/strings.xml" through the engine's own file system, as
// the game's provider does.
class LocaleFromStrings : public vadu::PlatformInfo {
public:
    vadu::String get_locale() override
    {
        ++asked;
        auto stream = vadu::filesystem::open(String("data/strings.xml", true));
        return stream ? vadu::String(text_of(*stream).c_str()) : vadu::String();
    }
    int asked = 0;
};

TEST(PrefixedFileSystemTest, ProviderThatOpensFilesIsNotAskedAgainInside)
{
    auto* provider = new LocaleFromStrings();
    ProviderScope scope(provider);
    MapFileSystem* inner = nullptr;
    vadu::filesystem::Creator creator([&inner] {
        auto memory = std::make_unique<MapFileSystem>(std::map<std::string, std::string>{
            {"data/strings.xml", "ru"}, {"ru/data/sizes.xml", "ru sizes"}, {"data/sizes.xml", "sizes"}});
        inner = memory.get();
        return std::make_unique<vadu::filesystem::PrefixedFileSystem>(std::move(memory));
    });

    auto stream = vadu::filesystem::open(String("data/sizes.xml", true));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(text_of(*stream), "ru sizes");
    EXPECT_EQ(provider->asked, 1);
    EXPECT_EQ(inner->asked,
              (std::vector<std::string>{"data/strings.xml", "ru/data/sizes.xml"}));

    // The guard is lifted once the answer is in: the next open asks again.
    ASSERT_NE(vadu::filesystem::open(String("data/sizes.xml", true)), nullptr);
    EXPECT_EQ(provider->asked, 2);
}

// Zip archives

class ZipTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(temp_.root().empty()); }
    TempFolder temp_{"QuilloFs"};
};

TEST_F(ZipTest, OpensMembersWholeWithOrWithoutLeadingSeparator)
{
    std::string large(300 * 1024, '\0');
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    make_zip(temp_.root() / "Data.pak", {{"data/sizes.xml", "<Sizes/>"},
                                          {"data/stored.txt", "stored as is", true},
                                          {"empty.txt", ""},
                                          {"data/large.bin", large}});
    // The archive's own name is found whatever its case.
    vadu::filesystem::ZipFileSystem archive(String(temp_.at("data.pak").c_str(), true));

    EXPECT_EQ(open_text(archive, "data/sizes.xml"), "<Sizes/>");
    EXPECT_EQ(open_text(archive, "/data/sizes.xml"), "<Sizes/>");
    EXPECT_EQ(open_text(archive, "data/stored.txt"), "stored as is");
    EXPECT_EQ(open_text(archive, "data/large.bin"), large);

    auto empty = archive.open(String("empty.txt", true));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->is_good());
    EXPECT_EQ(empty->get_size(), 0u);

    EXPECT_EQ(archive.open(String("data/missing.xml", true)), nullptr);
    EXPECT_EQ(archive.open(String("data", true)), nullptr);
}

TEST_F(ZipTest, MissingArchiveHasNoMembersAndTheFolderStillServes)
{
    write_bytes(temp_.root() / "Data" / "Sizes.xml", "from the folder");
    vadu::filesystem::CompositeFileSystem system;
    system.add(std::make_unique<vadu::filesystem::ZipFileSystem>(String(temp_.at("data.pak").c_str(), true)));
    system.add(std::make_unique<vadu::filesystem::PathFileSystem>(
        String(temp_.at("").c_str(), true), std::make_unique<vadu::filesystem::NativeFileSystem>()));

    vadu::filesystem::ZipFileSystem missing(String(temp_.at("data.pak").c_str(), true));
    EXPECT_EQ(missing.open(String("data/sizes.xml", true)), nullptr);
    EXPECT_EQ(open_text(system, "data/sizes.xml"), "from the folder");
    EXPECT_EQ(system.open(String("data/none.xml", true)), nullptr);
}

// Byte offsets in a zip with one member: the local header is at 0, the central one
// where its signature is.
constexpr size_t local_name_length = 26;
constexpr size_t local_header_size = 30;
constexpr size_t central_compressed_size = 20;
constexpr size_t central_size = 24;

size_t central_header(const std::vector<char>& bytes)
{
    for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
        if (std::memcmp(&bytes[i], "PK\1\2", 4) == 0)
            return i;
    }
    return bytes.size();
}

uint32_t get32(const std::vector<char>& bytes, size_t at)
{
    uint32_t value;
    std::memcpy(&value, &bytes[at], 4);
    return value;
}

void set32(std::vector<char>& bytes, size_t at, uint32_t value)
{
    std::memcpy(&bytes[at], &value, 4);
}

TEST_F(ZipTest, DamagedMembersGiveNullAndNeverHang)
{
    struct Case {
        const char* what;
        bool stored;
        void (*damage)(std::vector<char>& bytes);
    };
    const Case cases[] = {
        {"packed member claims more bytes than it holds", false,
         [](std::vector<char>& b) { set32(b, central_header(b) + central_size, 2000); }},
        {"stored member claims more bytes than it holds", true,
         [](std::vector<char>& b) { set32(b, central_header(b) + central_size, 2000); }},
        {"packed data cut short", false,
         [](std::vector<char>& b) {
             size_t at = central_header(b) + central_compressed_size;
             set32(b, at, get32(b, at) / 2);
         }},
        {"stored data altered", true,
         [](std::vector<char>& b) {
             uint16_t name_length;
             std::memcpy(&name_length, &b[local_name_length], 2);
             b[local_header_size + name_length + 5] ^= 1;
         }},
        {"archive cut in half", false, [](std::vector<char>& b) { b.resize(b.size() / 2); }},
    };
    std::string content;
    for (int i = 0; i < 1000; ++i)
        content += static_cast<char>('a' + i % 26);

    for (const Case& c : cases) {
        fs::path file = temp_.root() / "damaged.pak";
        make_zip(file, {{"member.txt", content, c.stored}});
        std::vector<char> bytes = read_bytes(file);
        ASSERT_LT(central_header(bytes), bytes.size());
        c.damage(bytes);
        std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

        vadu::filesystem::ZipFileSystem archive(String(file.c_str(), false));
        EXPECT_EQ(archive.open(String("member.txt", false)), nullptr) << c.what;
    }
}

TEST_F(ZipTest, GameSearchOrderArchiveBeforeFolderLocaleBeforePlain)
{
    make_zip(temp_.root() / "data.pak", {{"ru/data/sizes.xml", "archive ru"},
                                          {"data/sizes.xml", "archive"},
                                          {"data/archived.xml", "archive"}});
    write_bytes(temp_.root() / "RU" / "Data" / "Sizes.xml", "folder ru");
    write_bytes(temp_.root() / "Data" / "Sizes.xml", "folder");
    write_bytes(temp_.root() / "RU" / "Data" / "Local.xml", "folder ru");
    write_bytes(temp_.root() / "Data" / "Local.xml", "folder");
    write_bytes(temp_.root() / "Data" / "Plain.xml", "folder");
    write_bytes(temp_.root() / "Data" / "Archived.xml", "folder");

    ProviderScope provider(new FixedLocale("ru"));
    vadu::filesystem::CompositeFileSystem game;
    game.add(std::make_unique<vadu::filesystem::PrefixedFileSystem>(
        std::make_unique<vadu::filesystem::ZipFileSystem>(String(temp_.at("data.pak").c_str(), true))));
    game.add(std::make_unique<vadu::filesystem::PrefixedFileSystem>(std::make_unique<vadu::filesystem::PathFileSystem>(
        String(temp_.at("").c_str(), true), std::make_unique<vadu::filesystem::NativeFileSystem>())));

    struct Case {
        const char* name;
        const char* source;
    };
    const Case cases[] = {
        {"data/sizes.xml", "archive ru"},  {"data/archived.xml", "archive"}, {"data/local.xml", "folder ru"},
        {"DATA/PLAIN.XML", "folder"},      {"data/none.xml", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(open_text(game, c.name), c.source) << c.name;
}

// The current file system

TEST(FileSystemCreatorTest, OpensThroughTheCurrentFileSystemAndRebuilds)
{
    EXPECT_EQ(vadu::filesystem::open(String("a.txt", true)), nullptr); // none current yet

    int built = 0;
    auto factory = [&built] {
        ++built;
        return std::make_unique<MapFileSystem>(std::map<std::string, std::string>{{"a.txt", "a"}});
    };
    {
        vadu::filesystem::Creator creator(factory);
        EXPECT_EQ(built, 1);
        auto stream = vadu::filesystem::open(String("A.TXT", true));
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(text_of(*stream), "a");

        vadu::filesystem::Creator::rebuild();
        EXPECT_EQ(built, 2);
        {
            vadu::filesystem::Creator second(factory); // rebuilds, never fails
            EXPECT_EQ(built, 3);
        }
        // The first creator still owns a file system after the second one went.
        EXPECT_NE(vadu::filesystem::open(String("a.txt", true)), nullptr);
    }
    EXPECT_EQ(vadu::filesystem::open(String("a.txt", true)), nullptr);
}

TEST(FileSystemCreatorTest, DefaultFileSystemReadsNextToTheProgram)
{
    // Elsewhere than the program's folder, so that the name as given cannot answer.
    TempFolder elsewhere{"QuilloFs"};
    fs::path was = fs::current_path();
    fs::current_path(elsewhere.root());
    struct Back {
        fs::path to;
        ~Back() { fs::current_path(to); }
    } back{was};

    vadu::filesystem::Creator creator;
    // This test program lies in the application folder under its own name.
    auto stream = vadu::filesystem::open(String("vadu_tests", true));
    ASSERT_NE(stream, nullptr);
    EXPECT_GT(stream->get_size(), 0u);
}

TEST(PlatformInfoTest, DefaultsAndInstalling)
{
    vadu::PlatformInfo::install(nullptr);
    EXPECT_TRUE(vadu::PlatformInfo::instance().get_locale().empty());
    EXPECT_TRUE(vadu::PlatformInfo::instance().is_wide_screen());

    bool first_deleted = false;
    bool second_deleted = false;
    auto* first = new FixedLocale("de", &first_deleted);
    vadu::PlatformInfo::install(first);
    EXPECT_EQ(&vadu::PlatformInfo::instance(), first);
    EXPECT_TRUE(vadu::PlatformInfo::instance().get_locale() == "de");
    vadu::PlatformInfo::install(first); // the same provider again stays
    EXPECT_FALSE(first_deleted);

    vadu::PlatformInfo::install(new FixedLocale("fr", &second_deleted));
    EXPECT_TRUE(first_deleted);
    EXPECT_TRUE(vadu::PlatformInfo::instance().get_locale() == "fr");
    vadu::PlatformInfo::install(nullptr);
    EXPECT_TRUE(second_deleted);
    EXPECT_TRUE(vadu::PlatformInfo::instance().get_locale().empty());
}

} // namespace
