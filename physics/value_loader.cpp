#include "physics/value_loader.h"

#include <cstring>

namespace physics {

namespace {

bool Equals(const vadu::String& text, const char* word)
{
    return text.size() == std::strlen(word) && std::memcmp(text.data(), word, text.size()) == 0;
}

} // namespace

bool ConvertValue(const vadu::String& text, vadu::Atom* value)
{
    return vadu::converter::convert(text, value);
}

bool ConvertValue(const vadu::String& text, bool* value)
{
    return vadu::converter::convert(text, value);
}

bool ConvertValue(const vadu::String& text, float* value)
{
    float result = 0.0f;
    if (!vadu::converter::convert(text, &result) || !std::isfinite(result))
        return false;
    *value = result;
    return true;
}

bool ConvertValue(const vadu::String& text, int32_t* value)
{
    return vadu::converter::convert(text, value);
}

bool ConvertValue(const vadu::String& text, int16_t* value)
{
    int16_t result = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || vadu::converter::parse_short(text.data(), end, &result) == nullptr)
        return false;
    *value = result;
    return true;
}

bool ConvertValue(const vadu::String& text, b2BodyType* value)
{
    if (Equals(text, "StaticBody"))
        *value = b2_staticBody;
    else if (Equals(text, "KinematicBody"))
        *value = b2_kinematicBody;
    else if (Equals(text, "DynamicBody"))
        *value = b2_dynamicBody;
    else
        return false;
    return true;
}

bool ConvertValue(const vadu::String& text, vadu::math::Vector2<float>* value)
{
    vadu::math::Vector2<float> result;
    if (!vadu::converter::convert(text, &result) || !std::isfinite(result.x) || !std::isfinite(result.y))
        return false;
    *value = result;
    return true;
}

bool ConvertValue(const vadu::String& text, b2Vec2* value)
{
    vadu::math::Vector2<float> result;
    if (!ConvertValue(text, &result))
        return false;
    *value = b2Vec2(result.x, result.y);
    return true;
}

} // namespace physics
