#include "vadu/lib3d/app/application.h"

#include <cmath>
#include <string_view>

#include "platform/clock.h"
#include "platform/window.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/font/text.h"
#include "vadu/input_windows.h"
#include "vadu/lib3d/app/video_settings.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/material/atlas.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/lib3d/material/texture_handle.h"
#include "vadu/lib3d/material/texture_sequence.h"
#include "vadu/lib3d/model/model.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/resource_loader.h"
#include "vadu/threads.h"
#include "vadu/time.h"
#include "vadu/view_fit.h"
#include "vadu/xml_reader.h"

namespace vadu::lib3d {

namespace {

// "load() failed", with what the reader refused when it refused something.
String load_failure(const xml::StreamResource& resource)
{
    const String& problem = resource.get_problem();
    return problem.empty() ? String("load() failed") : String("load() failed: ") + problem;
}

// The tick count at which pending work was first seen; 0 while none is being timed.
int64_t loading_start_stamp = 0;

struct PendingTexture {
    std::unique_ptr<material::TextureHandle> handle;
    std::function<void(material::TextureHandle&)> callback;
};

// Made on first use.
std::unique_ptr<std::vector<PendingTexture>>& pending_textures()
{
    static std::unique_ptr<std::vector<PendingTexture>> queue;
    return queue;
}

void run_texture_notifications()
{
    auto& queue = pending_textures();
    if (!queue)
        return;
    // By index: a callback may queue more.
    for (size_t i = 0; i < queue->size();) {
        PendingTexture& entry = (*queue)[i];
        if (!entry.handle || !entry.handle->is_ready()) {
            ++i;
            continue;
        }
        PendingTexture ready = std::move(entry);
        queue->erase(queue->begin() + static_cast<std::ptrdiff_t>(i));
        // An empty callback has nothing to be told.
        if (ready.callback)
            ready.callback(*ready.handle);
    }
}

} // namespace

void notify_when_texture_ready(std::unique_ptr<material::TextureHandle> handle,
                               std::function<void(material::TextureHandle&)> callback)
{
    if (!handle)
        return;
    auto& queue = pending_textures();
    if (!queue)
        queue = std::make_unique<std::vector<PendingTexture>>();
    queue->push_back({std::move(handle), std::move(callback)});
}

size_t get_pending_texture_notification_count()
{
    const auto& queue = pending_textures();
    return queue ? queue->size() : 0;
}

std::vector<Application::LoadPass> Application::get_default_load_passes()
{
    return {
        &material::load_texture_simple_reps,
        &material::load_texture_atlas_reps,
        &material::load_texture_reflection_reps,
        &material::load_texture_sequence_frames,
        &material::load_texture_sequence_frame_reps,
        &model::load_models,
        &model::load_models_in_hardware,
    };
}

std::span<const node::NodeTypeEntry> Application::get_engine_node_types()
{
    // The text node lives above the scene graph, whose table therefore lacks it: it takes
    // its place after the particle emitter here, where both are known.
    static const std::vector<node::NodeTypeEntry> types = [] {
        std::vector<node::NodeTypeEntry> all;
        for (const node::NodeTypeEntry& entry : node::get_engine_node_types()) {
            all.push_back(entry);
            if (std::string_view(entry.type_name) == "ParticlesEmitter")
                all.push_back({"Text", &node::create_node_of_type<node::Text>});
        }
        return all;
    }();
    return types;
}

void Application::register_engine_node_types()
{
    node::register_node_types(get_engine_node_types());
}

void Application::unregister_engine_node_types()
{
    node::unregister_node_types(get_engine_node_types());
}

Application::Application(const String& name, const String& command_line, bool most_derived)
    : logs::Creator(String()),
      filesystem::Creator(filesystem::create_default_file_system),
      resource::ActiveMultithreaded::Creator(),
      animate::Soul::Creator(),
      DictionaryHolder::Creator(),
      WindowCreator(512, 384, true),
      hard::Manager::Creator(),
      TrueText::TextLibrary::Creator(),
      vadu::Application(name),
      load_passes_(get_default_load_passes()),
      cursor_root_(std::make_unique<node::LoadingRoot>(Atom("lib3d::Application::cursor_root"))),
      cursor_animation_(std::make_unique<animate::PrimitiveAnimation>())
{
    static const char function[] = "vadu::lib3d::Application::Application";
    if (platform::fixed_step_wanted(platform::is_headless())) {
        fixed_step_ = true;
        platform::set_fixed_step(true);
    }
    if (most_derived) {
        register_engine_node_types();
        registered_node_types_ = true;
    }
    try {
        loading_start_stamp = 0;
        const platform::WindowHandle window = get_window().window;
        if (command_line.find("-nofullscreen") != String::npos) {
            for (hard::Hardware* hardware : hard::Manager::get_hardwares())
                hardware->select_row("Fullscreen", "No (Window mode)");
        }

        video_settings_path_ = filesystem::String(String("%local_appdata%/") + name, true) + "/videosettings.ini";
        hardware_ = hard::VideoSettings::load(video_settings_path_);
        hard::VideoSettings::set_chosen_hardware(hardware_);

        if (command_line == "settings")
            run_settings_dialog();

        if (!hardware_ || !hardware_->set_mode(window))
            hardware_ = hard::VideoSettings::choose_default(window);
        if (!hardware_)
            throw Gluck(function, "Could not create desired videomode");
        loading_shown_ = 0;
    } catch (...) {
        if (registered_node_types_)
            unregister_engine_node_types();
        if (fixed_step_)
            platform::set_fixed_step(false);
        throw;
    }
}

Application::~Application()
{
    cursor_node_ = nullptr;
    camera_ = nullptr;
    cursor_root_.reset();
    if (hardware_) {
        hardware_->stop_mode();
        hardware_ = nullptr;
    }
    if (hard::VideoSettings::get_chosen_hardware())
        hard::VideoSettings::set_chosen_hardware(nullptr);
    cursor_animation_.reset();
    // The handles hold textures of the device manager, which goes with the application.
    pending_textures().reset();
    loading_start_stamp = 0;
    if (registered_node_types_)
        unregister_engine_node_types();
    if (fixed_step_)
        platform::set_fixed_step(false);
}

void Application::advance_cursor_animation(double seconds)
{
    if (!click_driven_) {
        cursor_animation_->advance_looped(seconds);
        return;
    }
    click_time_ += seconds;
    if (click_time_ <= click_end_time_)
        cursor_animation_->advance_looped(seconds);
    else
        cursor_animation_->set_phase(cursor_duration_ > 0.0 ? click_end_time_ / cursor_duration_ : 0.0);
}

void Application::track_cursor()
{
    if (!camera_ || !cursor_node_)
        return;
    const platform::WindowHandle window = get_window().window;
    const platform::Point point = platform::screen_to_client(window, platform::get_cursor_pos());
    const platform::Rect client = platform::get_client_rect(window);
    const int32_t width = client.right - client.left;
    const int32_t height = client.bottom - client.top;
    input::hard::windows::mouse_set_client_size(height, width);
    // A minimised window has no client area to map the pointer into.
    if (width <= 0 || height <= 0)
        return;

    // Across the frame's view of the scene, which a frame of another shape than the
    // layout widens (see view_fit.h).
    const view::Extent extent = view::frame_extent(width, height);
    const double fx = (static_cast<double>(point.x) / width - 0.5) * extent.x + 0.5;
    const double fy = (static_cast<double>(point.y) / height - 0.5) * extent.y + 0.5;
    const math::Vector3 position = cursor_node_->get_position();
    const double z = position.z;
    double aspect = 1.0;
    double fov = 1.0;
    const bool has_aspect = camera_->get_attribute(Atom("Aspect"), aspect);
    const bool has_fov = camera_->get_attribute(Atom("Fov"), fov);
    double x = 0.0;
    double y = 0.0;
    if (has_aspect || has_fov) {
        const double t = std::tan(fov * 0.5);
        // A camera without a view angle or width shows no plane to place the cursor in.
        if (t == 0.0 || aspect == 0.0)
            return;
        x = 2.0 * z * (fx - 0.5) / (t * aspect);
        y = 2.0 * z * (fy - 0.5) / t;
    } else {
        double view_width = 0.0;
        double view_height = 0.0;
        camera_->get_attribute(Atom("Width"), view_width);
        camera_->get_attribute(Atom("Height"), view_height);
        x = (fx - 0.5) * view_width;
        y = (0.5 - fy) * view_height;
    }
    const math::Vector3 moved{static_cast<float>(x), static_cast<float>(y), position.z};
    if (!(moved == position))
        cursor_node_->set_position(moved);
}

void Application::enter_loading_state()
{
    // At least one load counts as pending, so the next frame step that finds none ends the
    // state again.
    pending_maximum_ = std::max(pending_maximum_, 1);
    if (!loading_shown_) {
        loading_shown_ = 1;
        on_loading_start();
    }
}

bool Application::Update(double seconds)
{
    advance_cursor_animation(seconds);
    track_cursor();
    run_texture_notifications();

    const int64_t start_ticks = time::get_ticks();
    const double budget = loading_shown_ ? 0.1 : 1.0;
    auto run_passes = [&] {
        int32_t count = 0;
        for (const LoadPass& pass : load_passes_) {
            if (pass)
                count += pass(start_ticks, budget);
        }
        return count;
    };
    int32_t pending = run_passes();
    // In frame time nothing waits for a later frame: the step waits for the files the
    // loader has queued and loads them now (a few rounds, as a loaded file may ask for
    // more, e.g. an atlas for its picture).
    for (int round = 0; fixed_step_ && pending != 0 && round < 16; ++round) {
        if (!wait_for_loader())
            break;
        pending = run_passes();
    }

    if (!loading_shown_ && pending != 0) {
        if (loading_start_stamp == 0) {
            loading_start_stamp = time::get_ticks();
        } else {
            const float elapsed =
                static_cast<float>(static_cast<double>(time::get_ticks() - loading_start_stamp) * time::get_tick_period());
            if (static_cast<float>(loading_delay_) / 1000.0f < elapsed) {
                loading_shown_ = 1;
                on_loading_start();
            }
        }
    }

    pending_maximum_ = std::max(pending_maximum_, pending);
    if (loading_shown_ && pending_maximum_ != 0) {
        on_loading_progress(static_cast<double>(pending_maximum_ - pending) / pending_maximum_);
        threads::sleep(20);
    }

    if (pending_maximum_ != 0 && pending == 0) {
        loading_start_stamp = 0;
        if (loading_shown_) {
            loading_shown_ = 0;
            on_loading_finish();
        }
        pending_maximum_ = 0;
    }

    return vadu::Application::Update(seconds);
}

bool Application::wait_for_loader()
{
    resource::ActiveMultithreadedLoader* loader = resource::ActiveMultithreadedLoader::get();
    if (!loader)
        return false;
    // A file that takes longer than this is left to later frames.
    for (int waited = 0; waited < 30000; ++waited) {
        if (loader->is_idle())
            return true;
        threads::sleep(1);
    }
    return false;
}

void Application::render_scene(hard::RenderTargetBase& target)
{
    if (!camera_ || !hardware_)
        return;
    hard::RenderList list;
    camera_->prepare_render(*hardware_, list);
    // The cursor is never culled against the view.
    list.culling = 0;
    hardware_->render(list, target);
}

node::Camera* Application::load_root(node::LoadingRoot* root, animate::PrimitiveAnimation* animation,
                                     const filesystem::String& path, const Atom& camera_name)
{
    static const char function[] = "vadu::lib3d::Application::load_root";
    if (!root)
        return nullptr;

    const filesystem::String scene_path = path + ".scene";
    {
        std::unique_ptr<Stream> stream = filesystem::open(scene_path);
        xml::StreamResource resource(stream.get(), scene_path);
        xml::Root bound(*root, "Scene");
        if (!stream || !resource.load(bound))
            throw GluckBadResource(function, load_failure(resource), scene_path);
    }

    node::Camera* camera = nullptr;
    for (node::Camera* candidate : root->get_cameras()) {
        if (candidate->get_name() == camera_name) {
            camera = candidate;
            break;
        }
    }
    if (!camera)
        throw GluckBadResource(function, "Camera not found", scene_path);
    if (!animation)
        return camera;

    const filesystem::String animation_path = path + ".anim";
    std::unique_ptr<Stream> stream = filesystem::open(animation_path);
    xml::StreamResource resource(stream.get(), animation_path);
    xml::Root bound(*animation, "Animation");
    if (!stream || !resource.load(bound))
        throw GluckBadResource(function, load_failure(resource), animation_path);
    animation->bind(root, false);
    return camera;
}

void Application::change_cursor(const filesystem::String& path, bool click_driven)
{
    if (path == cursor_path_)
        return;
    cursor_path_ = path;
    click_driven_ = click_driven ? 1 : 0;
    camera_ = nullptr;
    cursor_node_ = nullptr;
    cursor_root_->delete_children();
    cursor_animation_ = std::make_unique<animate::PrimitiveAnimation>();
    cursor_duration_ = 0.0;
    if (!path.empty()) {
        camera_ = load_root(cursor_root_.get(), cursor_animation_.get(), path, Atom("Camera"));
        cursor_node_ = cursor_root_->find_child(Atom("Cursor"), true);
        if (!cursor_node_)
            throw GluckBadResource("vadu::lib3d::Application::change_cursor", "Cursor node not found",
                                   path + ".scene");
    }
    const float speed = static_cast<float>(cursor_animation_->get_speed());
    cursor_duration_ = speed != 0.0f ? cursor_animation_->get_length() / speed : 0.0;
}

int32_t Application::OnWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    namespace wm = platform::wm;
    switch (message) {
    case wm::DISPLAYCHANGE:
    case wm::SIZE: {
        if (message == wm::SIZE && wparam != platform::SIZE_RESTORED)
            break;
        Window& record = get_window();
        if (!record.changing_placement && !record.full_screen && record.client_width > 0 &&
            record.client_height > 0) {
            platform::FitWindowSizeToDesktop(record, record.client_width, record.client_height);
            platform::CenterWindow(record);
        }
        break;
    }
    case wm::ACTIVATE:
        switch (wparam & 0xFFFF) {
        case platform::WA_INACTIVE:
            OnDeactivate();
            break;
        case platform::WA_ACTIVE:
        case platform::WA_CLICKACTIVE:
            OnActivate();
            break;
        default:
            break;
        }
        break;
    case wm::CLOSE:
        if (!OnCloseRequest())
            return 1;
        break;
    case wm::SYSCOMMAND:
        if ((wparam & 0xFFF0) == platform::SC_MINIMIZE)
            OnDeactivate();
        break;
    case wm::LBUTTONDOWN:
        click_time_ = 0.0;
        click_end_time_ = cursor_duration_ * 0.5;
        break;
    case wm::LBUTTONUP:
        click_time_ = cursor_duration_ * 0.5;
        click_end_time_ = cursor_duration_;
        break;
    default:
        break;
    }
    return vadu::Application::OnWindowMessage(message, wparam, lparam);
}

} // namespace vadu::lib3d
