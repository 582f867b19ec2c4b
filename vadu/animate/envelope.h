#pragma once

// Envelopes: a value over time through a list of keys, read from XML and read-only after.
// Numbers and vectors are interpolated (polynomial or Kochanek-Bartels keys); wide strings
// and paths are stepped. Evaluation works in single precision.

#include <cstdint>
#include <type_traits>
#include <vector>

#include "vadu/math.h"
#include "vadu/path.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace vadu::animate {

// What an envelope does before its first key (pre) and after its last key (post).
enum class Behavior : int32_t {
    CONSTANT = 0,   // hold the end key's value
    LINEAR = 1,     // extrapolate along the end key's slope
    REPEAT = 2,     // wrap the time into the key range
    OSCILLATE = 3,  // wrap, running every other pass backwards
    OFFSET = 4,     // wrap, shifting by (last value - first value) per pass
};

// The value kinds whose envelopes interpolate; the others step from key to key.
template <class T>
inline constexpr bool is_interpolated = std::is_same_v<T, float> || std::is_same_v<T, math::Vector3>;

// A key of a polynomial envelope. For strings and paths only `value` is used; the other
// three are read and kept.
template <class T>
struct Key {
    float time = 0.0f;
    T value{};
    T linear{};
    T quadratic{};
    T cubic{};
};

// A key of a Kochanek-Bartels envelope (numbers and vectors only).
template <class T>
struct KeyTCB {
    float time = 0.0f;
    T value{};
    double tension = 0.0;
    double continuity = 0.0;
    double bias = 0.0;
};

struct WrappedTime {
    float time;
    int32_t wraps;  // negative before the range
};

// Wraps t into [first, last): the time moved by whole ranges and how many. An empty range
// (first == last) gives first with no wrap.
WrappedTime wrap_time(float t, float first, float last);

// Polynomial envelope (element "Envelope"; for strings and paths "EnvelopeTCB" too).
// Keys must be listed in rising time; they are never sorted.
template <class T>
class Envelope : public xml::ObjectANSI {
public:
    T evaluate(float time) const;
    // The time of the last key in list order; 0 without keys.
    float last_key_time() const { return keys.empty() ? 0.0f : keys.back().time; }

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    bool OnNode(xml::Provider& provider, const String& name) override;

    Behavior pre_behavior = Behavior::CONSTANT;
    Behavior post_behavior = Behavior::CONSTANT;
    std::vector<Key<T>> keys;
};

// Kochanek-Bartels envelope (element "EnvelopeTCB") of numbers or vectors.
template <class T>
class EnvelopeTCB : public xml::ObjectANSI {
    static_assert(is_interpolated<T>, "TCB envelopes interpolate numbers and vectors only");

public:
    T evaluate(float time) const;
    // The slope of the segment's Hermite curve at a time, per unit of the segment's own
    // parameter (not divided by the segment's duration). Before and after the keys: 0 when
    // the value holds (CONSTANT), the end tangent per unit of time (LINEAR), else the
    // slope at the wrapped time. Fewer than two keys give 0.
    T derivative(float time) const;
    float last_key_time() const { return keys.empty() ? 0.0f : keys.back().time; }

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    bool OnNode(xml::Provider& provider, const String& name) override;

    Behavior pre_behavior = Behavior::CONSTANT;
    Behavior post_behavior = Behavior::CONSTANT;
    // The ends take each other's neighbours: key 0 follows key N-2, key N-1 leads to key 1.
    bool loop_keys = false;
    std::vector<KeyTCB<T>> keys;

private:
    T outgoing(size_t k) const;
    T incoming(size_t k) const;
};

// What a track reads from an "EnvelopeTCB" element: a TCB envelope for interpolated kinds,
// a polynomial one for strings and paths.
template <class T>
using TcbEnvelopeOf = std::conditional_t<is_interpolated<T>, EnvelopeTCB<T>, Envelope<T>>;

extern template class Envelope<float>;
extern template class Envelope<math::Vector3>;
extern template class Envelope<WString>;
extern template class Envelope<filesystem::String>;
extern template class EnvelopeTCB<float>;
extern template class EnvelopeTCB<math::Vector3>;

} // namespace vadu::animate

namespace vadu::converter {

// One of the words "CONSTANT", "LINEAR", "REPEAT", "OSCILLATE", "OFFSET", matched exactly.
bool convert(const String& text, animate::Behavior* value);

} // namespace vadu::converter
