#pragma once

// A small animatable tree for the animation tests: named children looked up like scene
// nodes, and one journal of every attribute change and started sequence.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "vadu/animate/animatable.h"
#include "vadu/filesystem.h"
#include "vadu/weak_ptr.h"
#include "vadu/xml_object.h"
#include "vadu/xml_reader.h"

namespace animate_test {

using Journal = std::vector<std::string>;

inline std::string to_std(const vadu::String& text) { return std::string(text.data(), text.size()); }

inline std::string format_number(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

inline std::string format_vector(const vadu::math::Vector3& value)
{
    return "(" + format_number(value.x) + " " + format_number(value.y) + " " + format_number(value.z) + ")";
}

// Wide texts of the tests are ASCII, except where a test checks the units itself.
inline std::string ascii(const vadu::WString& text)
{
    std::string result;
    for (char16_t unit : std::u16string_view(text.data(), text.size()))
        result += unit < 0x80 ? static_cast<char>(unit) : '?';
    return result;
}

// An object that a node exposes without being trackable itself (as a node's material).
class Inner : public vadu::animate::Animatable {
public:
    Inner(std::string owner, Journal& journal) : owner_(std::move(owner)), journal_(journal) {}

    using Animatable::change_attribute;
    bool change_attribute(const vadu::Atom& name, double value) override
    {
        journal_.push_back(owner_ + "/Inner." + to_std(name.get_name()) + "=" + format_number(value));
        return true;
    }

private:
    std::string owner_;
    Journal& journal_;
};

class TestObject : public vadu::animate::Animatable, public vadu::Trackable {
public:
    TestObject(std::string name, Journal& journal) : name_(std::move(name)), atom_(name_.c_str()), journal_(journal) {}

    TestObject& add(const std::string& name)
    {
        children_.push_back(std::make_unique<TestObject>(name, journal_));
        return *children_.back();
    }
    // The direct child of that name (it must exist).
    TestObject& child(const std::string& name)
    {
        for (const std::unique_ptr<TestObject>& candidate : children_) {
            if (candidate->name_ == name)
                return *candidate;
        }
        throw std::out_of_range(name);
    }
    // Destroys the child of that name and its subtree.
    void remove(const std::string& name)
    {
        std::erase_if(children_, [&](const std::unique_ptr<TestObject>& child) { return child->name_ == name; });
    }

    // As a scene node: "#AnyNode#" is the object itself; children are searched in order,
    // depth first when recursive; the object's own name is not compared.
    vadu::animate::Animatable* find_object(const vadu::Atom& name, bool recursive) override
    {
        if (name == vadu::Atom("#AnyNode#"))
            return this;
        if (name == vadu::Atom("Inner"))
            return &inner_;
        for (const std::unique_ptr<TestObject>& child : children_) {
            if (child->atom_ == name)
                return child.get();
            if (recursive) {
                if (vadu::animate::Animatable* found = child->find_object(name, true))
                    return found;
            }
        }
        return nullptr;
    }

    using Animatable::change_attribute;
    bool change_attribute(const vadu::Atom& name, double value) override
    {
        return record(name, format_number(value));
    }
    bool change_attribute(const vadu::Atom& name, const vadu::math::Vector3& value) override
    {
        return record(name, format_vector(value));
    }
    bool change_attribute(const vadu::Atom& name, const vadu::filesystem::String& value) override
    {
        return record(name, "path:" + to_std(value.get_text()));
    }
    bool change_attribute(const vadu::Atom& name, const vadu::WString& value) override
    {
        return record(name, "wide:" + ascii(value));
    }
    bool play_sequence(const vadu::Atom& name) override
    {
        journal_.push_back(name_ + ">" + to_std(name.get_name()));
        return true;
    }

    const std::string& name() const { return name_; }

private:
    bool record(const vadu::Atom& name, const std::string& value)
    {
        journal_.push_back(name_ + "." + to_std(name.get_name()) + "=" + value);
        return true;
    }

    std::string name_;
    vadu::Atom atom_;
    Journal& journal_;
    Inner inner_{name_, journal_};
    std::vector<std::unique_ptr<TestObject>> children_;
};

// Reads the document into the object through a root of that name.
inline bool load(vadu::xml::Object& object, const char* root_name, std::string_view text)
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    vadu::xml::StreamResource resource(&stream);
    vadu::xml::Root root(object, root_name);
    return resource.load(root);
}

} // namespace animate_test
