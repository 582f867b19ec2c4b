#include "sources/gameplay/node_helpers.h"

#include "game/node_ref.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/emitter.h"
#include "vadu/lib3d/node/sprite.h"

namespace gameplay {

using vadu::lib3d::node::cast_by_type_name;
using vadu::lib3d::node::Emitter;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Sprite;
using vadu::lib3d::node::Text;

Sprite* AsSprite(Node* node)
{
    static const vadu::Atom type("Sprite");
    return cast_by_type_name<Sprite>(node, type);
}

Text* AsText(Node* node)
{
    static const vadu::Atom type("Text");
    return cast_by_type_name<Text>(node, type);
}

Emitter* AsEmitter(Node* node)
{
    static const vadu::Atom type("Emitter");
    return cast_by_type_name<Emitter>(node, type);
}

Sprite* FindSprite(Node* root, const vadu::Atom& name)
{
    return root ? AsSprite(root->find_child(name, true)) : nullptr;
}

Text* FindText(Node* root, const vadu::Atom& name)
{
    return root ? AsText(root->find_child(name, true)) : nullptr;
}

Text* SetChildText(Node* root, const vadu::Atom& name, const vadu::String& utf8)
{
    Text* text = FindText(root, name);
    if (text)
        text->set_text_utf8(utf8, false);
    return text;
}

Sprite* SetChildSprite(Node* root, const vadu::Atom& name, const vadu::Atom& frame)
{
    Sprite* sprite = FindSprite(root, name);
    if (sprite)
        sprite->set_frame(frame);
    return sprite;
}

vadu::math::Vector3 FieldToScene(Node* sceneRoot, const vadu::math::Vector2<float>& point)
{
    vadu::math::Vector3 origin{0.0f, 0.0f, 0.0f};
    if (sceneRoot != nullptr) {
        static const vadu::Atom layer_name("CharactersLayer");
        for (Node* child : sceneRoot->get_children()) {
            if (child->get_name() == layer_name) {
                origin = child->get_global_position();
                break;
            }
        }
    }
    return {origin.x + point.x, origin.y + point.y, origin.z};
}

} // namespace gameplay
