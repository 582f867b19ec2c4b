#pragma once

// A scripted walk through the game, headless: the script's steps push the player's input
// through the headless window and wait on the game's own progress, counted in game frames
// (frames whose root update ran; frames held back by pending loads do not count), so a
// walk replays the same on any machine and in any build.
//
// The script has one step per line; `#` starts a comment. Steps:
//   screen <BackendClass>   wait until that screen backend is current and initialised
//   frames <n>              let n game frames pass
//   move <x> <y>            the pointer to client coordinates
//   click <x> <y>           left press and release there
//   key <name>              press and release (Enter, BackSpace, Escape, Space, Tab, Delete,
//                           Left, Right, Up, Down)
//   text <characters>       one character event each
//   answer yes|no           the answer of the next message box
//   close                   the window's close box
//   snapshot <name>         the first frame presented once the next game frame has begun
//                           (the steps before it have reached the game), compared with
//                           <golden>/<name>.png
//   stop                    the walk ends; the run ends through the quit question, answered yes
// The end of the script ends the run as `stop` does, unless the game is quitting already.
//
// Environment: QUILLO_WALK=<script> runs the walk (and makes the run headless);
// QUILLO_WALK_GOLDEN=<folder> compares each snapshot with <folder>/<name>.png exactly;
// QUILLO_UPDATE_GOLDEN=1 writes the snapshots there instead. A walk that fails (a bad step,
// a screen that never comes, a differing snapshot, a run that ends first) says why on
// stderr and the program ends with status 4.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QuilloTovraApplication;

class Walk {
public:
    struct Step {
        enum class Kind { screen, frames, move, click, key, text, answer, close, snapshot, stop };
        Kind kind = Kind::stop;
        int line = 0;
        // The line as written, without its comment.
        std::string source;
        // The screen's class, the key's name, the characters or the snapshot's name.
        std::string text;
        int32_t x = 0;
        int32_t y = 0;
        // Frames to let pass; for `key`, the virtual key; for `answer`, 1 for yes.
        int count = 0;
    };

    // The longest wait for a screen or a frame, in frames of the main loop.
    static constexpr int WaitLimit = 1800;

    // Reads a script; false with the line and the reason in `error`.
    static bool Parse(const std::string& script, std::vector<Step>& steps, std::string& error);

    // With QUILLO_WALK set: reads the script and makes the run headless with no automatic
    // close. False when the script cannot be read (the reason is on stderr); true when
    // there is no walk or it is ready.
    static bool StartFromEnvironment();
    // The walk of this run, else null.
    static Walk* Active() noexcept;
    // Forgets the walk of this run (tests).
    static void Reset();

    Walk(std::vector<Step> steps, std::string golden_folder, bool update_golden);

    // Once a frame of the main loop, after the update; steps advance only in game frames.
    void OnFrame(QuilloTovraApplication& application, bool game_frame);
    // After each render: a snapshot takes a frame presented after the render that follows
    // the frame it started in, so the input pushed before it is in it (the question box's
    // frame among them).
    void OnRendered();
    // The main loop has ended: a walk not over by then fails. True when the walk passed.
    bool Finish();

    bool Failed() const noexcept { return failed_; }
    bool Done() const noexcept { return next_ >= steps_.size(); }
    int GameFrames() const noexcept { return game_frames_; }

private:
    // Runs steps until one must wait; false when that step waits.
    bool RunStep(QuilloTovraApplication& application, const Step& step);
    bool CheckSnapshot(const Step& step);
    void Fail(QuilloTovraApplication* application, const std::string& reason);
    void Report(const Step& step) const;

    std::vector<Step> steps_;
    std::string golden_folder_;
    bool update_golden_ = false;
    size_t next_ = 0;
    bool failed_ = false;
    bool ended_ = false;
    int game_frames_ = 0;
    // Frames of the main loop the current step has waited.
    int waited_ = 0;
    // Game frames the current `frames` step has let pass.
    int passed_ = 0;
    bool step_started_ = false;
    // A snapshot compares the first frame numbered above this; armed until the render
    // that follows the frame the step started in.
    uint64_t snapshot_after_ = 0;
    bool snapshot_armed_ = false;
};
