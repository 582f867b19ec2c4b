#include "sources/Screens/store_screen.h"

#include <cstdio>
#include <string>

#include "game/screen.h"
#include "game/text_service.h"

#include "sources/gameplay/node_helpers.h"
#include "sources/profile_manager.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/log.h"

std::u16string BoughtMessage(const std::u16string& phrase, const vadu::WString& offerText)
{
    // The offer's text is written for its button, in lines; the message has one line.
    std::u16string text;
    const char16_t* at = offerText.data();
    const char16_t* end = at + offerText.size();
    for (; at != end; ++at) {
        const bool escape = *at == u'\\' && at + 1 != end && (at[1] == u'n' || at[1] == u't');
        const bool control = *at == u'\n' || *at == u'\t' || *at == u'\r';
        if (escape || control) {
            if (!text.empty() && text.back() != u' ')
                text += u' ';
            at += escape ? 1 : 0;
            continue;
        }
        text += *at;
    }
    while (!text.empty() && text.back() == u' ')
        text.pop_back();
    std::u16string message = phrase;
    const size_t slot = message.find(u"%s");
    if (slot != std::u16string::npos)
        message.replace(slot, 2, text);
    return message;
}

float FitScale(float textWidth, float maxWidth)
{
    if (textWidth > maxWidth && textWidth > 0.0f)
        return maxWidth / textWidth;
    return 1.0f;
}

StoreScreen::StoreScreen() : MenuScreen("data/decorations/store.xml") {}

void StoreScreen::Init()
{
    for (int k = 1; k <= kOffers; ++k) {
        char name[16];
        std::snprintf(name, sizeof(name), "Button%d", k);
        char picture[32];
        std::snprintf(picture, sizeof(picture), "data/store/purchase%d", k);
        const vadu::Atom atom(name);
        if (ShowOffer(atom, picture, static_cast<size_t>(k - 1)))
            BindButton(atom, [this, atom] { OnBuy(atom); });
    }
    BindButton("ButtonBack", [this] { OnBack(); });
    BindButton("ButtonRestore", [] { PlayClick(); });
}

bool StoreScreen::ShowOffer(const vadu::Atom& name, const char* picture, size_t record)
{
    vadu::lib3d::node::Node* node = FindNode(name);
    const Purchase* purchase = StoreManager::Instance().GetPurchase(record);
    if (!purchase) {
        // A short catalogue: the offer is not shown rather than read past the end.
        game::controls::Button* button = GetButton(name);
        button->SetEnabled(false);
        if (node)
            node->set_visible(false);
        ReportMissing(record);
        return false;
    }
    if (!node)
        return true;
    if (vadu::lib3d::node::Sprite* sprite = gameplay::FindSprite(node, "Picture"))
        sprite->set_texture(picture, false);
    if (vadu::lib3d::node::Text* price = gameplay::FindText(node, "PriceText")) {
        price->set_text(purchase->price, false);
        vadu::lib3d::node::Node* limit = node->find_child("MaxWidth", true);
        if (limit) {
            const float scale = FitScale(price->get_width(purchase->price), limit->get_position().x);
            if (scale != 1.0f)
                price->set_scale({scale, scale, scale});
        }
    }
    if (vadu::lib3d::node::Text* text = gameplay::FindText(node, "PurchaseText"))
        text->set_text(purchase->text, true);
    return true;
}

void StoreScreen::ReportMissing(size_t record)
{
    if (reported)
        return;
    reported = true;
    vadu::logs::log() << "StoreScreen: the catalogue has no record " << static_cast<int>(record)
                      << "; the offers from there on are hidden\n";
}

void StoreScreen::OnBuy(const vadu::Atom& name)
{
    PlayClick();
    const vadu::String text = name.get_name();
    if (text.size() < 7)
        return;
    const int k = text.data()[6] - '1';
    if (k == 0) {
        PushScreen("Like");
        return;
    }
    if (const Purchase* purchase = StoreManager::Instance().GetPurchase(static_cast<size_t>(k))) {
        ApplyPurchase(purchase->identifier);
        ShowBought(*purchase);
    }
}

void StoreScreen::ShowBought(const Purchase& purchase)
{
    auto* message = dynamic_cast<vadu::lib3d::node::Text*>(FindNode("PurchaseMessage"));
    game::ScreenSite* site = GetSite();
    game::ServiceProvider* provider = site ? site->GetServiceProvider() : nullptr;
    game::TextService* texts = provider ? provider->Get<game::TextService>() : nullptr;
    if (!message || !texts)
        return;
    const vadu::WString& phrase = texts->GetPhrase("default", "default", "store_bought");
    const std::u16string text = BoughtMessage(std::u16string(phrase.data(), phrase.size()), purchase.text);
    message->set_text(vadu::WString(text.data(), text.data() + text.size()), false);
    message->set_visible(true);
}

void StoreScreen::ApplyPurchase(const vadu::String& identifier)
{
    const Purchase* purchase = StoreManager::Instance().FindPurchase(identifier);
    if (purchase)
        Grant(purchase->zenUnlock, purchase->points);
}

bool StoreScreen::Grant(bool zenUnlock, int32_t points)
{
    ProfileManager* profiles = ProfileManager::Instance();
    PlayerProfile* player = profiles ? profiles->current : nullptr;
    if (!player)
        return false;
    if (zenUnlock)
        player->zenUnlocked = 1;
    player->points = SaturatingAdd(player->points, points);
    // A purchase is kept at once: a crash before the level's end or the exit must not
    // take back what was bought.
    profiles->Save();
    return true;
}

void StoreScreen::OnBack()
{
    PlayClick();
    PushScreen("#Pop");
}

ZenStoreScreen::ZenStoreScreen() : StoreScreen("data/decorations/store.xml") {}

void ZenStoreScreen::Init()
{
    // The store's first picture is its social offer; the Zen mode has a picture of its own.
    SetupPurchaseButton("ButtonZenUnlock", "data/store/purchase7", kZenUnlockRecord, [this] { OnZenUnlock(); });
    SetupPurchaseButton("ButtonEndlessMana", "data/store/purchase6", kEndlessManaRecord, [this] { OnEndlessMana(); });
    BindButton("ButtonBack", [this] { OnBack(); });
    BindButton("ButtonRestore", [] { PlayClick(); });
}

void ZenStoreScreen::SetupPurchaseButton(const vadu::Atom& name, const char* picture, size_t record,
                                         std::function<void()> handler)
{
    if (ShowOffer(name, picture, record))
        BindButton(name, std::move(handler));
}

void ZenStoreScreen::OnZenUnlock()
{
    PlayClick();
    if (!Grant(true, 0))
        return;
    if (const Purchase* purchase = StoreManager::Instance().GetPurchase(kZenUnlockRecord))
        ShowBought(*purchase);
}

void ZenStoreScreen::OnEndlessMana()
{
    PlayClick();
    const Purchase* purchase = StoreManager::Instance().GetPurchase(kEndlessManaRecord);
    if (!Grant(true, purchase ? purchase->points : 0))
        return;
    if (purchase)
        ShowBought(*purchase);
}
