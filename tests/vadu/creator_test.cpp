#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless/script.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"
#include "vadu/resource_loader.h"
#include "vadu/window.h"

namespace creator_test_file {

std::vector<std::string> journal;

// A creator with no dependencies that notes who built it.
template <char Tag>
class Recorder {
public:
    explicit Recorder(const char* built_by) { journal.push_back(std::string(1, Tag) + " by " + built_by); }
    virtual ~Recorder() { journal.push_back(std::string("~") + Tag); }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
};
using First = Recorder<'F'>;
using Second = Recorder<'S'>;

// Needs First, then Second.
class Inner : public virtual First, public virtual Second {
public:
    Inner() : First("Inner"), Second("Inner") { journal.push_back("Inner"); }
    ~Inner() override { journal.push_back("~Inner"); }
};

// Most-derived over Inner: wants Second before First, and the log before both.
class Outer : public virtual vadu::logs::Creator, public virtual Second, public virtual First, public Inner {
public:
    Outer() : vadu::logs::Creator("outer"), Second("Outer"), First("Outer")
    {
        vadu::logs::log(); // the log base exists by now
        journal.push_back("Outer");
    }
    ~Outer() override { journal.push_back("~Outer"); }
};

// A manager of the ordinary kind and its creator.
struct Gauge {
    int readings = 0;
};
Gauge* current_gauge = nullptr;

class GaugeCreator : public virtual vadu::logs::Creator, public virtual First {
public:
    GaugeCreator() : vadu::logs::Creator(""), First("GaugeCreator")
    {
        if (current_gauge)
            throw vadu::Gluck("GaugeCreator::GaugeCreator", "gauge already exist");
        current_gauge = new Gauge;
    }
    ~GaugeCreator() override
    {
        delete current_gauge;
        current_gauge = nullptr;
    }
};

std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

class CreatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        journal.clear();
        vadu::logs::set_log(nullptr);
    }
    void TearDown() override { vadu::logs::Creator restore(""); }
};

TEST_F(CreatorTest, OnlyTheMostDerivedBuildsVirtualBasesInItsOwnOrder)
{
    struct Case {
        const char* name;
        std::function<void()> build_and_destroy;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"inner alone", [] { Inner inner; },
         {"F by Inner", "S by Inner", "Inner", "~Inner", "~S", "~F"}},
        {"inner under outer", [] { Outer outer; },
         {"S by Outer", "F by Outer", "Inner", "Outer", "~Outer", "~Inner", "~F", "~S"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        journal.clear();
        c.build_and_destroy();
        EXPECT_EQ(journal, c.expected);
    }
}

TEST_F(CreatorTest, LogCreatorIsBuiltByTheMostDerivedAndOutlivesIt)
{
    {
        Outer outer;
    }
    EXPECT_NO_THROW(vadu::logs::log());
}

TEST_F(CreatorTest, SecondOrdinaryCreatorThrowsAndLeavesTheFirstManagerWorking)
{
    GaugeCreator first;
    Gauge* const gauge = current_gauge;
    ASSERT_NE(gauge, nullptr);
    journal.clear();

    try {
        GaugeCreator second;
        FAIL() << "a second creator of an existing manager did not throw";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(to_std(gluck.get_function()), "GaugeCreator::GaugeCreator");
        EXPECT_EQ(to_std(gluck.get_description()), "gauge already exist");
    }
    // The failed creator built its own bases and took them down again; nothing else moved.
    EXPECT_EQ(journal, (std::vector<std::string>{"F by GaugeCreator", "~F"}));
    EXPECT_EQ(current_gauge, gauge);
    ++current_gauge->readings;
    EXPECT_EQ(gauge->readings, 1);
}

TEST_F(CreatorTest, ManagerLivesExactlyAsLongAsItsCreator)
{
    {
        GaugeCreator creator;
        EXPECT_NE(current_gauge, nullptr);
    }
    EXPECT_EQ(current_gauge, nullptr);
    GaugeCreator again;
    EXPECT_NE(current_gauge, nullptr);
}

// What a file system saw of the loader by the time it was destroyed.
struct SlowFilesReport {
    std::atomic<bool> opening{false};
    bool destroyed = false;
    bool open_running_when_destroyed = false;
    bool loader_alive_when_destroyed = false;
};
SlowFilesReport* slow_files_report = nullptr;

// Opens take a while, so that the loader is caught in the middle of one.
class SlowFileSystem : public vadu::filesystem::FileSystem {
public:
    ~SlowFileSystem() override
    {
        slow_files_report->destroyed = true;
        slow_files_report->open_running_when_destroyed = slow_files_report->opening.load();
        slow_files_report->loader_alive_when_destroyed = vadu::resource::ActiveMultithreadedLoader::get() != nullptr;
    }

    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String&) override
    {
        slow_files_report->opening = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto stream = std::make_unique<vadu::filesystem::MemoryStream>(std::vector<uint8_t>{1, 2, 3});
        slow_files_report->opening = false;
        return stream;
    }
};

std::unique_ptr<vadu::filesystem::FileSystem> make_slow_file_system()
{
    return std::make_unique<SlowFileSystem>();
}

class LoaderStack : public virtual vadu::logs::Creator,
                    public virtual vadu::filesystem::Creator,
                    public virtual vadu::resource::ActiveMultithreaded::Creator {
public:
    LoaderStack() : vadu::logs::Creator(""), vadu::filesystem::Creator(make_slow_file_system) {}
};

class SlowFilesApplication : public vadu::Application {
public:
    SlowFilesApplication()
        : vadu::filesystem::Creator(make_slow_file_system),
          vadu::WindowCreator(64, 64, false),
          vadu::Application("creators")
    {
    }
};

TEST_F(CreatorTest, LoaderStopsBeforeItsFileSystemGoes)
{
    platform::headless::reset();
    struct Case {
        const char* name;
        std::function<std::unique_ptr<vadu::logs::Creator>()> build;
    };
    const Case cases[] = {
        {"creators alone", [] { return std::make_unique<LoaderStack>(); }},
        {"application", [] { return std::make_unique<SlowFilesApplication>(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vadu::logs::set_log(nullptr);
        SlowFilesReport report;
        slow_files_report = &report;
        auto stack = c.build();
        EXPECT_NO_THROW(vadu::logs::log());
        auto request = std::make_unique<vadu::resource::ActiveMultithreaded>(vadu::filesystem::String("slow.bin", true));

        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!report.opening && !request->is_loaded() && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(report.opening || request->is_loaded()) << "the loader never took the request";

        stack.reset();
        EXPECT_TRUE(report.destroyed);
        EXPECT_FALSE(report.loader_alive_when_destroyed);
        EXPECT_FALSE(report.open_running_when_destroyed);
        EXPECT_EQ(vadu::resource::ActiveMultithreadedLoader::get(), nullptr);
        EXPECT_TRUE(request->is_loaded());
        EXPECT_EQ(request->get_size(), 3u);
        request.reset();
        slow_files_report = nullptr;
    }
    platform::headless::reset();
}

} // namespace
