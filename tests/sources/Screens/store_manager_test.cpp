// The store catalogue: reading the purchases and finding one by identifier.

#include <gtest/gtest.h>

#include <limits>

#include "menu_test_support.h"
#include "sources/Screens/store_manager.h"

namespace {

using menu_test::MenuTest;
using menu_test::to_std;

class StoreCatalogueTest : public MenuTest {
protected:
    StoreManager load(const std::string& text)
    {
        WriteGameFile("data/store/store.xml", text);
        return StoreManager(vadu::filesystem::String("data/store/store.xml", true));
    }
};

TEST_F(StoreCatalogueTest, ReadsEveryPurchaseInFileOrderWithItsFields)
{
    const StoreManager store = load(R"(<Store>
        <Purchase Identifier="like" Price="Free" Points="0" Text="Tell\na friend"/>
        <Note Identifier="ignored"/>
        <Purchase Identifier="zen" Price="2,99 €" Points="500" Text="Zen" ZenUnlock="true"/>
        <Purchase Identifier="big" Price="9" Text="No points"/>
        <Purchase Identifier="t1" ZenUnlock="True" Points="-5"/>
        <Purchase Identifier="t2" ZenUnlock="1" Points="12abc"/>
    </Store>)");
    ASSERT_EQ(store.purchases.size(), 5u);
    EXPECT_EQ(to_std(store.purchases[0].identifier), "like");
    EXPECT_EQ(store.purchases[0].text.size(), 14u);
    EXPECT_EQ(store.purchases[1].points, 500);
    EXPECT_TRUE(store.purchases[1].zenUnlock);
    EXPECT_EQ(store.purchases[1].price, vadu::WString(u"2,99 €"));
    EXPECT_EQ(store.purchases[2].points, 0) << "missing Points";
    struct Case {
        size_t index;
        bool zen;
        int32_t points;
    };
    // Only the exact "true" opens Zen mode.
    for (const Case& c : {Case{3, false, -5}, Case{4, false, 12}}) {
        EXPECT_EQ(store.purchases[c.index].zenUnlock, c.zen) << c.index;
        EXPECT_EQ(store.purchases[c.index].points, c.points) << c.index;
    }
    EXPECT_FALSE(store.flag);
}

TEST_F(StoreCatalogueTest, FindPurchaseMatchesBytesExactlyAndFallsBackToTheFirst)
{
    const StoreManager store = load(R"(<Store>
        <Purchase Identifier="pack" Points="1"/>
        <Purchase Identifier="Pack" Points="2"/>
        <Purchase Identifier="pack2" Points="3"/>
        <Purchase Identifier="Pack" Points="4"/>
    </Store>)");
    struct Case {
        const char* identifier;
        int32_t points;
    };
    for (const Case& c : {Case{"pack", 1}, Case{"Pack", 2}, Case{"pack2", 3}, Case{"pac", 1}, Case{"", 1},
                          Case{"PACK", 1}}) {
        const Purchase* found = store.FindPurchase(c.identifier);
        ASSERT_NE(found, nullptr) << c.identifier;
        EXPECT_EQ(found->points, c.points) << c.identifier;
    }
}

TEST_F(StoreCatalogueTest, EmptyMissingOrBrokenCataloguesHaveNothingToFind)
{
    for (const char* text : {"<Store/>", "<Store><Purchase", ""}) {
        const StoreManager store = load(text);
        EXPECT_TRUE(store.purchases.empty()) << text;
        EXPECT_EQ(store.FindPurchase("x"), nullptr) << text;
        EXPECT_EQ(store.GetPurchase(0), nullptr) << text;
    }
    const StoreManager missing(vadu::filesystem::String("data/store/none.xml", true));
    EXPECT_EQ(missing.FindPurchase("x"), nullptr);
}

TEST(StorePoints, SaturatingAddHoldsTheIntRange)
{
    constexpr int32_t top = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(SaturatingAdd(100000, 100000), 200000);
    EXPECT_EQ(SaturatingAdd(top - 5, 100000), top);
    EXPECT_EQ(SaturatingAdd(std::numeric_limits<int32_t>::min(), -1), std::numeric_limits<int32_t>::min());
}

} // namespace
