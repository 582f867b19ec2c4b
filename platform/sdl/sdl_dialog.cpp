// The dialogs of the SDL back end: a small window of its own, drawn with Dear ImGui,
// showing the template's controls and handing the user's clicks and choices to the
// same Dialog the headless scripts drive.

#include "platform/dialog.h"
#include "platform/sdl/sdl_dialog.h"
#include "platform/sdl/translate.h"
#include "platform/termination.h"
#include "platform/window_backend.h"

#include <SDL.h>
#include <imgui.h>
#include <imgui_impl_sdl.h>
#include <imgui_impl_sdlrenderer.h>

#include <cstdio>
#include <string>
#include <vector>

namespace platform::detail {
namespace {

constexpr int window_width = 480;
constexpr int label_column = 190;

// What the user did in a frame; applied once the frame is drawn, so that the procedure
// changes the controls between frames.
struct Action {
    enum { none, click, choose } kind = none;
    int id = 0;
    int index = 0;
};

// Owns the window, the renderer and the ImGui context for the dialog's lifetime.
class Session {
public:
    ~Session()
    {
        if (backends_ready_) {
            ImGui_ImplSDLRenderer_Shutdown();
            ImGui_ImplSDL2_Shutdown();
        }
        if (context_)
            ImGui::DestroyContext(context_);
        if (renderer_)
            SDL_DestroyRenderer(renderer_);
        if (window_)
            SDL_DestroyWindow(window_);
        if (video_)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool open(const std::string& caption, int height, SDL_Window* owner)
    {
        video_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (!video_)
            return false;
        window_ = SDL_CreateWindow(sdl::ansi_to_utf8(caption).c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   window_width, height, SDL_WINDOW_HIDDEN);
        if (!window_)
            return false;
        // Marked as the owner's before it is shown, so that the desktop puts it in front
        // of the owner (a full-screen one too) and gives it the focus.
        if (owner)
            SDL_SetWindowModalFor(window_, owner);
        SDL_ShowWindow(window_);
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
        if (!renderer_)
            renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer_)
            return false;
        IMGUI_CHECKVERSION();
        context_ = ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        // Nothing of the dialog is kept between runs.
        io.IniFilename = nullptr;
        io.LogFilename = nullptr;
        ImGui::StyleColorsLight();
        backends_ready_ = ImGui_ImplSDL2_InitForSDLRenderer(window_) && ImGui_ImplSDLRenderer_Init(renderer_);
        return backends_ready_;
    }

    SDL_Window* window() const { return window_; }
    SDL_Renderer* renderer() const { return renderer_; }

private:
    bool video_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    ImGuiContext* context_ = nullptr;
    bool backends_ready_ = false;
};

// Closing the window is cancelling, as with the Cancel button when there is one.
void cancel(Dialog& dialog)
{
    if (!dialog.click(static_cast<int>(dialog_cancel)) && !dialog.has_ended())
        dialog.end(dialog_cancel);
}

// One frame of the dialog's controls. Labels and combo boxes go down the window in
// template order, a combo box beside the label before it; buttons share the last row.
Action draw_controls(const DialogTemplate& layout, Dialog& dialog)
{
    Action action;
    bool row_has_label = false;
    for (const ControlTemplate& control : layout.controls) {
        if (control.kind == ControlKind::button || !dialog.is_visible(control.id))
            continue;
        ImGui::PushID(control.id);
        ImGui::BeginDisabled(!dialog.is_enabled(control.id));
        if (control.kind == ControlKind::label) {
            ImGui::AlignTextToFramePadding();
            ImGui::TextUnformatted(sdl::ansi_to_utf8(dialog.get_text(control.id)).c_str());
            row_has_label = true;
        } else {
            if (row_has_label)
                ImGui::SameLine(label_column);
            row_has_label = false;
            const int selection = dialog.combo_get_selection(control.id);
            const std::string shown =
                selection >= 0 ? sdl::ansi_to_utf8(dialog.combo_get_item(control.id, selection)) : std::string();
            ImGui::SetNextItemWidth(-1.0f);
            if (ImGui::BeginCombo("##combo", shown.c_str())) {
                const int count = dialog.combo_get_count(control.id);
                for (int i = 0; i < count; ++i) {
                    const std::string item = sdl::ansi_to_utf8(dialog.combo_get_item(control.id, i));
                    if (ImGui::Selectable(item.c_str(), i == selection))
                        action = {Action::choose, control.id, i};
                    if (i == selection)
                        ImGui::SetItemDefaultFocus();
                }
                ImGui::EndCombo();
            }
        }
        ImGui::EndDisabled();
        ImGui::PopID();
    }

    ImGui::Separator();
    bool first = true;
    for (const ControlTemplate& control : layout.controls) {
        if (control.kind != ControlKind::button || !dialog.is_visible(control.id))
            continue;
        if (!first)
            ImGui::SameLine();
        first = false;
        ImGui::PushID(control.id);
        ImGui::BeginDisabled(!dialog.is_enabled(control.id));
        if (ImGui::Button(sdl::ansi_to_utf8(dialog.get_text(control.id)).c_str(), ImVec2(100, 0)))
            action = {Action::click, control.id, 0};
        ImGui::EndDisabled();
        ImGui::PopID();
    }
    return action;
}

} // namespace

intptr_t run_sdl_dialog(const DialogTemplate& layout, WindowHandle owner, DialogProcedure procedure, intptr_t param)
{
    SDL_Window* owner_window = nullptr;
    if (const WindowRecord* record = owner ? find_window(owner) : nullptr)
        if (record->native && !(SDL_GetWindowFlags(static_cast<SDL_Window*>(record->native)) & SDL_WINDOW_MINIMIZED))
            owner_window = static_cast<SDL_Window*>(record->native);
    Session session;
    if (!session.open(layout.caption, 120, owner_window)) {
        std::fprintf(stderr, "No dialog can be shown (%s): \"%s\" counts as cancelled\n", SDL_GetError(),
                     layout.caption.c_str());
        return dialog_failed;
    }

    Dialog dialog(layout, procedure);
    dialog.send(wm::INITDIALOG, 0, param);
    const Uint32 window_id = SDL_GetWindowID(session.window());
    while (!dialog.has_ended()) {
        SDL_SetWindowTitle(session.window(), sdl::ansi_to_utf8(dialog.get_caption()).c_str());
        SDL_Event event;
        // Wait for input rather than spin; the timeout keeps hover effects moving.
        if (SDL_WaitEventTimeout(&event, 100)) {
            do {
                ImGui_ImplSDL2_ProcessEvent(&event);
                if (event.type == SDL_QUIT ||
                    (event.type == SDL_WINDOWEVENT && event.window.windowID == window_id &&
                     event.window.event == SDL_WINDOWEVENT_CLOSE) ||
                    (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE))
                    cancel(dialog);
            } while (SDL_PollEvent(&event));
        }
        // The program is ending on a termination signal.
        if (!dialog.has_ended() && end_requested())
            cancel(dialog);
        if (dialog.has_ended())
            break;

        ImGui_ImplSDLRenderer_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
        const ImGuiIO& io = ImGui::GetIO();
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(io.DisplaySize);
        ImGui::Begin("##dialog", nullptr,
                     ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings);
        const Action action = draw_controls(layout, dialog);
        // The window follows the rows that are shown.
        const int wanted = static_cast<int>(ImGui::GetCursorPosY() + ImGui::GetStyle().WindowPadding.y);
        ImGui::End();
        int width = 0;
        int height = 0;
        SDL_GetWindowSize(session.window(), &width, &height);
        if (wanted > 0 && wanted != height)
            SDL_SetWindowSize(session.window(), width, wanted);
        ImGui::Render();
        SDL_SetRenderDrawColor(session.renderer(), 240, 240, 240, 255);
        SDL_RenderClear(session.renderer());
        ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
        SDL_RenderPresent(session.renderer());

        if (action.kind == Action::click)
            dialog.click(action.id);
        else if (action.kind == Action::choose)
            dialog.choose(action.id, action.index);
    }
    return dialog.get_result();
}

} // namespace platform::detail
