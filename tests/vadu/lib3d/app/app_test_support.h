#pragma once

// What the shell tests share: render devices with a mode table and no drawing, a test
// application that builds the engine's creators itself over a temporary data folder
// (as the game does), a captured log, and a clock the tests move by hand.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/headless/dialog_script.h"
#include "platform/headless/script.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/app/application.h"
#include "vadu/lib3d/app/video_settings.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/log.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace app_test {

namespace fs = std::filesystem;
namespace hard = vadu::lib3d::hard;
using Row = hard::Hardware::Row;

inline std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// Columns and rows shaped like the device back end's.
inline const std::vector<vadu::String> columns{"Fullscreen", "ResolutionX", "ResolutionY", "Antialiasing"};
inline const std::vector<vadu::String> wanted{"Yes", "800", "600", "None"};
inline const std::vector<Row> mode_rows{
    {"No (Window mode)", "0", "0", "None"},
    {"No (Window mode)", "0", "0", "2xSamples (Medium)"},
    {"Yes", "640", "480", "None"},
    {"Yes", "800", "600", "None"},
    {"Yes", "800", "600", "2xSamples (Medium)"},
    {"Yes", "1024", "768", "None"},
};

// A render device that starts the modes it is told to accept and remembers what it was
// asked to do.
class FakeHardware : public hard::Hardware {
public:
    FakeHardware(const std::string& name, bool accepts_modes) : accepts_modes(accepts_modes), name_(name)
    {
        set_attribute_names(columns, wanted);
        for (const Row& row : mode_rows)
            add_attribute_table_row(row);
    }

    int get_width() const override { return 512; }
    int get_height() const override { return 384; }
    bool start_scene(double, double, double, double) override { return true; }
    bool set_mode_internal(platform::WindowHandle window, const Row& row) override
    {
        started_rows.push_back(row);
        mode_window = window;
        return accepts_modes;
    }
    vadu::String get_description() const override { return name_.c_str(); }
    vadu::String get_name() const override { return name_.c_str(); }
    void stop_mode() override
    {
        ++stops;
        stopped.push_back(name_);
    }
    bool is_operational() const override { return true; }
    void render(hard::RenderList& list, hard::RenderTargetBase& target) override
    {
        rendered.push_back({list.culling, list.records.size(), list.projection, &target});
    }
    std::unique_ptr<hard::Texture> create_texture(int levels, vadu::pictureformat::Format format, int width,
                                                  int height) override
    {
        return std::make_unique<texture_test::MemoryTexture>(levels, format, width, height);
    }
    std::unique_ptr<hard::TextureCubic> create_texture_cubic(int, vadu::pictureformat::Format, int, int) override
    {
        return nullptr;
    }
    std::unique_ptr<hard::VertexBuffer> create_vertex_buffer(bool) override { return nullptr; }
    std::unique_ptr<hard::IndexBuffer> create_index_buffer() override { return nullptr; }
    std::unique_ptr<hard::PointBuffer> create_point_buffer() override { return nullptr; }
    std::unique_ptr<hard::RenderTarget> create_render_target(const vadu::Atom&, int, int) override
    {
        return nullptr;
    }
    hard::RenderTarget* find_render_target(const vadu::Atom&) override { return nullptr; }
    bool start_frame() override { return true; }
    void finish_frame() override {}

    std::string selected(const char* column) const { return to_std(get_attribute_value(column)); }

    struct Render {
        uint8_t culling;
        size_t records;
        vadu::math::Matrix4 projection;
        const hard::RenderTargetBase* target;
    };

    bool accepts_modes;
    std::vector<Row> started_rows;
    platform::WindowHandle mode_window = nullptr;
    int stops = 0;
    // Names of the hardwares that left their mode, in order, across applications.
    static inline std::vector<std::string> stopped;
    std::vector<Render> rendered;

private:
    std::string name_;
};

struct DeviceSpec {
    std::string name;
    bool accepts_modes = true;
};

// A device back end's creator for the tests: registers one hardware per DeviceSpec before the
// shell's constructor body runs, and removes them after the shell is gone.
class FakeDevices : public virtual hard::Manager::Creator {
public:
    explicit FakeDevices(const std::vector<DeviceSpec>& specs)
    {
        for (const DeviceSpec& spec : specs) {
            hardwares_.push_back(std::make_unique<FakeHardware>(spec.name, spec.accepts_modes));
            hard::Manager::add_hardware(hardwares_.back().get());
        }
    }
    ~FakeDevices() override
    {
        for (auto it = hardwares_.rbegin(); it != hardwares_.rend(); ++it)
            hard::Manager::notify_remove_hardware(it->get());
    }

    FakeHardware& device(size_t index) { return *hardwares_.at(index); }

private:
    std::vector<std::unique_ptr<FakeHardware>> hardwares_;
};

// Sends the engine log to a temporary file from the start of the application on.
class CapturedLog : public virtual vadu::logs::Creator {
public:
    std::string log_text() const { return capture_.text(); }

private:
    test_support::LogCapture capture_;
};

struct Options {
    std::string data_folder;
    std::string name = "quillo-app-test";
    std::string command_line;
    std::vector<DeviceSpec> devices{{"1: Fake Adapter", true}};
};

// The shell under a derived application that builds every creator itself, like the game.
class TestApplication : public virtual CapturedLog, public vadu::lib3d::Application, public virtual FakeDevices {
public:
    explicit TestApplication(const Options& options)
        : vadu::logs::Creator(vadu::String()),
          vadu::filesystem::Creator([folder = options.data_folder] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((folder + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          }),
          vadu::resource::ActiveMultithreaded::Creator(),
          vadu::animate::Soul::Creator(),
          vadu::DictionaryHolder::Creator(),
          vadu::WindowCreator(512, 384, true),
          hard::Manager::Creator(),
          FakeDevices(options.devices),
          vadu::lib3d::Application(options.name.c_str(), options.command_line.c_str(), false)
    {
        register_engine_node_types();
        // Registered again in case the engine list does not hold them yet.
        using namespace vadu::lib3d::node;
        register_node_type(vadu::Atom("CameraParallel"), &create_node_of_type<CameraParallel>);
        register_node_type(vadu::Atom("CameraPerspective"), &create_node_of_type<CameraPerspective>);
        register_node_type(vadu::Atom("Node"), &create_node_of_type<Node>);
    }

    ~TestApplication() override
    {
        using vadu::Atom;
        unregister_engine_node_types();
        vadu::lib3d::node::unregister_node_type(Atom("CameraParallel"));
        vadu::lib3d::node::unregister_node_type(Atom("CameraPerspective"));
        vadu::lib3d::node::unregister_node_type(Atom("Node"));
    }

    void on_loading_start() override { events.push_back("start"); }
    void on_loading_progress(double fraction) override
    {
        events.push_back("progress");
        fractions.push_back(fraction);
    }
    void on_loading_finish() override { events.push_back("finish"); }
    void OnDeactivate() override { events.push_back("deactivate"); }
    void OnActivate() override { events.push_back("activate"); }
    bool OnCloseRequest() override
    {
        events.push_back("close?");
        return allow_close;
    }

    void set_load_passes(std::vector<LoadPass> passes) { load_passes_ = std::move(passes); }
    platform::WindowHandle window() { return get_window().window; }

    std::vector<std::string> events;
    std::vector<double> fractions;
    bool allow_close = true;
};

// Milliseconds, moved by the tests; never 0 (0 means "not timed" to the shell).
class ManualClock : public platform::TickSource {
public:
    ManualClock() { platform::set_tick_source(this); }
    ~ManualClock() override { platform::set_tick_source(nullptr); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    bool query_performance_counter(int64_t* ticks) override
    {
        *ticks = now.load();
        return true;
    }
    bool query_performance_frequency(int64_t* per_second) override
    {
        *per_second = 1000;
        return true;
    }
    uint32_t get_tick_count() override { return static_cast<uint32_t>(now.load()); }

    void advance(int64_t milliseconds) { now += milliseconds; }

    std::atomic<int64_t> now{1'000'000};
};

// A temporary data folder, the per-user settings folder of the test's application name,
// and a headless window layer reset around every test.
class ShellFixture : public ::testing::Test {
protected:
    ShellFixture()
    {
        options.data_folder = data_.string();
        options.name = "quillo-shell-test-" + std::to_string(::getpid());
        platform::headless::reset();
        platform::headless::set_frame_limit(0);
        platform::headless::reset_dialogs();
        vadu::lib3d::Application::get_starter_settings().clear();
        settings_file_ = settings_path(options.name);
        remove_settings();
    }

    ~ShellFixture() override
    {
        remove_settings();
        platform::headless::reset_dialogs();
        platform::headless::reset();
        vadu::lib3d::Application::get_starter_settings().clear();
    }

    // Where an application of that name keeps its video settings.
    static fs::path settings_path(const std::string& name)
    {
        const vadu::filesystem::String path =
            vadu::filesystem::String(vadu::String("%local_appdata%/") + name.c_str(), true) + "/videosettings.ini";
        return fs::path(to_std(path.get_text()));
    }

    void remove_settings()
    {
        std::error_code ignored;
        fs::remove_all(settings_file_.parent_path(), ignored);
    }

    void write_settings(const std::string& attributes)
    {
        write_file(settings_file_, "<?xml version=\"1.0\"?>\n<VideoSettings " + attributes + "/>\n");
    }

    static void write_file(const fs::path& path, const std::string& text)
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    void write_data(const std::string& name, const std::string& text) { write_file(data_ / name, text); }

    static std::string read_file(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static FakeHardware& hardware(size_t index)
    {
        return *static_cast<FakeHardware*>(hard::Manager::get_hardwares().at(index));
    }

    test_support::TempFolder temp_{"quillo-shell"};
    Options options;
    fs::path data_ = temp_.root();
    fs::path settings_file_;
};

} // namespace app_test
