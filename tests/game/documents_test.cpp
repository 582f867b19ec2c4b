#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework_test_support.h"
#include "game/flow.h"
#include "game/game_definition.h"
#include "game/text_service.h"
#include "vadu/exception.h"
#include "vadu/xml_reader.h"
#include "game/screen.h"
#include "vadu/lib3d/hard/render_fakes.h"

namespace {

using namespace framework_test;

std::unique_ptr<vadu::Stream> memory(const std::string& text)
{
    return std::make_unique<vadu::filesystem::MemoryStream>(std::vector<uint8_t>(text.begin(), text.end()));
}

bool load_flow(game::flow::Manager& manager, const std::string& text)
{
    auto stream = memory(text);
    vadu::xml::StreamResource resource(stream.get());
    vadu::xml::Root root(manager, "Flow");
    return resource.load(root);
}

const char* const flow_text = R"(<Flow Start="Menu">
  <Entry Name="Menu"><Exit Name="Game" Entry="Game"/><Exit Name="Store" Entry="Store"/>
    <Exit Name="Next" Entry="#Advance"/><Exit Name="Odd" Entry="#Other"/><Exit Name="Lost" Entry="Nowhere"/></Entry>
  <Entry Name="Game"><Exit Name="Menu" Entry="$Menu"/></Entry>
  <Entry Name="Store"/>
</Flow>)";

using Flow = FrameworkTest;

TEST_F(Flow, ExitsResolveByTargetKind)
{
    struct Case {
        const char* from;
        const char* exit;
        const char* expected; // null: no entry
        const char* diagnostic;
    };
    const Case cases[] = {
        {"Menu", "Game", "Game", nullptr},
        {"Menu", "game", nullptr, "Unknown exit name"},
        {"Menu", "Next", nullptr, "Cannot advance when queue is empty"},
        {"Menu", "Odd", nullptr, "Cannot advance screen since queue is empty"},
        {"Menu", "Lost", nullptr, "Cannot find named entry"},
        {"Game", "Menu", "Menu", nullptr},
    };
    for (const Case& c : cases) {
        diagnostics.clear();
        game::flow::Manager manager;
        ASSERT_TRUE(load_flow(manager, flow_text));
        game::flow::EntryDefinition* result = manager.ResolveExit(c.exit, manager.FindEntry(c.from));
        if (c.expected) {
            ASSERT_NE(result, nullptr) << c.exit;
            EXPECT_EQ(to_std(result->GetName()), c.expected);
            EXPECT_EQ(to_std(manager.GetCurrentEntryName()), c.expected);
        } else {
            EXPECT_EQ(result, nullptr) << c.exit;
        }
        if (c.diagnostic) {
            EXPECT_TRUE(fired(c.diagnostic)) << c.exit;
        }
    }
}

TEST_F(Flow, DollarTargetEmptiesTheQueueAndTheQueueGivesTheOldestFirst)
{
    game::flow::Manager manager;
    ASSERT_TRUE(load_flow(manager, flow_text));
    manager.EnterEntry(manager.FindEntry("Store"));
    manager.EnterEntry(manager.FindEntry("Game"));
    game::flow::EntryDefinition* oldest = manager.PopQueue();
    ASSERT_NE(oldest, nullptr);
    EXPECT_EQ(to_std(oldest->GetName()), "Store");
    manager.EnterEntry(manager.FindEntry("Store"));
    game::flow::EntryDefinition* result = manager.ResolveExit("Menu", manager.FindEntry("Game"));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(to_std(result->GetName()), "Menu");
    EXPECT_EQ(manager.GetQueueSize(), 0u);
}

TEST_F(Flow, BadFilesFailTheLoad)
{
    const char* const files[] = {
        R"(<Flow Start="A"><Entry Name="A"/><Entry Name="A"/></Flow>)",
        R"(<Flow Start="A"><Entry Name="A"><Screen/><Unknown/></Entry></Flow>)",
        R"(<Flow Begin="A"/>)",
    };
    for (const char* file : files) {
        game::flow::Manager manager;
        EXPECT_FALSE(load_flow(manager, file)) << file;
    }
    game::flow::Manager missing_start;
    ASSERT_TRUE(load_flow(missing_start, R"(<Flow Start="Nope"><Entry Name="A"/></Flow>)"));
    EXPECT_EQ(missing_start.Start(), nullptr);
    EXPECT_TRUE(fired("Couldn't locate start entry"));
}

TEST_F(Flow, SelectorsAndTriggersWithoutCreatorsOnlyReport)
{
    game::flow::Manager manager;
    ASSERT_TRUE(load_flow(manager, R"(<Flow Start="A"><Entry Name="A"><Selector Name="Pick"/></Entry>
        <Trigger Name="Watch"><Exit Name="Go" Entry="A"/></Trigger></Flow>)"));
    EXPECT_EQ(manager.Start(), nullptr);
    EXPECT_TRUE(fired("Selector factory couldn't create needed selector"));
    EXPECT_TRUE(fired("Trigger factory failed to create trigger"));
}

using Phrases = FrameworkTest;

TEST_F(Phrases, LooksUpLoadedPhrasesAndAnswersNotFoundOtherwise)
{
    game::TextServiceImpl service;
    auto stream = memory(R"(<Chapter Name="default" Locale="en">
        <Section Name="default"><Phrase Name="play" Value="Play"/></Section>
        <Section Name="default"><Phrase Name="back" Value="Back &#x00e9;"/></Section></Chapter>)");
    ASSERT_TRUE(service.Load(*stream));
    struct Case {
        const char* chapter;
        const char* section;
        const char* phrase;
        std::u16string expected;
        const char* diagnostic;
    };
    const Case cases[] = {
        {"default", "default", "play", u"Play", nullptr},
        {"default", "default", "back", u"Back \u00e9", nullptr}, // sections of one name merge
        {"default", "default", "quit", u"--- Not Found ---", "Phrase not found"},
        {"default", "menu", "play", u"--- Not Found ---", "Section not found"},
        {"other", "default", "play", u"--- Not Found ---", "Chapter not found"},
    };
    for (const Case& c : cases) {
        const vadu::WString& text = service.GetPhrase(c.chapter, c.section, c.phrase);
        EXPECT_EQ(std::u16string(text.data(), text.size()), c.expected) << c.phrase;
        if (c.diagnostic) {
            EXPECT_TRUE(fired(c.diagnostic));
        }
    }
    const vadu::WString& through_engine = vadu::lookup_text("default/default/play");
    EXPECT_EQ(std::u16string(through_engine.data(), through_engine.size()), u"Play");

    auto second = memory(R"(<Chapter Name="default"><Section Name="default"><Phrase Name="quit" Value="Quit"/></Section></Chapter>)");
    ASSERT_TRUE(service.Load(*second));
    EXPECT_EQ(&service.GetPhrase("default", "default", "play"), &game::TextServiceImpl::NotFound());
}

TEST_F(Phrases, MalformedFilesFail)
{
    const char* const files[] = {
        R"(<Chapter Name="c"><Section Name="s"><Phrase Name="a" Value="1"/><Phrase Name="a" Value="2"/></Section></Chapter>)",
        R"(<Chapter Name="c"><Section Name="s"><Phrase Value="1" Name="a"/></Section></Chapter>)",
        R"(<Chapter><Section Name="s"/></Chapter>)",
        R"(<Chapter Name="c"><Section Name="s"><Phrase Name="a" Value="1">)",
        R"(<Book Name="c"/>)",
    };
    for (const char* file : files) {
        game::TextServiceImpl service;
        auto stream = memory(file);
        EXPECT_FALSE(service.Load(*stream)) << file;
    }
}

using GameDescription = FrameworkTest;

TEST_F(GameDescription, RefusesBadDescriptionsWithTheirMessages)
{
    write("data/strings.xml", R"(<Chapter Name="default"><Section Name="default"/></Chapter>)");
    write("data/broken.xml", R"(<Chapter><Section/></Chapter>)");
    struct Case {
        const char* text;
        const char* message;
        const char* function;
    };
    const Case cases[] = {
        {R"(<Game><Window Width="960"/></Game>)", "Screen node in game properties should specify both width and height",
         "game::GameDefinition::OnNode"},
        {R"(<Game><Window Width="0" Height="640"/></Game>)",
         "Screen node in game properties should specify both width and height", "game::GameDefinition::OnNode"},
        {R"(<Game><Strings><Resource Path="data/broken.xml"/></Strings></Game>)", "Text service couldn't parse resource",
         "game::StringsDefinition::OnNode"},
        {R"(<Game><ScreenFlow><Resource Path="data/none.xml"/></ScreenFlow></Game>)", "load() failed",
         "game::flow::FlowDefinition::OnNode"},
        {R"(<Game><String><Resource Path="data/strings.xml"/></String></Game>)", "load() failed",
         "game::GameDefinition::Load"},
    };
    for (const Case& c : cases) {
        write("data/test.game", c.text);
        game::GameDefinition definition;
        try {
            definition.Load(path("data/test.game"));
            ADD_FAILURE() << "loaded: " << c.text;
        } catch (const vadu::Gluck& error) {
            EXPECT_EQ(to_std(error.get_description()), c.message) << c.text;
            EXPECT_EQ(to_std(error.get_function()), c.function) << c.text;
        }
    }
}

TEST_F(GameDescription, CreateRootMovesTheTextServiceAndRegistersTheDebugService)
{
    write("data/strings.xml", R"(<Chapter Name="default"><Section Name="default"><Phrase Name="play" Value="Play"/></Section></Chapter>)");
    write("data/test.game", R"(<Game><Window Width="960" Height="640"/><Strings><Resource Path="data/strings.xml"/></Strings>
        <Cursor><Resource Path="data/cursor/cursor"/></Cursor><Debug Activate="false"><Resource Path="data/debug.scene"/></Debug></Game>)");
    game::GameDefinition definition;
    definition.Load(path("data/test.game"));
    EXPECT_EQ(definition.GetWindowWidth(), 960u);
    EXPECT_EQ(to_std(definition.GetCursorPath().get_text()), "data/cursor/cursor");
    EXPECT_FALSE(definition.IsDebugActive());
    std::unique_ptr<game::Root> root = definition.CreateRoot(nullptr);
    EXPECT_EQ(definition.GetServices().GetServiceCount(), 0u);
    ASSERT_NE(root->Get<game::TextService>(), nullptr);
    EXPECT_NE(root->Get<game::DebugService>(), nullptr);
    EXPECT_EQ(root->GetFpsDisplay(), nullptr);
    const vadu::WString& text = root->Get<game::TextService>()->GetPhrase("default", "default", "play");
    EXPECT_EQ(std::u16string(text.data(), text.size()), u"Play");
}

TEST_F(GameDescription, DebugSceneOutlivesTheDescription)
{
    write("data/debug.scene", R"(<Scene><CameraParallel Name="Camera" Width="100" Height="100"/><Node Name="FPS"/></Scene>)");
    write("data/test.game", R"(<Game><Debug Activate="true"><Resource Path="data/debug.scene"/></Debug></Game>)");
    std::unique_ptr<game::Root> root;
    {
        game::GameDefinition definition;
        definition.Load(path("data/test.game"));
        root = definition.CreateRoot(nullptr);
    }
    ASSERT_NE(root->GetFpsDisplay(), nullptr);
    root->Update(1.0);
    render_fakes::FakeHardware hardware;
    vadu::lib3d::hard::RenderList list;
    root->GetFpsDisplay()->Render(hardware, list);
    EXPECT_EQ(to_std(root->GetFpsDisplay()->GetShownText()), "1");

    write("data/test.game", R"(<Game><Debug Activate="true"><Resource Path="data/missing.scene"/></Debug></Game>)");
    game::GameDefinition missing;
    missing.Load(path("data/test.game"));
    try {
        missing.CreateRoot(nullptr);
        FAIL() << "no error";
    } catch (const vadu::GluckBadResource& error) {
        EXPECT_EQ(to_std(error.get_description()), "Failed to load");
        EXPECT_EQ(to_std(error.get_function()), "game::GameDefinition::CreateRoot");
    }
}

} // namespace
