#include "vadu/lib3d/node/billboard.h"

#include "vadu/converter.h"
#include "vadu/lib3d/hard/render_list.h"

namespace vadu::lib3d::node {

namespace {

const Atom& restricted_name()
{
    static const Atom name("Restricted");
    return name;
}

} // namespace

Billboard::Billboard(const Atom& name, Node* parent) : Node(name, parent)
{
    element_name_ = get_type_name();
}

Billboard::Billboard(const Billboard& other)
    : xml::Object(other), animate::Soul(other), Node(other), restricted_(other.restricted_)
{
}

Billboard::~Billboard() = default;

bool Billboard::change_attribute(const Atom& name, double value)
{
    if (name != restricted_name())
        return Node::change_attribute(name, value);
    restricted_ = value == 0.0 ? 0 : 1;
    return true;
}

bool Billboard::get_attribute(const Atom& name, double& value)
{
    if (name != restricted_name())
        return Node::get_attribute(name, value);
    value = restricted_ ? 1.0 : 0.0;
    return true;
}

Atom Billboard::get_type_name() const
{
    static const Atom type("Billboard");
    return type;
}

Node* Billboard::clone() const
{
    return new Billboard(*this);
}

bool Billboard::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Restricted") {
        bool flag = false;
        if (!converter::convert(value, &flag))
            return false;
        restricted_ = flag ? 1 : 0;
        return true;
    }
    return Node::OnAttribute(provider, name, value);
}

void Billboard::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    const math::Vector3 position = get_global_position();
    const math::Matrix4& camera = list.camera_matrix;
    for (int index : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15})
        global_matrix_[index] = camera[index];
    global_matrix_[3] = position.x;
    global_matrix_[7] = position.y;
    global_matrix_[11] = position.z;
    // The children follow the new orientation.
    global_changed_ = 1;
    Node::render_to_list(hardware, list);
}

} // namespace vadu::lib3d::node
