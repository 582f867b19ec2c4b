#pragma once

// Texture sequences: named frame animations over pictures, advanced once per frame.
// "Sequence" frames are one picture file each (names numbered with a fixed number of
// digits); "SpanSequence" frames lie side by side in one picture and are shared through
// a frame cache, so that all frames of a strip read and decode the file once.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "vadu/animate/animatable.h"
#include "vadu/animate/soul.h"
#include "vadu/atom.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/path.h"
#include "vadu/pictureformat/format.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace vadu::lib3d::material {

// Which frame of which strip: compared by path, then frame index, then frames in file.
struct SequenceFrameKey {
    filesystem::String path;
    int32_t frame_index = 0;
    int32_t frames_in_file = 1;
    bool wrap = true;

    bool operator<(const SequenceFrameKey& other) const;
};

// One frame of a strip as device textures, shared by every sequence that shows it.
class TextureSequenceFrameRep : public HardwareDependentObject<hard::Manager, hard::Texture> {
public:
    // Joins the strip's shared picture (its reading starts with the first user).
    explicit TextureSequenceFrameRep(const SequenceFrameKey& key);
    ~TextureSequenceFrameRep() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    // Returns while the strip is being read; then fills the frame's slice into the
    // texture of every operational hardware that lacks valid contents. Throws
    // GluckBadResource "pl is not valid" without a readable picture, and Gluck when the
    // frame lies outside the picture.
    void load();
    void apply(hard::Hardware& hardware, hard::TextureStage& stage);

    bool is_loaded() const noexcept { return loaded_; }
    bool has_failed() const noexcept { return failed_; }
    void set_failed() noexcept;
    bool has_alpha() const noexcept { return has_alpha_; }
    int32_t get_width() const noexcept { return width_; }
    int32_t get_height() const noexcept { return height_; }
    const SequenceFrameKey& get_key() const noexcept { return key_; }
    const filesystem::String& get_path() const noexcept { return key_.path; }

    int32_t get_reference_count() const noexcept { return references_; }
    int32_t add_reference() noexcept { return ++references_; }
    int32_t drop_reference() noexcept { return --references_; }

private:
    void release_picture() noexcept;

    SequenceFrameKey key_;
    bool loaded_ = false;
    bool failed_ = false;
    bool holds_picture_ = false;
    bool has_alpha_ = false;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t references_ = 0;
    bool registered_ = false;
};

using TextureSequenceFrameCache = std::map<SequenceFrameKey, std::unique_ptr<TextureSequenceFrameRep>>;

TextureSequenceFrameRep* find_or_create_frame_rep(const SequenceFrameKey& key);
void release_frame_rep(TextureSequenceFrameRep* rep);
// Null while no frame rep exists.
const TextureSequenceFrameCache* get_texture_sequence_frame_cache();
// The number of strip pictures currently shared (being read or in use).
int32_t get_sequence_picture_count();

// The frames of one span sequence, in play order, as a texture object.
class TextureSequenceFrames : public Texture {
public:
    // Frames first..last of a strip of frames_in_file frames; first == last means all
    // of them. Loaded by the sequence-frames pass.
    TextureSequenceFrames(const Atom& slot, const filesystem::String& path, int32_t first, int32_t last,
                          int32_t frames_in_file, bool wrap);
    TextureSequenceFrames(const TextureSequenceFrames& other);
    ~TextureSequenceFrames() override;

    // Returns while the strip is being read; then takes the frame reps from the frame
    // cache. Throws GluckBadResource "pl is not valid" without a readable picture.
    void load();

    std::unique_ptr<Texture> clone() const override;
    // The frame's texture; an index beyond the frames applies nothing.
    void apply(hard::Hardware& hardware, hard::TextureStage& stage, int32_t frame);

    int32_t get_frame_count() const noexcept { return static_cast<int32_t>(frames_.size()); }
    const std::vector<TextureSequenceFrameRep*>& get_frames() const noexcept { return frames_; }
    bool is_loaded() const noexcept { return loaded_; }
    bool has_failed() const noexcept { return failed_; }
    void set_failed() noexcept;
    const filesystem::String& get_path() const noexcept { return path_; }

private:
    void release_picture() noexcept;

    filesystem::String path_;
    int32_t first_;
    int32_t last_;
    int32_t frames_in_file_;
    std::vector<TextureSequenceFrameRep*> frames_;
    bool loaded_ = false;
    bool failed_ = false;
    bool holds_picture_ = false;
};

// Passes of the frame step (see load_texture_simple_reps): span-sequence frame lists,
// then the frame reps they made.
int32_t load_texture_sequence_frames(int64_t start_ticks, double budget);
int32_t load_texture_sequence_frame_reps(int64_t start_ticks, double budget);

// One named animation: frames first..last, their start times, and how it loops.
class SequenceDefinition : public xml::ObjectANSI {
public:
    enum LoopType : int32_t { NONE = 0, FORWARD = 1, BACKWARD = 2, PINGPONG = 3 };

    // A "Frame" child: how long one frame lasts.
    struct FrameTime {
        int32_t index = 0;
        double time = 0.0;
    };

    SequenceDefinition() = default;
    SequenceDefinition(const SequenceDefinition& other) = default;
    SequenceDefinition& operator=(const SequenceDefinition&) = delete;
    ~SequenceDefinition() override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // "Frame" children with "Index" and "Time".
    bool OnNode(xml::Provider& provider, const String& name) override;
    // Builds the timeline and loads the frames.
    bool OnEndNode(xml::Provider& provider) override;

    // The frame's picture into the stage; an index beyond the frames applies nothing.
    virtual void apply(hard::Hardware& hardware, hard::TextureStage& stage, int32_t frame) = 0;
    virtual int32_t get_frame_count() const = 0;
    virtual std::unique_ptr<SequenceDefinition> clone() const = 0;
    virtual int32_t get_image_index_length() const { return 0; }
    // Sets the digits of the frame numbers and loads the frames again.
    virtual void set_image_index_length(int32_t) {}
    virtual void load_frames(const String& image) = 0;
    // The frame numbers the timeline runs over: first..last.
    virtual void get_timeline_range(int32_t& first, int32_t& last) const;

    // Start times of the timeline's frames (counting down when last < first) and the
    // total length.
    void build_timeline();
    // The frame shown at time t.
    int32_t find_frame(double t) const;

    LoopType loop_type = NONE;
    Atom name;
    String image;
    int32_t first_frame = 0;
    int32_t last_frame = 0;
    double frame_time = 0.3;
    double height = 0.0;
    double width = 0.0;
    double loop_delay = 0.0;
    std::vector<double> starts;
    double length = 0.0;
    std::vector<FrameTime> frame_times;
};

// "Sequence": one picture per frame, named image + frame number.
class FileSequenceDefinition : public SequenceDefinition {
public:
    FileSequenceDefinition() = default;
    // Loads its own frame textures.
    FileSequenceDefinition(const FileSequenceDefinition& other);
    ~FileSequenceDefinition() override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    void apply(hard::Hardware& hardware, hard::TextureStage& stage, int32_t frame) override;
    int32_t get_frame_count() const override { return static_cast<int32_t>(textures_.size()); }
    std::unique_ptr<SequenceDefinition> clone() const override;
    int32_t get_image_index_length() const override { return image_index_length_; }
    void set_image_index_length(int32_t length) override;
    // One picture texture per frame number from first to last.
    void load_frames(const String& image) override;

    // The picture path of a frame: image + the number with at least that many digits.
    static filesystem::String frame_path(const String& image, int32_t index_length, int32_t frame);

    const std::vector<std::unique_ptr<TextureSimple>>& get_textures() const noexcept { return textures_; }

private:
    int32_t image_index_length_ = 0;
    std::vector<std::unique_ptr<TextureSimple>> textures_;
};

// "SpanSequence": the frames lie side by side in one picture.
class SpanSequenceDefinition : public SequenceDefinition {
public:
    SpanSequenceDefinition() = default;
    SpanSequenceDefinition(const SpanSequenceDefinition& other);
    ~SpanSequenceDefinition() override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    void apply(hard::Hardware& hardware, hard::TextureStage& stage, int32_t frame) override;
    int32_t get_frame_count() const override;
    std::unique_ptr<SequenceDefinition> clone() const override;
    void load_frames(const String& image) override;
    // Every frame of the strip when first == last, as the frames it shows.
    void get_timeline_range(int32_t& first, int32_t& last) const override;

    int32_t get_frames_in_file() const noexcept { return frames_in_file_; }
    TextureSequenceFrames* get_frames() const noexcept { return frames_.get(); }

private:
    int32_t frames_in_file_ = 0;
    std::unique_ptr<TextureSequenceFrames> frames_;
};

// A set of sequences of which one plays. Read from its owner's element ("Sequence" and
// "SpanSequence" children, "Start" and "Manual" attributes).
class TextureSequence : public animate::Soul, public animate::Animatable, public xml::ObjectANSI {
public:
    explicit TextureSequence(const Atom& owner_name = Atom());
    // Copies every sequence and the play state.
    TextureSequence(const TextureSequence& other);
    TextureSequence& operator=(const TextureSequence&) = delete;
    ~TextureSequence() override;

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    bool OnNode(xml::Provider& provider, const String& name) override;
    // Plays the "Start" sequence.
    bool OnEndNode(xml::Provider& provider) override;

    // Makes the first sequence of that name current from its start; false (nothing
    // changes) when there is none.
    bool play(const Atom& name);
    // The next sequence (after the last, the first) from its start, when there are two
    // or more.
    void next();
    // Appends a sequence, as a "Sequence" or "SpanSequence" child does.
    void add_definition(std::unique_ptr<SequenceDefinition> definition);
    // The current frame's picture into the stage.
    void apply_current_frame(hard::Hardware& hardware, hard::TextureStage& stage);

    using Animatable::change_attribute;
    // "Percent" (of the current sequence's length) and "Frame" (its start time) set the
    // time.
    bool change_attribute(const Atom& name, double value) override;
    bool play_sequence(const Atom& name) override { return play(name); }

    void update(double dt) override;

    const Atom& get_owner_name() const noexcept { return owner_name_; }
    const std::vector<std::unique_ptr<SequenceDefinition>>& get_definitions() const noexcept { return definitions_; }
    SequenceDefinition* get_current() const noexcept;
    double get_time() const noexcept { return time_; }
    int32_t get_direction() const noexcept { return direction_; }
    bool is_finished() const noexcept { return finished_; }
    bool is_manual() const noexcept { return manual_; }
    const String& get_start() const noexcept { return start_; }

private:
    Atom owner_name_;
    std::vector<std::unique_ptr<SequenceDefinition>> definitions_;
    int32_t current_ = -1;
    double time_ = 0.0;
    int32_t direction_ = 1;
    String start_;
    bool finished_ = false;
    bool manual_ = false;
};

} // namespace vadu::lib3d::material
