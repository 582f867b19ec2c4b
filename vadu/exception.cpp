#include "vadu/exception.h"

namespace vadu {

Gluck::Gluck(const BasicString<char>& function, const BasicString<char>& description)
    : description_(description), function_(function)
{
    // Readers hand these texts on as C strings; a substring argument is not yet
    // terminated, so terminate the copies here rather than at the catch site.
    function_.c_str();
    description_.c_str();
}

Gluck::~Gluck() = default;

GluckBadResource::GluckBadResource(const BasicString<char>& function, const BasicString<char>& description,
                                   const filesystem::String& resource)
    : Gluck(function, description), resource_(resource)
{
}

GluckBadResource::~GluckBadResource() = default;

} // namespace vadu
