// The menu base and the small menu screens: social, game complete, store and zen store.

#include <gtest/gtest.h>

#include "menu_test_support.h"
#include "sources/Screens/simple_screens.h"
#include "sources/Screens/store_screen.h"
#include "game/text_service.h"
#include "sources/gameplay/actions.h"

namespace {

using menu_test::MenuTest;
using menu_test::to_std;

// The smallest menu: it binds one button and counts its updates.
class ProbeScreen : public MenuScreen {
public:
    ProbeScreen() : MenuScreen("Data/Decorations/Probe.XML") {}
    using MenuScreen::GetButton;
    using MenuScreen::GetSlider;
    int inits = 0;
    int updates = 0;

protected:
    void Init() override { ++inits; }
    void OnUpdate(double dt) override
    {
        ++updates;
        MenuScreen::OnUpdate(dt);
    }
};

TEST_F(MenuTest, TheBaseFindsControlsByTypeAndRunsNothingBeforeItsSetUp)
{
    button("playButton");
    slider("soundSlider");
    auto probe = std::make_unique<ProbeScreen>();
    EXPECT_EQ(to_std(probe->GetDecorationsPath().get_text()), "data/decorations/probe.xml");
    EXPECT_TRUE(probe->GetDecorationsPath().is_lower_case());
    ProbeScreen* screen_backend = probe.get();
    screen->SetBackend(std::move(probe));

    // An action that would move the node if the manager ran.
    vadu::lib3d::node::Node* moved = node("Moved");
    ActionManager::Global().RunAction(moved, new MoveAction(moved, 1.0f, {0, 0, 0}, {10, 0, 0}), "move");
    screen_backend->Update(0.5);
    EXPECT_EQ(screen_backend->updates, 0);
    EXPECT_EQ(moved->get_position().x, 0.0f);

    screen_backend->OnInitialized();
    EXPECT_EQ(screen_backend->inits, 1);
    screen_backend->Update(0.5);
    EXPECT_EQ(screen_backend->updates, 1);
    EXPECT_NEAR(moved->get_position().x, 5.0f, 1e-4f);

    EXPECT_NE(screen_backend->GetButton("playButton"), nullptr);
    EXPECT_NE(screen_backend->GetSlider("soundSlider"), nullptr);
    struct Case {
        std::function<void()> lookUp;
        const char* error;
    };
    for (const Case& c : {Case{[&] { screen_backend->GetButton("soundSlider"); }, "Unable to find key soundSlider"},
                          Case{[&] { screen_backend->GetSlider("playButton"); }, "Unable to find key playButton"},
                          Case{[&] { screen_backend->GetButton("nothing"); }, "Unable to find key nothing"}})
        EXPECT_EQ(gluck_of(c.lookUp), c.error);
}

TEST_F(MenuTest, DecorationsGoUnderADecorationsRootAtTheTopOnly)
{
    struct Case {
        const char* name;
        int depth; // of "DecorationsRoot"; -1 for none
        bool underRoot;
    };
    for (const Case& c : {Case{"a direct child", 1, false}, Case{"a grandchild", 2, true}, Case{"none", -1, true}}) {
        SCOPED_TRACE(c.name);
        SetUpScreen();
        vadu::lib3d::node::Node* target = nullptr;
        if (c.depth == 1)
            target = node("DecorationsRoot");
        else if (c.depth == 2)
            target = node("DecorationsRoot", node("Holder"));
        int loads = 0;
        MenuScreen::SetDecorationsLoader([&loads](const vadu::filesystem::String& path) {
            EXPECT_EQ(to_std(path.get_text()), "data/decorations/probe.xml");
            ++loads;
            return nullptr;
        });
        ProbeScreen* probe = attach(std::make_unique<ProbeScreen>());
        EXPECT_EQ(loads, 1);
        EXPECT_EQ(probe->GetDecorationsParent(), c.underRoot ? root : target);
    }
}

TEST_F(MenuTest, TheSocialScreenNeedsOnlyTwitterAndBackAndRunsNoActions)
{
    game::controls::Button* twitter = button("ButtonTwitter");
    game::controls::Button* back = button("ButtonBack");
    vadu::lib3d::node::Node* moved = node("Moved");
    LikeScreen* like = attach(std::make_unique<LikeScreen>());
    EXPECT_EQ(to_std(like->GetDecorationsPath().get_text()), "data/decorations/store.xml");
    click(twitter);
    EXPECT_TRUE(screens->requests.empty());
    click(back);
    EXPECT_EQ(sounds, (std::vector<std::string>{"click", "click"}));
    EXPECT_EQ(screens->requests, (std::vector<std::string>{"push #Pop"}));

    ActionManager::Global().RunAction(moved, new MoveAction(moved, 1.0f, {0, 0, 0}, {10, 0, 0}), "move");
    like->Update(0.5);
    EXPECT_EQ(moved->get_position().x, 0.0f);
}

TEST_F(MenuTest, TheSocialScreenWithoutTwitterStops)
{
    button("ButtonBack");
    button("ButtonRate");
    EXPECT_EQ(gluck_of([&] { attach(std::make_unique<LikeScreen>()); }), "Unable to find key ButtonTwitter");
}

TEST_F(MenuTest, GameCompleteShowsItsAnimationOnTheSecondUpdateAndLeavesSilently)
{
    game::controls::Button* fullscreen = button("FullscreenButton");
    vadu::lib3d::node::Node* anim = node("AnimRoot", node("Holder"));
    anim->set_visible(false);
    GameCompleteScreen* complete = attach(std::make_unique<GameCompleteScreen>());
    EXPECT_DOUBLE_EQ(complete->GetTime(), -0.001);
    complete->Update(0.016);
    EXPECT_FALSE(anim->is_visible());
    complete->Update(0.016);
    EXPECT_TRUE(anim->is_visible());
    click(fullscreen);
    EXPECT_EQ(screens->requests, (std::vector<std::string>{"change Exit"}));
    EXPECT_TRUE(sounds.empty());
}

// Seven purchases: record 5 gives endless mana, record 6 opens Zen.
constexpr const char* kCatalogue = R"(<Store>
  <Purchase Identifier="like" Price="Free" Points="0" Text="Like us"/>
  <Purchase Identifier="small" Price="0,99" Points="1000" Text="Small\npack"/>
  <Purchase Identifier="zenpack" Price="1,99" Points="5000" Text="Zen pack" ZenUnlock="true"/>
  <Purchase Identifier="big" Price="2,99" Points="20000" Text="Big"/>
  <Purchase Identifier="huge" Price="4,99" Points="50000" Text="Huge"/>
  <Purchase Identifier="endless" Price="9,99" Points="100000" Text="Endless mana"/>
  <Purchase Identifier="zen" Price="3,99" Points="7" Text="Zen mode" ZenUnlock="true"/>
</Store>)";

class StoreScreenTest : public MenuTest {
protected:
    void SetUp() override
    {
        MenuTest::SetUp();
        ProfileManager::Instance()->CreateProfile("Ann");
        player = ProfileManager::Instance()->current;
        ASSERT_NE(player, nullptr);
    }
    // An offer button with its four children.
    game::controls::Button* offer(const char* name)
    {
        vadu::lib3d::node::Node* holder = node(name);
        node("Picture", holder);
        text("PriceText", holder);
        node("MaxWidth", holder, 120.0f);
        text("PurchaseText", holder);
        return button(name);
    }
    PlayerProfile* player = nullptr;
};

TEST_F(StoreScreenTest, OffersGrantTheirRecordAndTheFirstOpensTheSocialScreen)
{
    WriteGameFile("data/store/store.xml", kCatalogue);
    for (const char* name : {"Button1", "Button2", "Button3", "Button4", "Button5", "Button6"})
        offer(name);
    game::controls::Button* restore = button("ButtonRestore");
    game::controls::Button* back = button("ButtonBack");
    attach(std::make_unique<StoreScreen>());
    EXPECT_EQ(text_of(find("Button2")->find_child("PriceText", true)), "0,99");
    // The description's escapes become a line break.
    EXPECT_EQ(text_of(find("Button2")->find_child("PurchaseText", true)), "Small\npack");

    click(control("Button3"));
    EXPECT_EQ(player->points, 5000);
    EXPECT_TRUE(player->zenUnlocked);
    click(control("Button2"));
    EXPECT_EQ(player->points, 6000);
    click(control("Button1"));
    EXPECT_EQ(player->points, 6000);
    click(restore);
    EXPECT_EQ(player->points, 6000);
    click(back);
    EXPECT_EQ(screens->requests, (std::vector<std::string>{"push Like", "push #Pop"}));
    EXPECT_EQ(sounds.size(), 5u);
}

// What was bought is on disk as soon as it is granted, before the level's end or the exit.
TEST_F(StoreScreenTest, EveryPurchaseIsOnDiskAtOnce)
{
    WriteGameFile("data/store/store.xml", kCatalogue);
    const struct {
        bool zenStore;
        const char* button;
        int32_t points;
        bool zen;
    } cases[] = {
        {false, "Button3", 5000, true},
        {false, "Button4", 20000, false},
        {true, "ButtonZenUnlock", 0, true},
        {true, "ButtonEndlessMana", 100000, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        player->points = 0;
        player->zenUnlocked = 0;
        ASSERT_TRUE(ProfileManager::Instance()->Save());
        SetUpScreen();
        if (c.zenStore) {
            offer("ButtonZenUnlock");
            offer("ButtonEndlessMana");
        } else {
            for (const char* name : {"Button1", "Button2", "Button3", "Button4", "Button5", "Button6"})
                offer(name);
        }
        button("ButtonRestore");
        button("ButtonBack");
        if (c.zenStore)
            attach(std::make_unique<ZenStoreScreen>());
        else
            attach(std::make_unique<StoreScreen>());
        click(control(c.button));

        PlayerProfile onDisk(0);
        ProfileMemoryStream stream(shell_data_test::ReadBytes(ProfileFile(0)));
        ASSERT_EQ(onDisk.Read(stream), PlayerProfile::ReadResult::Intact);
        EXPECT_EQ(onDisk.name, "Ann");
        EXPECT_EQ(onDisk.points, c.points);
        EXPECT_EQ(onDisk.zenUnlocked != 0, c.zen);
    }
}

TEST_F(StoreScreenTest, PointsSaturateInsteadOfWrappingAround)
{
    WriteGameFile("data/store/store.xml", kCatalogue);
    player->points = 2147483000;
    StoreScreen::ApplyPurchase("endless");
    EXPECT_EQ(player->points, 2147483647);
    // An identifier nobody has gives the first record.
    player->points = 10;
    StoreScreen::ApplyPurchase("unknown");
    EXPECT_EQ(player->points, 10);
}

TEST_F(StoreScreenTest, AShortCatalogueHidesTheOffersItLacks)
{
    WriteGameFile("data/store/store.xml", R"(<Store><Purchase Identifier="like"/><Purchase Identifier="a" Points="3"/></Store>)");
    for (const char* name : {"Button1", "Button2", "Button3", "Button4", "Button5", "Button6"})
        offer(name);
    button("ButtonRestore");
    button("ButtonBack");
    attach(std::make_unique<StoreScreen>());
    EXPECT_TRUE(find("Button2")->is_visible());
    EXPECT_TRUE(control("Button2")->IsEnabled());
    for (const char* name : {"Button3", "Button4", "Button5", "Button6"}) {
        EXPECT_FALSE(find(name)->is_visible()) << name;
        EXPECT_FALSE(control(name)->IsEnabled()) << name;
    }
    click(control("Button3"));
    EXPECT_EQ(player->points, 0);
    size_t reports = 0;
    for (size_t at = LogText().find("has no record"); at != std::string::npos; at = LogText().find("has no record", at + 1))
        ++reports;
    EXPECT_EQ(reports, 1u);
}

TEST_F(StoreScreenTest, TheZenStoreShowsRecordsSixAndFiveAndEndlessManaAddsEachTime)
{
    WriteGameFile("data/store/store.xml", kCatalogue);
    offer("ButtonZenUnlock");
    offer("ButtonEndlessMana");
    button("ButtonRestore");
    button("ButtonBack");
    attach(std::make_unique<ZenStoreScreen>());
    EXPECT_EQ(text_of(find("ButtonZenUnlock")->find_child("PriceText", true)), "3,99");
    EXPECT_EQ(text_of(find("ButtonEndlessMana")->find_child("PurchaseText", true)), "Endless mana");

    click(control("ButtonZenUnlock"));
    EXPECT_TRUE(player->zenUnlocked);
    EXPECT_EQ(player->points, 0) << "the zen unlock gives no points";
    player->zenUnlocked = 0;
    click(control("ButtonEndlessMana"));
    click(control("ButtonEndlessMana"));
    EXPECT_TRUE(player->zenUnlocked);
    EXPECT_EQ(player->points, 200000);
    EXPECT_TRUE(screens->requests.empty());
}

TEST_F(StoreScreenTest, AZenStoreWithoutRecordSixHidesThatOffer)
{
    WriteGameFile("data/store/store.xml", R"(<Store><Purchase/><Purchase/><Purchase/><Purchase/><Purchase/>
        <Purchase Identifier="endless" Points="100000"/></Store>)");
    offer("ButtonZenUnlock");
    offer("ButtonEndlessMana");
    button("ButtonRestore");
    button("ButtonBack");
    attach(std::make_unique<ZenStoreScreen>());
    EXPECT_FALSE(control("ButtonZenUnlock")->IsEnabled());
    EXPECT_TRUE(control("ButtonEndlessMana")->IsEnabled());
    click(control("ButtonZenUnlock"));
    EXPECT_FALSE(player->zenUnlocked);
}

class StorePhrases : public game::TextService {
public:
    bool Load(vadu::Stream&) override { return true; }
    const vadu::WString& GetPhrase(const vadu::Atom&, const vadu::Atom&, const vadu::Atom& phrase) override
    {
        static const vadu::WString bought(u"Bought: %s");
        static const vadu::WString none(u"");
        return phrase == vadu::Atom("store_bought") ? bought : none;
    }
};

// A purchase says under the offers what was bought, on one line; the social offer buys
// nothing and says nothing.
TEST_F(StoreScreenTest, APurchaseSaysWhatWasBought)
{
    provider->Register<game::TextService>(std::make_unique<StorePhrases>());
    WriteGameFile("data/store/store.xml", kCatalogue);
    for (const char* name : {"Button1", "Button2", "Button3", "Button4", "Button5", "Button6"})
        offer(name);
    button("ButtonRestore");
    button("ButtonBack");
    vadu::lib3d::node::Text* message = text("PurchaseMessage");
    message->set_visible(false);
    attach(std::make_unique<StoreScreen>());

    click(control("Button1"));
    EXPECT_FALSE(message->is_visible());
    click(control("Button2"));
    EXPECT_TRUE(message->is_visible());
    EXPECT_EQ(text_of(message), "Bought: Small pack");
    click(control("Button6"));
    EXPECT_EQ(text_of(message), "Bought: Endless mana");
}

TEST_F(StoreScreenTest, TheZenStoreSaysWhatWasBought)
{
    provider->Register<game::TextService>(std::make_unique<StorePhrases>());
    WriteGameFile("data/store/store.xml", kCatalogue);
    offer("ButtonZenUnlock");
    offer("ButtonEndlessMana");
    button("ButtonRestore");
    button("ButtonBack");
    vadu::lib3d::node::Text* message = text("PurchaseMessage");
    message->set_visible(false);
    attach(std::make_unique<ZenStoreScreen>());

    click(control("ButtonZenUnlock"));
    EXPECT_TRUE(message->is_visible());
    EXPECT_EQ(text_of(message), "Bought: Zen mode");
    click(control("ButtonEndlessMana"));
    EXPECT_EQ(text_of(message), "Bought: Endless mana");
}

TEST(StoreLayout, TheBoughtMessageKeepsTheOffersTextOnOneLine)
{
    struct Case {
        const char16_t* phrase;
        const char16_t* offer;
        const char16_t* message;
    };
    int number = 0;
    for (const Case& c : {Case{u"Bought: %s", u"A bag\\nof mana", u"Bought: A bag of mana"},
                          Case{u"Bought: %s", u"A bag\nof\tmana", u"Bought: A bag of mana"},
                          Case{u"Bought: %s", u"Zen\\n", u"Bought: Zen"},
                          Case{u"%s, bought", u"Zen", u"Zen, bought"},
                          Case{u"Thank you", u"Zen", u"Thank you"}}) {
        const std::u16string offer(c.offer);
        EXPECT_TRUE(BoughtMessage(c.phrase, vadu::WString(offer.data(), offer.data() + offer.size())) == c.message)
            << "case " << number;
        ++number;
    }
}

TEST(StoreLayout, PricesShrinkUniformlyToTheirMaximumWidth)
{
    struct Case {
        float width, max, scale;
    };
    for (const Case& c : {Case{100.0f, 120.0f, 1.0f}, Case{120.0f, 120.0f, 1.0f}, Case{240.0f, 120.0f, 0.5f},
                          Case{0.0f, 0.0f, 1.0f}})
        EXPECT_FLOAT_EQ(FitScale(c.width, c.max), c.scale) << c.width << " in " << c.max;
}

} // namespace
