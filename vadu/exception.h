#pragma once

#include "vadu/path.h"
#include "vadu/string.h"

namespace vadu {

// The engine's exception for a failure that stops an operation: a description
// for a person and the qualified name of the operation that failed. Thrown and
// caught by value; deliberately not derived from a standard-library class.
class Gluck {
public:
    Gluck(const BasicString<char>& function, const BasicString<char>& description);
    Gluck(const Gluck&) = default;
    Gluck& operator=(const Gluck&) = default;
    virtual ~Gluck();

    const BasicString<char>& get_function() const noexcept { return function_; }
    const BasicString<char>& get_description() const noexcept { return description_; }

private:
    BasicString<char> description_;
    BasicString<char> function_;
};

// A data file that could not be opened, read or parsed: the Gluck's texts plus the
// path of the resource, with its lower-case flag. The path keeps the path-macro table
// alive as long as any copy of the exception lives.
class GluckBadResource : public Gluck {
public:
    GluckBadResource(const BasicString<char>& function, const BasicString<char>& description,
                     const filesystem::String& resource);
    GluckBadResource(const GluckBadResource&) = default;
    GluckBadResource& operator=(const GluckBadResource&) = default;
    ~GluckBadResource() override;

    const filesystem::String& get_resource() const noexcept { return resource_; }

private:
    filesystem::String resource_;
};

} // namespace vadu
