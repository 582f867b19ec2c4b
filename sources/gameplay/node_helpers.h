#pragma once

// Finding the named nodes of a screen's scene as the type the caller needs. A node is
// taken by its type name ("Sprite", "Text", "Emitter"): a node of another type counts as
// missing, so a screen never writes text into a sprite or a frame into a label. And the
// way from the playing field's pixels to the scene's coordinates.

#include "vadu/atom.h"
#include "vadu/math.h"
#include "vadu/string.h"

namespace vadu::lib3d::node {
class Node;
class Sprite;
class Text;
class Emitter;
} // namespace vadu::lib3d::node

namespace gameplay {

// The node itself when its type name matches; else null (also for null).
vadu::lib3d::node::Sprite* AsSprite(vadu::lib3d::node::Node* node);
vadu::lib3d::node::Text* AsText(vadu::lib3d::node::Node* node);
vadu::lib3d::node::Emitter* AsEmitter(vadu::lib3d::node::Node* node);

// The first node of that name at or below root (depth first) as that type; null when
// root is null, nothing has the name, or the node found is of another type.
vadu::lib3d::node::Sprite* FindSprite(vadu::lib3d::node::Node* root, const vadu::Atom& name);
vadu::lib3d::node::Text* FindText(vadu::lib3d::node::Node* root, const vadu::Atom& name);

// Finds the text node and shows the UTF-8 text on it; returns it, or null (nothing shown)
// when there is no such text node.
vadu::lib3d::node::Text* SetChildText(vadu::lib3d::node::Node* root, const vadu::Atom& name,
                                      const vadu::String& utf8);
// Finds the sprite and selects the atlas frame on it; returns it, or null when there is
// no such sprite.
vadu::lib3d::node::Sprite* SetChildSprite(vadu::lib3d::node::Node* root, const vadu::Atom& name,
                                          const vadu::Atom& frame);

// A play-area point (pixels, y up) in the scene's global coordinates: the shapes' layer
// "CharactersLayer", a direct child of the scene root, holds the field's origin; a scene
// without it has the field at its own origin. The z is the layer's.
vadu::math::Vector3 FieldToScene(vadu::lib3d::node::Node* sceneRoot, const vadu::math::Vector2<float>& point);

// The global depth of the texts that float over the field (a chain's score, a combo, a
// bonus): in front of every shape, behind the HUD's bars and the windows.
constexpr float FloatingTextDepth = 1.0f;

} // namespace gameplay
