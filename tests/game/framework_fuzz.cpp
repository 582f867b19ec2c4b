// libFuzzer target: random bytes as one of the framework's documents (game description,
// flow, screen, controls, phrases), served with a few fixed companions from an in-memory
// file system. Built only with QUILLO_FUZZ (clang); run by `make fuzz`.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "game/controls/loading.h"
#include "game/flow.h"
#include "game/game_definition.h"
#include "game/screen.h"
#include "game/screen_backend.h"
#include "game/screen_definition.h"
#include "game/text_service.h"
#include "vadu/animate/soul.h"
#include "vadu/dictionary.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/input.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/log.h"
#include "vadu/xml_reader.h"

namespace {

std::map<std::string, std::string>& files()
{
    static std::map<std::string, std::string> contents;
    return contents;
}

class MemoryFileSystem : public vadu::filesystem::FileSystem {
public:
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String& path) override
    {
        const vadu::String& text = path.get_text();
        const auto found = files().find(std::string(text.data(), text.size()));
        if (found == files().end())
            return nullptr;
        return std::make_unique<vadu::filesystem::MemoryStream>(
            std::vector<uint8_t>(found->second.begin(), found->second.end()));
    }
};

class FuzzBackend : public game::ScreenBackend {
public:
    void Update(double) override {}
    void OnInitialized() override {}
};

struct Environment {
    Environment()
        : files_([] { return std::make_unique<MemoryFileSystem>(); })
    {
        // The engine logs every refused name; the fuzzer's pace needs silence.
        vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(std::fopen("/dev/null", "w")));
        files()["fuzz/scene.xml"] = R"(<Scene><Node Name="Play"/><Node Name="Back"/></Scene>)";
        files()["fuzz/screen.xml"] =
            R"(<Screen BackendClass="Fuzz"><Scene RootName="S"><Resource Path="fuzz/scene.xml"/></Scene></Screen>)";
        files()["fuzz/flow.xml"] =
            R"(<Flow Start="A"><Entry Name="A"><Screen><Resource Path="fuzz/screen.xml"/></Screen></Entry></Flow>)";
        files()["fuzz/strings.xml"] = R"(<Chapter Name="default"><Section Name="default"/></Chapter>)";
        files()["fuzz/controls.xml"] = R"(<Controls><Button Name="Play" Node="Play"/></Controls>)";
        backends.RegisterBackendCreator("Fuzz", [] { return std::make_unique<FuzzBackend>(); });
    }

    vadu::logs::Creator log_;
    vadu::filesystem::Creator files_;
    vadu::animate::Soul::Creator souls_;
    vadu::DictionaryHolder::Creator dictionary_;
    vadu::input::Manager::Creator input_;
    vadu::lib3d::node::NodeTypeRegistration node_types_;
    game::ScreenBackendFactory backends;
};

bool load(vadu::xml::Object& target, const char* root_name, const char* path)
{
    const vadu::filesystem::String file(path, true);
    std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(file);
    vadu::xml::StreamResource resource(stream.get(), file);
    vadu::xml::Root root(target, root_name);
    return resource.load(root);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Environment environment;
    if (size < 1)
        return 0;
    const uint8_t kind = data[0] % 5;
    files()["fuzz/doc.xml"] = std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        switch (kind) {
        case 0: {
            game::GameDefinition definition;
            definition.GetBackendFactory() = environment.backends;
            definition.Load(vadu::filesystem::String("fuzz/doc.xml", true));
            std::unique_ptr<game::Root> root = definition.CreateRoot(nullptr);
            root->Update(0.0);
            break;
        }
        case 1: {
            game::flow::Manager manager;
            if (load(manager, "Flow", "fuzz/doc.xml")) {
                game::flow::EntryDefinition* entry = manager.Start();
                if (entry && !entry->GetExits().empty())
                    manager.ResolveExit(entry->GetExits().front()->name, entry);
            }
            break;
        }
        case 2: {
            game::StaticResourceScreenReference reference(vadu::filesystem::String("fuzz/doc.xml", true));
            game::Root root(nullptr);
            root.GetBackendFactory() = environment.backends;
            std::unique_ptr<game::Screen> screen = reference.ConstructScreen(root);
            screen->Update(0.016);
            break;
        }
        case 3: {
            vadu::lib3d::node::LoadingRoot scene(vadu::Atom("Scene"));
            new vadu::lib3d::node::Node(vadu::Atom("Play"), &scene);
            game::controls::ControlCollectionLoaderImpl loader(&scene);
            if (load(loader, "Controls", "fuzz/doc.xml")) {
                game::Screen screen(nullptr);
                for (auto& control : loader.TakeControls())
                    screen.AddControl(std::move(control));
                screen.Update(0.016);
            }
            break;
        }
        default: {
            game::TextServiceImpl service;
            std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(vadu::filesystem::String("fuzz/doc.xml", true));
            if (stream && service.Load(*stream))
                service.GetPhrase("default", "default", "play");
            break;
        }
        }
    } catch (const vadu::Gluck&) {
        // A refused document is the expected outcome of most inputs.
    }
    return 0;
}
