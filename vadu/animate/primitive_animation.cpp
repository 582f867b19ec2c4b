#include "vadu/animate/primitive_animation.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "vadu/converter.h"

namespace vadu::animate {

namespace {

// "double", "MathVector3f", "WString", "FilesystemString": one track per child.
template <class T>
class TrackListLoader : public xml::ObjectANSI {
public:
    explicit TrackListLoader(std::vector<Track<T>>& tracks) : tracks_(tracks) {}

    bool OnNode(xml::Provider& provider, const String& name) override
    {
        if (!(name == "PrimitiveAnimation"))
            return false;
        tracks_.emplace_back();
        return provider.ParseObject(tracks_.back());
    }

private:
    std::vector<Track<T>>& tracks_;
};

template <class T>
bool bind_tracks(std::vector<Track<T>>& tracks, Animatable* root, bool recursive)
{
    bool all_found = true;
    for (Track<T>& track : tracks)
        all_found = track.target.bind(root, track.target_path, recursive) && all_found;
    return all_found;
}

template <class T>
void drive(const std::vector<Track<T>>& tracks, float time)
{
    for (const Track<T>& track : tracks) {
        Animatable* target = track.target.get();
        if (!target)
            continue;
        if constexpr (std::is_same_v<T, float>)
            target->change_attribute(track.param, static_cast<double>(track.evaluate(time)));
        else
            target->change_attribute(track.param, track.evaluate(time));
    }
}

template <class T>
double longest(const std::vector<Track<T>>& tracks, double length)
{
    for (const Track<T>& track : tracks)
        length = std::max(length, static_cast<double>(track.last_key_time()));
    return length;
}

} // namespace

// --- Track ---

template <class T>
bool Track<T>::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Target")
        return converter::convert(value, &target_path);
    if (name == "Param")
        return converter::convert(value, &param);
    return false;
}

template <class T>
bool Track<T>::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Envelope") {
        use_tcb = false;
        return provider.ParseObject(envelope);
    }
    if (name == "EnvelopeTCB") {
        use_tcb = true;
        return provider.ParseObject(envelope_tcb);
    }
    return false;
}

template class Track<float>;
template class Track<math::Vector3>;
template class Track<WString>;
template class Track<filesystem::String>;

// --- PrimitiveAnimation ---

PrimitiveAnimation::PrimitiveAnimation(const PrimitiveAnimation& other)
    : xml::Object(other),
      xml::ObjectANSI(other),
      numbers_(other.numbers_),
      vectors_(other.vectors_),
      strings_(other.strings_),
      paths_(other.paths_),
      commands_(other.commands_),
      speed_(other.speed_),
      length_(other.length_),
      time_(other.time_)
{
}

PrimitiveAnimation::~PrimitiveAnimation() = default;

bool PrimitiveAnimation::bind(Animatable* root, bool recursive)
{
    if (bound_) {
        set_time(0.0);
        return true;
    }
    bound_ = true;
    bool all_found = bind_tracks(numbers_, root, recursive);
    all_found = bind_tracks(vectors_, root, recursive) && all_found;
    all_found = bind_tracks(strings_, root, recursive) && all_found;
    all_found = bind_tracks(paths_, root, recursive) && all_found;
    all_found = commands_.bind(root, recursive) && all_found;
    set_time(0.0);
    return all_found;
}

void PrimitiveAnimation::set_time(double t)
{
    time_ = t;
    const float time = static_cast<float>(t);
    drive(numbers_, time);
    drive(vectors_, time);
    drive(strings_, time);
    drive(paths_, time);
    commands_.set_time(t);
}

double PrimitiveAnimation::advance(double dt)
{
    const double moved = time_ + speed_ * dt;
    // A NaN step (from a broken clock or speed) would stick to the time for good.
    if (std::isnan(moved))
        return 0.0;
    time_ = moved;
    double cut = 0.0;
    if (time_ > length_) {
        cut = time_ - length_;
        time_ = length_;
    }
    if (time_ < 0.0) {
        cut = time_;
        time_ = 0.0;
    }
    set_time(time_);
    return cut;
}

uint32_t PrimitiveAnimation::advance_looped(double dt)
{
    if (std::fabs(length_) < DBL_EPSILON)
        return 1;
    double t = time_ + speed_ * dt;
    // Nothing to wrap an infinite or NaN step into: the animation stays where it is.
    if (!std::isfinite(t))
        return 0;
    // Counted in double: a tiny length can wrap more often than 32 bits hold.
    const double wraps = std::floor(t / length_);
    t -= wraps * length_;
    time_ = t;
    set_time(t);
    const double count = std::fabs(wraps);
    return count >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(count);
}

void PrimitiveAnimation::set_phase(double fraction) { set_time(length_ * fraction); }

bool PrimitiveAnimation::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Speed")
        return converter::convert(value, &speed_);
    return false;
}

bool PrimitiveAnimation::OnNode(xml::Provider& provider, const String& name)
{
    if (name == "Animation")
        return provider.ParseObject(*this);
    if (name == "double") {
        TrackListLoader<float> loader(numbers_);
        return provider.ParseObject(loader);
    }
    if (name == "MathVector3f") {
        TrackListLoader<math::Vector3> loader(vectors_);
        return provider.ParseObject(loader);
    }
    if (name == "WString") {
        TrackListLoader<WString> loader(strings_);
        return provider.ParseObject(loader);
    }
    if (name == "FilesystemString") {
        TrackListLoader<filesystem::String> loader(paths_);
        return provider.ParseObject(loader);
    }
    if (name == "Commands")
        return provider.ParseObject(commands_);
    return false;
}

bool PrimitiveAnimation::OnEndNode(xml::Provider&)
{
    double length = std::max(0.0, commands_.get_length());
    length = longest(numbers_, length);
    length = longest(vectors_, length);
    length = longest(strings_, length);
    length = longest(paths_, length);
    length_ = length;
    return true;
}

} // namespace vadu::animate
