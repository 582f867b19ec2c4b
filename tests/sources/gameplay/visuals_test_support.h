#pragma once

// A small playing field for the tests of the shapes' and links' pictures: the shipped
// data folder, a scene root with the field's layers, the fakes, and a fresh global action
// manager and animation cache. The field goes down in a fixed order: shapes first (while
// their scene lives), then the actions, then the scene.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/shared_animations.h"
#include "support/fake_gameplay.h"
#include "support/log_capture.h"
#include "vadu/animate/soul.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/resource_loader.h"

namespace gameplay_test {

inline std::string text_of(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// The atlas or picture a sprite shows, as asked for (lower case).
inline std::string picture_of(vadu::lib3d::node::Sprite& sprite)
{
    vadu::lib3d::material::TextureHandle* texture = sprite.get_texture();
    if (texture == nullptr)
        return {};
    if (texture->get_atlas() != nullptr)
        return text_of(texture->get_atlas()->get_rep().get_path().get_text());
    if (texture->get_texture() != nullptr && texture->get_texture()->get_rep() != nullptr)
        return text_of(texture->get_texture()->get_rep()->get_path().get_text());
    return {};
}

// The files (served from a folder that holds data/), the background picture loader and the
// souls the scene nodes need.
struct FieldServices : vadu::resource::ActiveMultithreaded::Creator, vadu::animate::Soul::Creator {
    explicit FieldServices(const std::string& folder_with_data)
        : vadu::filesystem::Creator([folder_with_data] {
              return std::make_unique<vadu::filesystem::PathFileSystem>(
                  vadu::filesystem::String((folder_with_data + "/").c_str(), false),
                  std::make_unique<vadu::filesystem::NativeFileSystem>());
          })
    {
    }
};

class FieldFixture {
public:
    // Serves "data/..." from the folder that holds data/ (the sources' data, or the
    // program's assembled one with the pictures). The field's layers go directly under
    // the root (a plain "Scene" node unless one is given).
    explicit FieldFixture(const std::string& folder_with_data,
                          std::function<std::unique_ptr<vadu::lib3d::node::Node>()> make_root = nullptr)
        : services_(folder_with_data)
    {
        ActionManager::ResetGlobal();
        SharedAnimations::Reset();
        root = make_root ? make_root() : std::make_unique<vadu::lib3d::node::Node>(vadu::Atom("Scene"), nullptr);
        for (const char* layer : {"LinksLayer", "CharactersLayer", "FrozenLayer", "BubblesLayer"})
            new vadu::lib3d::node::Node(vadu::Atom(layer), root.get());
        level.emplace();
        level->sceneRoot = root.get();
        level->links.SetScene(level->World(), root.get());
    }

    ~FieldFixture()
    {
        level.reset();
        ActionManager::ResetGlobal();
        SharedAnimations::Reset();
        root.reset();
    }

    vadu::lib3d::node::Node* Layer(const char* name) { return root->find_child(vadu::Atom(name), false); }

    // A shape of the level, at a position, with its pictures built.
    template <typename T, typename... Args>
    T* Place(float x, float y, Args... args)
    {
        T* shape = level->Add(std::make_unique<T>(level->World(), vadu::Atom("Shape"), args...));
        shape->SetPosition({x, y});
        shape->SetRootNode(root.get());
        return shape;
    }

    // Deletes a shape the way the level does once it is dead.
    void Delete(gameplay::Shape* shape)
    {
        auto& owned = level->owned;
        for (auto it = owned.begin(); it != owned.end(); ++it) {
            if (it->get() == shape) {
                owned.erase(it);
                break;
            }
        }
        auto& shapes = level->shapes;
        shapes.erase(std::remove(shapes.begin(), shapes.end(), shape), shapes.end());
    }

    ActionManager& Actions() { return ActionManager::Global(); }

private:
    FieldServices services_;

public:
    // After the services, whose log it replaces.
    test_support::LogCapture log;
    std::unique_ptr<vadu::lib3d::node::Node> root;
    gameplay_fakes::FakeShell shell;
    gameplay_fakes::FakeHud hud;
    std::optional<gameplay_fakes::FakeLevel> level;
};

} // namespace gameplay_test
