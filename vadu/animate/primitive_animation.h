#pragma once

// Keyed animations (".anim" files, root element "Animation"): tracks that drive one
// attribute of one object each through an envelope, plus command tracks.
//
//   vadu::animate::PrimitiveAnimation animation;
//   vadu::xml::Root root(animation, "Animation");
//   if (!resource.load(root)) ...
//   animation.bind(node, false);
//   animation.advance_looped(dt);

#include <cstdint>
#include <vector>

#include "vadu/animate/animatable.h"
#include "vadu/animate/command_list.h"
#include "vadu/animate/envelope.h"
#include "vadu/animate/node_path.h"
#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/path.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace vadu::animate {

// One driven attribute (element "PrimitiveAnimation": "Target" path, "Param" name, and
// an "Envelope" or "EnvelopeTCB" child; the child read last decides which one drives).
template <class T>
class Track : public xml::ObjectANSI {
public:
    // The value at the time, from the envelope that `use_tcb` selects.
    T evaluate(float time) const { return use_tcb ? envelope_tcb.evaluate(time) : envelope.evaluate(time); }
    float last_key_time() const { return use_tcb ? envelope_tcb.last_key_time() : envelope.last_key_time(); }

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    bool OnNode(xml::Provider& provider, const String& name) override;

    NodePath target_path;
    Atom param;
    TargetRef target;
    Envelope<T> envelope;
    TcbEnvelopeOf<T> envelope_tcb;
    bool use_tcb = false;
};

extern template class Track<float>;
extern template class Track<math::Vector3>;
extern template class Track<WString>;
extern template class Track<filesystem::String>;

class PrimitiveAnimation : public xml::ObjectANSI {
public:
    PrimitiveAnimation() = default;
    // The copy keeps the source's targets but is not bound: its first bind looks them up.
    PrimitiveAnimation(const PrimitiveAnimation& other);
    // Copies everything, the bound flag included.
    PrimitiveAnimation& operator=(const PrimitiveAnimation& other) = default;
    ~PrimitiveAnimation() override;

    // Looks every track's and command's target up from the root (once: later calls only
    // rewind), then rewinds to 0. True only when every target was found.
    bool bind(Animatable* root, bool recursive);
    // Drives every live target to its value at t and fires the commands up to t.
    void set_time(double t);
    // Moves by speed * dt within [0, length]; returns the part of the move that was cut
    // off (negative below 0).
    double advance(double dt);
    // Moves by speed * dt, wrapping within the length; returns the number of wraps. An
    // animation without length does not move and reports one wrap.
    uint32_t advance_looped(double dt);
    // set_time(length * fraction).
    void set_phase(double fraction);
    void set_speed(float speed) { speed_ = speed; }

    double get_speed() const { return speed_; }
    double get_length() const { return length_; }
    double get_time() const { return time_; }
    bool is_bound() const { return bound_; }

    const std::vector<Track<float>>& get_number_tracks() const { return numbers_; }
    const std::vector<Track<math::Vector3>>& get_vector_tracks() const { return vectors_; }
    const std::vector<Track<WString>>& get_string_tracks() const { return strings_; }
    const std::vector<Track<filesystem::String>>& get_path_tracks() const { return paths_; }
    const CommandList& get_commands() const { return commands_; }

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    bool OnNode(xml::Provider& provider, const String& name) override;
    // Computes the length once everything is read.
    bool OnEndNode(xml::Provider& provider) override;

private:
    std::vector<Track<float>> numbers_;
    std::vector<Track<math::Vector3>> vectors_;
    std::vector<Track<WString>> strings_;
    std::vector<Track<filesystem::String>> paths_;
    CommandList commands_;
    double speed_ = 1.0;
    double length_ = 0.0;
    double time_ = 0.0;
    bool bound_ = false;
};

} // namespace vadu::animate
