#pragma once

// The rendering application: the engine application with a render device. It picks and
// starts the video mode when built, finishes pending resource loads each frame within a
// time budget (showing a loading state when they take long), keeps a cursor scene that
// follows the mouse, and draws that scene over each frame.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "platform/dialog.h"
#include "text/TextLibrary.h"
#include "vadu/animate/primitive_animation.h"
#include "vadu/atom.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/path.h"
#include "vadu/string.h"
#include "vadu/window.h"
#include "vadu/xml_object.h"

namespace vadu::lib3d::material {
class TextureHandle;
}

namespace vadu::lib3d {

// Calls the callback with the handle once the handle's picture is ready, in the frame
// step. The queue owns the handle; entries still waiting when the application goes are
// dropped. An empty callback only waits for the picture.
void notify_when_texture_ready(std::unique_ptr<material::TextureHandle> handle,
                               std::function<void(material::TextureHandle&)> callback);
// Entries still waiting.
size_t get_pending_texture_notification_count();

// A derived application builds the virtual bases itself, a device back end's creator
// among them (it must fill the hardware list before this constructor's body runs).
// Built most-derived, this class builds the engine's creators and registers the engine
// node types, but makes no device back end, so it can only start a video mode when
// something else has registered a hardware.
class Application : public vadu::Application,
                    public virtual hard::Manager::Creator,
                    public virtual TrueText::TextLibrary::Creator {
public:
    // Texts and restrictions for the video-mode dialog, from "starter.ini" (root element
    // "Starter", children "dictionary", "filter" and "hide"; each attribute is one entry,
    // a later one of the same name replaces the earlier).
    class StarterSettings : public xml::ObjectUnicode {
    public:
        using Map = std::map<String, String>;

        StarterSettings();
        StarterSettings(const StarterSettings&) = delete;
        StarterSettings& operator=(const StarterSettings&) = delete;

        // Offers the child to each member in turn; the member of that name reads it.
        bool OnNode(xml::Provider& provider, const WString& name) override;

        // Dialog texts by key.
        Map& dictionary() noexcept { return dictionary_.values; }
        // Attribute name -> the values allowed, "|"-separated.
        Map& filter() noexcept { return filter_.values; }
        // The same; the attribute's controls are hidden too unless the value is its name.
        Map& hide() noexcept { return hide_.values; }

        // The dictionary's text for the key, else the key itself.
        String lookup(const String& key) const;
        void clear();

    private:
        struct Member : xml::ObjectUnicode {
            Member(const char16_t* name, Member* next) : name(name), next(next) {}
            bool OnAttribute(xml::Provider& provider, const WString& name, const WString& value) override;

            WString name;
            Member* next;
            Map values;
        };

        // A chain, in this order.
        Member dictionary_;
        Member filter_;
        Member hide_;
    };

    // The one start-up settings object of the program.
    static StarterSettings& get_starter_settings();

    // A resource pass of the frame step: takes the step's start ticks and the budget in
    // seconds, returns how many loads still wait.
    using LoadPass = std::function<int32_t(int64_t start_ticks, double budget)>;
    // Shared textures, atlases, cube-map reflections, texture-sequence frames and their
    // reps, then model records and their device copies, in that order.
    static std::vector<LoadPass> get_default_load_passes();

    // Dialog control ids.
    static constexpr int adapter_label_id = 1101;
    static constexpr int adapter_combo_id = 1001;
    static constexpr int first_attribute_label_id = 1102;
    static constexpr int first_attribute_combo_id = 1002;
    static constexpr int attribute_control_pairs = 6;
    // The video-mode dialog's layout.
    static platform::DialogTemplate get_videomode_dialog_layout();

    // Name: the per-user folder name. Throws vadu::Gluck "Could not create desired
    // videomode" when no hardware starts a video mode.
    Application(const String& name, const String& command_line, bool most_derived);
    ~Application() override;

    // The frame step; returns the base Update's result.
    bool Update(double seconds) override;

    // Enters the loading state at once (a screen was purged and its successor loads): the
    // loading start is reported now, and the frame steps report progress until no load is
    // pending any more.
    void enter_loading_state();

    virtual void on_loading_start() {}
    virtual void on_loading_progress(double /*fraction*/) {}
    virtual void on_loading_finish() {}
    virtual void OnDeactivate() {}
    virtual void OnActivate() {}
    // False swallows the close request.
    virtual bool OnCloseRequest() { return true; }

    int32_t OnWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam) override;

    // Draws the cursor scene, never culled, through the selected hardware into the target.
    void render_scene(hard::RenderTargetBase& target);
    // Loads path + ".scene" into the root and, with an animation, path + ".anim" bound to
    // the root; returns the root's camera of that name. Null for a null root. Throws
    // vadu::GluckBadResource "load() failed" or "Camera not found".
    node::Camera* load_root(node::LoadingRoot* root, animate::PrimitiveAnimation* animation,
                            const filesystem::String& path, const Atom& camera_name);
    // Replaces the cursor scene (path without extension; empty: no cursor). The scene needs
    // a camera "Camera" and a node "Cursor"; a click-driven cursor plays the first half of
    // its animation while the left button is down and the second half on release.
    void change_cursor(const filesystem::String& path, bool click_driven);

    // Cuts the text at each separator, keeping empty pieces; an empty separator gives none.
    static std::vector<String> split_values(const String& text, const String& separator);

    // The video-mode dialog's procedure and its steps.
    static intptr_t videomode_dialog_proc(platform::Dialog& dialog, uint32_t message, uintptr_t wparam,
                                          intptr_t lparam);
    static void fill_videomode_dialog(int control);
    static void refresh_adapter_controls(const std::vector<String>& attribute_names);
    static void fill_combo_box(int combo, const std::vector<String>& values);

    // The engine's twenty node types in their registration order: the scene graph's own,
    // with the text node in its place.
    static std::span<const node::NodeTypeEntry> get_engine_node_types();
    // Registers them in that order, and unregisters them in the reverse order; a derived
    // application that builds the virtual bases calls these itself.
    static void register_engine_node_types();
    static void unregister_engine_node_types();

    hard::Hardware* get_hardware() const noexcept { return hardware_; }
    const filesystem::String& get_video_settings_path() const noexcept { return video_settings_path_; }
    node::LoadingRoot& get_cursor_root() noexcept { return *cursor_root_; }
    node::Camera* get_cursor_camera() const noexcept { return camera_; }
    node::Node* get_cursor_node() const noexcept { return cursor_node_; }
    animate::PrimitiveAnimation& get_cursor_animation() noexcept { return *cursor_animation_; }
    const filesystem::String& get_cursor_path() const noexcept { return cursor_path_; }
    bool is_loading_shown() const noexcept { return loading_shown_ != 0; }
    int32_t get_pending_maximum() const noexcept { return pending_maximum_; }
    double get_cursor_duration() const noexcept { return cursor_duration_; }

protected:
    // Waits until the background loader has read everything queued; false when there
    // is no loader or it is still busy after half a minute.
    bool wait_for_loader();

    // The frame step's resource passes, in order.
    std::vector<LoadPass> load_passes_;

private:
    // The "settings" start: restrictions from "starter.ini", then the dialog.
    void run_settings_dialog();
    void track_cursor();
    void advance_cursor_animation(double seconds);

    std::unique_ptr<node::LoadingRoot> cursor_root_;
    node::Camera* camera_ = nullptr;
    node::Node* cursor_node_ = nullptr;
    std::unique_ptr<animate::PrimitiveAnimation> cursor_animation_;
    int32_t pending_maximum_ = 0;
    uint8_t loading_shown_ = 0;
    // The clock runs in frame time (headless runs): each frame step waits for the
    // background loader and loads what it brought, so frames do not depend on timing.
    bool fixed_step_ = false;
    int32_t loading_delay_ = 1000;
    double click_end_time_ = 0.0;
    double cursor_duration_ = 0.0;
    double click_time_ = 0.0;
    uint8_t click_driven_ = 0;
    hard::Hardware* hardware_ = nullptr;
    filesystem::String cursor_path_;
    filesystem::String video_settings_path_;
    bool registered_node_types_ = false;
};

} // namespace vadu::lib3d
