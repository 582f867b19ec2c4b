#pragma once

// Property elements of world files: one "Value" attribute converted to the setting's type.

#include <cmath>
#include <cstdint>

#include <box2d/b2_body.h>

#include "vadu/atom.h"
#include "vadu/converter.h"
#include "vadu/math.h"
#include "vadu/xml_object.h"

namespace physics {

// Reads the text of a setting. Numbers must be finite: a NaN or an infinity would reach
// Box2D's broad phase, which does not survive them.
bool ConvertValue(const vadu::String& text, vadu::Atom* value);
bool ConvertValue(const vadu::String& text, bool* value);
bool ConvertValue(const vadu::String& text, float* value);
bool ConvertValue(const vadu::String& text, int32_t* value);
bool ConvertValue(const vadu::String& text, int16_t* value);
bool ConvertValue(const vadu::String& text, b2BodyType* value);
bool ConvertValue(const vadu::String& text, vadu::math::Vector2<float>* value);
bool ConvertValue(const vadu::String& text, b2Vec2* value);

template <class T>
class ValueLoader : public vadu::xml::ObjectANSI {
public:
    explicit ValueLoader(T* value) : value_(value) {}

    bool OnAttribute(vadu::xml::Provider&, const vadu::String& name, const vadu::String& value) override
    {
        return name == "Value" && ConvertValue(value, value_);
    }

private:
    T* value_;
};

// Parses the element the provider stands on as a property of type T into *value.
template <class T>
bool ReadValue(vadu::xml::Provider& provider, T* value)
{
    ValueLoader<T> loader(value);
    return provider.ParseObject(loader);
}

} // namespace physics
