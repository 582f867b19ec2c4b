// The game's file system: the archive before the folder, and in each the locale's folder
// before the plain name; the locale read once, also when two threads open at once.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "shell_data_support.h"
#include "sources/resource_configuration.h"

namespace {

using namespace shell_data_test;

// A zip archive of stored members, written byte by byte.
Bytes StoredZip(const std::vector<std::pair<std::string, std::string>>& members)
{
    auto crc32 = [](const std::string& data) {
        uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char byte : data) {
            crc ^= byte;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    auto put16 = [](Bytes& out, uint32_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    Bytes zip;
    Bytes central;
    for (const auto& [name, data] : members) {
        const uint32_t offset = static_cast<uint32_t>(zip.size());
        const uint32_t crc = crc32(data);
        PutU32(zip, 0x04034b50);
        put16(zip, 20);
        put16(zip, 0);
        put16(zip, 0);
        PutU32(zip, 0);
        PutU32(zip, crc);
        PutU32(zip, static_cast<uint32_t>(data.size()));
        PutU32(zip, static_cast<uint32_t>(data.size()));
        put16(zip, static_cast<uint32_t>(name.size()));
        put16(zip, 0);
        zip.insert(zip.end(), name.begin(), name.end());
        zip.insert(zip.end(), data.begin(), data.end());

        PutU32(central, 0x02014b50);
        put16(central, 20);
        put16(central, 20);
        put16(central, 0);
        put16(central, 0);
        PutU32(central, 0);
        PutU32(central, crc);
        PutU32(central, static_cast<uint32_t>(data.size()));
        PutU32(central, static_cast<uint32_t>(data.size()));
        put16(central, static_cast<uint32_t>(name.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        PutU32(central, 0);
        PutU32(central, offset);
        central.insert(central.end(), name.begin(), name.end());
    }
    const uint32_t centralOffset = static_cast<uint32_t>(zip.size());
    zip.insert(zip.end(), central.begin(), central.end());
    PutU32(zip, 0x06054b50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, static_cast<uint32_t>(members.size()));
    put16(zip, static_cast<uint32_t>(members.size()));
    PutU32(zip, static_cast<uint32_t>(central.size()));
    PutU32(zip, centralOffset);
    put16(zip, 0);
    return zip;
}

std::string Contents(std::unique_ptr<vadu::Stream> stream)
{
    if (!stream)
        return "(none)";
    std::string text(stream->get_size(), '\0');
    stream->read(text.data(), static_cast<uint32_t>(text.size()));
    return text;
}

std::string Open(const char* name)
{
    return Contents(vadu::filesystem::open(vadu::filesystem::String(name, true)));
}

// Counts the provider's answers.
class CountingInfo : public GamePlatformInfo {
public:
    explicit CountingInfo(std::atomic<int>& calls) : calls_(calls) {}
    vadu::String get_locale() override
    {
        ++calls_;
        return GamePlatformInfo::get_locale();
    }

private:
    std::atomic<int>& calls_;
};

class ResourceConfigurationTest : public ShellDataTest {
protected:
    void TearDown() override
    {
        vadu::PlatformInfo::install(nullptr);
        ShellDataTest::TearDown();
    }

    // The game's arrangement over the test's game folder as the current file system.
    void UseGameFileSystem()
    {
        const std::string archive = (game_ / "data.pak").string();
        const std::string folder = game_.string() + "/";
        engine_.reset();
        engine_ = std::make_unique<Engine>(
            [archive, folder] { return ResourceConfiguration::Configure(archive.c_str(), folder.c_str()); });
    }
};

TEST_F(ResourceConfigurationTest, TheArchiveBeforeTheFolderAndTheLocaleFirstInEach)
{
    WriteBytes(game_ / "data.pak", StoredZip({{"ru/data/sizes.xml", "archive ru"},
                                              {"data/sizes.xml", "archive plain"},
                                              {"data/a.txt", "archive a"}}));
    WriteGameFile("data/strings.xml", R"(<Chapter Name="default" Locale="ru"/>)");
    WriteGameFile("ru/data/sizes.xml", "folder ru");
    WriteGameFile("data/sizes.xml", "folder plain");
    WriteGameFile("ru/data/b.txt", "folder ru b");
    WriteGameFile("data/b.txt", "folder b");
    WriteGameFile("data/a.txt", "folder a");
    WriteGameFile("data/c.txt", "folder c");
    std::atomic<int> calls = 0;
    vadu::PlatformInfo::install(new CountingInfo(calls));
    UseGameFileSystem();

    struct Case {
        const char* name;
        const char* found;
    } const cases[] = {
        {"data/sizes.xml", "archive ru"}, {"data/a.txt", "archive a"}, {"data/b.txt", "folder ru b"},
        {"data/c.txt", "folder c"},       {"data/d.txt", "(none)"},    {"DATA/Sizes.XML", "archive ru"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Open(c.name), c.found);
    }
    // Once for the archive and the folder together, however many opens follow.
    EXPECT_EQ(calls.load(), 1);
}

// Records the names it is asked for; has none of them.
class RecordingFileSystem : public vadu::filesystem::FileSystem {
public:
    explicit RecordingFileSystem(std::vector<std::string>& asked) : asked_(asked) {}
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String& path) override
    {
        std::lock_guard lock(mutex_);
        asked_.emplace_back(path.c_str(), path.size());
        return nullptr;
    }

private:
    std::vector<std::string>& asked_;
    std::mutex mutex_;
};

class FixedInfo : public vadu::PlatformInfo {
public:
    explicit FixedInfo(const char* locale) : locale_(locale) {}
    vadu::String get_locale() override { return locale_; }

private:
    const char* locale_;
};

TEST_F(ResourceConfigurationTest, AnEmptyLocaleTriesOnlyThePlainName)
{
    struct Case {
        const char* locale;
        std::vector<std::string> asked;
    } const cases[] = {
        {"", {"data/x.xml"}},
        {"ru", {"ru/data/x.xml", "data/x.xml"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        vadu::PlatformInfo::install(new FixedInfo(c.locale));
        std::vector<std::string> asked;
        ResourceConfiguration configuration(std::make_unique<RecordingFileSystem>(asked));
        EXPECT_EQ(configuration.Resolve(vadu::filesystem::String("data/x.xml", true)), nullptr);
        EXPECT_EQ(asked, c.asked);
    }
}

TEST_F(ResourceConfigurationTest, TheLocaleFileItselfIsOpenedWithoutAPrefix)
{
    WriteGameFile("data/strings.xml", R"(<Chapter Locale="ru"/>)");
    WriteGameFile("ru/data/strings.xml", R"(<Chapter Locale="xx"/>)");
    vadu::PlatformInfo::install(new GamePlatformInfo);
    UseGameFileSystem();
    // The provider's own read found the plain file; afterwards the locale's copy wins.
    EXPECT_EQ(Open("data/strings.xml"), R"(<Chapter Locale="xx"/>)");
    EXPECT_EQ(vadu::PlatformInfo::instance().get_locale(), "xx");
}

// Answers slowly, so that a second thread arrives while the first asks.
class SlowInfo : public vadu::PlatformInfo {
public:
    explicit SlowInfo(std::atomic<int>& calls) : calls_(calls) {}
    vadu::String get_locale() override
    {
        ++calls_;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return "ru";
    }

private:
    std::atomic<int>& calls_;
};

TEST_F(ResourceConfigurationTest, TwoThreadsOpeningAtOnceAskTheLocaleOnce)
{
    std::atomic<int> calls = 0;
    vadu::PlatformInfo::install(new SlowInfo(calls));
    std::vector<std::string> asked;
    ResourceConfiguration configuration(std::make_unique<RecordingFileSystem>(asked));
    const vadu::filesystem::String nameA("data/a.xml", true);
    const vadu::filesystem::String nameB("data/b.xml", true);
    std::thread a([&] { configuration.Resolve(nameA); });
    std::thread b([&] { configuration.Resolve(nameB); });
    a.join();
    b.join();
    EXPECT_EQ(calls.load(), 1);
    // Both looked in the locale's folder first.
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (std::vector<std::string>{"data/a.xml", "data/b.xml", "ru/data/a.xml", "ru/data/b.xml"}));
}

TEST(GamePlatformInfo, WideWhenNearerSixteenNinthsThanFourThirds)
{
    struct Case {
        float width, height;
        bool wide;
    } const cases[] = {
        {1920, 1080, true}, {1024, 768, false}, {1280, 1024, false}, {1440, 900, true}, {1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        EXPECT_EQ(GamePlatformInfo::IsWideAspect(c.width, c.height), c.wide);
    }
}

} // namespace
