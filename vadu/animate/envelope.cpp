#include "vadu/animate/envelope.h"

#include <cmath>
#include <cstdint>

#include "vadu/converter.h"

namespace vadu::animate {

namespace {

// Componentwise arithmetic for the interpolated kinds, all in single precision.
float sum(float a, float b) { return a + b; }
float difference(float a, float b) { return a - b; }
float scaled(float a, float factor) { return a * factor; }
float divided(float a, float divisor) { return a / divisor; }

math::Vector3 sum(const math::Vector3& a, const math::Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
math::Vector3 difference(const math::Vector3& a, const math::Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
math::Vector3 scaled(const math::Vector3& a, float factor) { return {a.x * factor, a.y * factor, a.z * factor}; }
math::Vector3 divided(const math::Vector3& a, float divisor) { return {a.x / divisor, a.y / divisor, a.z / divisor}; }

// The time at which a wrapping behaviour evaluates. Only OFFSET keeps its wrap count.
float wrap_for(Behavior behavior, float time, float first, float last, int32_t* offset_wraps)
{
    const WrappedTime wrapped = wrap_time(time, first, last);
    switch (behavior) {
    case Behavior::OSCILLATE:
        // Mirrors against (last - first), not against the key range itself: only right
        // when the first key is at 0, and kept so that existing data plays as it always did.
        return wrapped.wraps % 2 != 0 ? (last - first) - wrapped.time : wrapped.time;
    case Behavior::OFFSET:
        *offset_wraps = wrapped.wraps;
        return wrapped.time;
    default:
        return wrapped.time;
    }
}

// The key that starts the segment holding the time; never the last key, so the segment
// always has an end even when a mirrored time falls outside the keys.
template <class K>
size_t find_segment(const std::vector<K>& keys, float time)
{
    size_t i = 0;
    while (i + 2 < keys.size() && keys[i + 1].time < time)
        ++i;
    return i;
}

// --- XML ---

bool read_value(const String& text, float* value) { return converter::convert(text, value); }

bool read_value(const String& text, math::Vector3* value)
{
    const char* position = text.data();
    const char* const end = text.data_end();
    float parts[3];
    for (float& part : parts) {
        position = converter::parse_float(position, end, &part);
        if (!position)
            return false;
    }
    *value = math::Vector3{parts[0], parts[1], parts[2]};
    return true;
}

bool read_value(const String& text, filesystem::String* value) { return converter::convert(text, value); }

template <class T>
class KeyLoader : public xml::ObjectANSI {
public:
    explicit KeyLoader(Key<T>& key) : key_(key) {}

    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        if (name == "Time")
            return converter::convert(value, &key_.time);
        if (name == "Value")
            return read_value(value, &key_.value);
        if (name == "Linear")
            return read_value(value, &key_.linear);
        if (name == "Quadratic")
            return read_value(value, &key_.quadratic);
        if (name == "Cubic")
            return read_value(value, &key_.cubic);
        return false;
    }

private:
    Key<T>& key_;
};

// Wide texts arrive decoded from UTF-8 only through the wide interface.
class WideKeyLoader : public xml::ObjectUnicode {
public:
    explicit WideKeyLoader(Key<WString>& key) : key_(key) {}

    bool OnAttribute(xml::Provider&, const WString& name, const WString& value) override
    {
        if (name == u"Time")
            return converter::convert(value, &key_.time);
        if (name == u"Value")
            key_.value = value;
        else if (name == u"Linear")
            key_.linear = value;
        else if (name == u"Quadratic")
            key_.quadratic = value;
        else if (name == u"Cubic")
            key_.cubic = value;
        else
            return false;
        return true;
    }

private:
    Key<WString>& key_;
};

template <class T>
class KeyTCBLoader : public xml::ObjectANSI {
public:
    explicit KeyTCBLoader(KeyTCB<T>& key) : key_(key) {}

    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        if (name == "Time")
            return converter::convert(value, &key_.time);
        if (name == "Value")
            return read_value(value, &key_.value);
        if (name == "Tension")
            return converter::convert(value, &key_.tension);
        if (name == "Continuity")
            return converter::convert(value, &key_.continuity);
        if (name == "Bias")
            return converter::convert(value, &key_.bias);
        return false;
    }

private:
    KeyTCB<T>& key_;
};

template <class T>
struct KeyLoaderOf {
    using type = KeyLoader<T>;
};
template <>
struct KeyLoaderOf<WString> {
    using type = WideKeyLoader;
};

// "Keys": every "Key" child appends a default key and reads itself into it.
template <class K, class Loader>
class KeysLoader : public xml::ObjectANSI {
public:
    explicit KeysLoader(std::vector<K>& keys) : keys_(keys) {}

    bool OnNode(xml::Provider& provider, const String& name) override
    {
        if (!(name == "Key"))
            return false;
        keys_.emplace_back();
        Loader loader(keys_.back());
        return provider.ParseObject(loader);
    }

private:
    std::vector<K>& keys_;
};

} // namespace

WrappedTime wrap_time(float t, float first, float last)
{
    const float range = last - first;
    if (range == 0.0f)
        return {first, 0};
    // Times too far out to count in 32 bits saturate rather than overflow.
    const float passes = std::floor((t - first) / range);
    int32_t wraps = 0;
    if (passes >= 2147483648.0f)
        wraps = INT32_MAX;
    else if (passes < -2147483648.0f)
        wraps = INT32_MIN;
    else if (!std::isnan(passes))
        wraps = static_cast<int32_t>(passes);
    return {t - static_cast<float>(wraps) * range, wraps};
}

// --- Envelope ---

template <class T>
T Envelope<T>::evaluate(float time) const
{
    const size_t count = keys.size();
    if (count == 0)
        return T{};
    if (count == 1)
        return keys[0].value;

    const Key<T>& first = keys.front();
    const Key<T>& last = keys.back();
    int32_t offset_wraps = 0;
    const bool before = time < first.time;
    if (before || time > last.time) {
        Behavior behavior = before ? pre_behavior : post_behavior;
        if constexpr (!is_interpolated<T>) {
            if (behavior == Behavior::LINEAR)
                behavior = Behavior::CONSTANT;
            else if (behavior == Behavior::OFFSET)
                behavior = Behavior::REPEAT;
        }
        const Key<T>& end = before ? first : last;
        if (behavior == Behavior::CONSTANT)
            return end.value;
        if constexpr (is_interpolated<T>) {
            if (behavior == Behavior::LINEAR)
                return sum(end.value, scaled(end.linear, time - end.time));
        }
        time = wrap_for(behavior, time, first.time, last.time, &offset_wraps);
    }

    const Key<T>& key = keys[find_segment(keys, time)];
    if constexpr (is_interpolated<T>) {
        const float d = time - key.time;
        T value = sum(scaled(sum(scaled(sum(scaled(key.cubic, d), key.quadratic), d), key.linear), d), key.value);
        if (offset_wraps != 0)
            value = sum(value, scaled(difference(last.value, first.value), static_cast<float>(offset_wraps)));
        return value;
    } else {
        return key.value;
    }
}

template <class T>
bool Envelope<T>::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "PreBehave")
        return converter::convert(value, &pre_behavior);
    if (name == "PostBehave")
        return converter::convert(value, &post_behavior);
    return false;
}

template <class T>
bool Envelope<T>::OnNode(xml::Provider& provider, const String& name)
{
    if (!(name == "Keys"))
        return false;
    KeysLoader<Key<T>, typename KeyLoaderOf<T>::type> loader(keys);
    return provider.ParseObject(loader);
}

// --- EnvelopeTCB ---

template <class T>
T EnvelopeTCB<T>::outgoing(size_t k) const
{
    const KeyTCB<T>& key = keys[k];
    const float t = static_cast<float>(key.tension);
    const float c = static_cast<float>(key.continuity);
    const float b = static_cast<float>(key.bias);
    const T ahead = scaled(difference(keys[k + 1].value, key.value), (1.0f - t) * (1.0f - c) * (1.0f - b));
    const bool has_previous = k > 0 || loop_keys;
    if (!has_previous)
        return ahead;
    const size_t previous = k > 0 ? k - 1 : keys.size() - 2;
    const T behind = scaled(difference(key.value, keys[previous].value), (1.0f - t) * (1.0f + c) * (1.0f + b));
    return scaled(sum(behind, ahead), 0.5f);
}

template <class T>
T EnvelopeTCB<T>::incoming(size_t k) const
{
    const KeyTCB<T>& key = keys[k];
    const float t = static_cast<float>(key.tension);
    const float c = static_cast<float>(key.continuity);
    const float b = static_cast<float>(key.bias);
    const T behind = scaled(difference(key.value, keys[k - 1].value), (1.0f - t) * (1.0f - c) * (1.0f + b));
    const bool has_next = k + 1 < keys.size() || loop_keys;
    if (!has_next)
        return behind;
    const size_t next = k + 1 < keys.size() ? k + 1 : 1;
    const T ahead = scaled(difference(keys[next].value, key.value), (1.0f - t) * (1.0f + c) * (1.0f - b));
    return scaled(sum(behind, ahead), 0.5f);
}

template <class T>
T EnvelopeTCB<T>::evaluate(float time) const
{
    const size_t count = keys.size();
    if (count == 0)
        return T{};
    if (count == 1)
        return keys[0].value;

    const KeyTCB<T>& first = keys.front();
    const KeyTCB<T>& last = keys.back();
    int32_t offset_wraps = 0;
    const bool before = time < first.time;
    if (before || time > last.time) {
        const Behavior behavior = before ? pre_behavior : post_behavior;
        if (behavior == Behavior::CONSTANT)
            return (before ? first : last).value;
        if (behavior == Behavior::LINEAR) {
            // Two keys at one time give no slope; the end value holds instead of a division by 0.
            if (before) {
                const float span = keys[1].time - first.time;
                if (span == 0.0f)
                    return first.value;
                return sum(first.value, scaled(divided(outgoing(0), span), time - first.time));
            }
            const float span = last.time - keys[count - 2].time;
            if (span == 0.0f)
                return last.value;
            return sum(last.value, scaled(divided(incoming(count - 1), span), time - last.time));
        }
        time = wrap_for(behavior, time, first.time, last.time, &offset_wraps);
    }

    const size_t i = find_segment(keys, time);
    const KeyTCB<T>& from = keys[i];
    const KeyTCB<T>& to = keys[i + 1];
    T value;
    if (time == from.time) {
        value = from.value;
    } else if (time == to.time) {
        value = to.value;
    } else if (to.time == from.time) {
        value = from.value;
    } else {
        const float u = (time - from.time) / (to.time - from.time);
        const float u2 = u * u;
        const float u3 = u2 * u;
        const float h0 = 2.0f * u3 - 3.0f * u2 + 1.0f;
        const float h1 = 3.0f * u2 - 2.0f * u3;
        const float h2 = u3 - 2.0f * u2 + u;
        const float h3 = u3 - u2;
        value = sum(sum(sum(scaled(from.value, h0), scaled(to.value, h1)), scaled(outgoing(i), h2)),
                    scaled(incoming(i + 1), h3));
    }
    if (offset_wraps != 0)
        value = sum(value, scaled(difference(last.value, first.value), static_cast<float>(offset_wraps)));
    return value;
}

template <class T>
T EnvelopeTCB<T>::derivative(float time) const
{
    const size_t count = keys.size();
    if (count < 2)
        return T{};
    const KeyTCB<T>& first = keys.front();
    const KeyTCB<T>& last = keys.back();
    const bool before = time < first.time;
    if (before || time > last.time) {
        const Behavior behavior = before ? pre_behavior : post_behavior;
        // A held value has no slope.
        if (behavior == Behavior::CONSTANT)
            return T{};
        if (behavior == Behavior::LINEAR) {
            const float span = before ? keys[1].time - first.time : last.time - keys[count - 2].time;
            if (span == 0.0f)
                return T{};
            return divided(before ? outgoing(0) : incoming(count - 1), span);
        }
        int32_t wraps = 0;
        time = wrap_for(behavior, time, first.time, last.time, &wraps);
    }
    const size_t i = find_segment(keys, time);
    const KeyTCB<T>& from = keys[i];
    const KeyTCB<T>& to = keys[i + 1];
    const float s = to.time == from.time ? 0.0f : (time - from.time) / (to.time - from.time);
    const float s2 = s * s;
    const float d1 = 6.0f * s2 - 6.0f * s;
    const float d2 = 6.0f * s - 6.0f * s2;
    const float d3 = 3.0f * s2 - 4.0f * s + 1.0f;
    const float d4 = 3.0f * s2 - 2.0f * s;
    return sum(sum(sum(scaled(from.value, d1), scaled(to.value, d2)), scaled(outgoing(i), d3)),
               scaled(incoming(i + 1), d4));
}

template <class T>
bool EnvelopeTCB<T>::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "PreBehave")
        return converter::convert(value, &pre_behavior);
    if (name == "PostBehave")
        return converter::convert(value, &post_behavior);
    if (name == "LoopKeys")
        return converter::convert(value, &loop_keys);
    return false;
}

template <class T>
bool EnvelopeTCB<T>::OnNode(xml::Provider& provider, const String& name)
{
    if (!(name == "Keys"))
        return false;
    KeysLoader<KeyTCB<T>, KeyTCBLoader<T>> loader(keys);
    return provider.ParseObject(loader);
}

template class Envelope<float>;
template class Envelope<math::Vector3>;
template class Envelope<WString>;
template class Envelope<filesystem::String>;
template class EnvelopeTCB<float>;
template class EnvelopeTCB<math::Vector3>;

} // namespace vadu::animate

namespace vadu::converter {

namespace {

struct BehaviorName {
    const char* name;
    animate::Behavior value;
};

constexpr BehaviorName behavior_names[] = {
    {"CONSTANT", animate::Behavior::CONSTANT}, {"REPEAT", animate::Behavior::REPEAT},
    {"OSCILLATE", animate::Behavior::OSCILLATE}, {"OFFSET", animate::Behavior::OFFSET},
    {"LINEAR", animate::Behavior::LINEAR},
};

} // namespace

bool convert(const String& text, animate::Behavior* value)
{
    for (const BehaviorName& entry : behavior_names) {
        if (text == entry.name) {
            *value = entry.value;
            return true;
        }
    }
    return false;
}

} // namespace vadu::converter
