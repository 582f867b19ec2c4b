#include <gtest/gtest.h>

#include <string>

#include "gameplay_test_support.h"
#include "sources/gameplay/balance.h"
#include "vadu/property_list.h"
#include "vadu/xml_reader.h"

namespace {

struct BalanceCase {
    const char* name;
    const char* file; // null: no file at all
    int values[6];
};

class BalanceFile : public gameplay_test::GameplayTest, public ::testing::WithParamInterface<BalanceCase> {
protected:
    ~BalanceFile() override { gameplay::Balance::ResetForTests(); }
};

TEST_P(BalanceFile, ReadsWhatItCan)
{
    const BalanceCase& c = GetParam();
    if (c.file != nullptr)
        write("data/balance.xml", c.file);
    gameplay::Balance::ResetForTests();
    const gameplay::Balance& b = gameplay::Balance::Instance();
    const int got[6] = {b.ManaPerMonsterTap, b.ManaPerMonsterTapInRedZone, b.ManaPerFishTap,
                        b.MoneybagsScore, b.EpicfailScore, b.ZenPrice};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(got[i], c.values[i]) << "value " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BalanceFile,
    ::testing::Values(
        BalanceCase{"NoFile", nullptr, {2, 1, 5, 50000, 15000, 500000}},
        BalanceCase{"EmptyRoot", "<Balance/>", {2, 1, 5, 50000, 15000, 500000}},
        BalanceCase{"OneKey",
                    "<Balance><Property Name=\"ManaPerFishTap\" Value=\"7\"/></Balance>",
                    {2, 1, 7, 50000, 15000, 500000}},
        BalanceCase{"Truncated",
                    "<Balance><Property Name=\"ManaPerMonsterTap\" Value=\"3.9\"/>"
                    "<Property Name=\"ZenPrice\" Value=\"-2.7\"/><Property Name=\"Other\" Value=\"1\"/></Balance>",
                    {3, 1, 5, 50000, 15000, -2}},
        BalanceCase{"AllKeys",
                    "<Balance><Property Name=\"ManaPerMonsterTap\" Value=\"4\"/>"
                    "<Property Name=\"ManaPerMonsterTapInRedZone\" Value=\"3\"/>"
                    "<Property Name=\"ManaPerFishTap\" Value=\"9\"/>"
                    "<Property Name=\"MoneybagsScore\" Value=\"10\"/>"
                    "<Property Name=\"EpicfailScore\" Value=\"20\"/>"
                    "<Property Name=\"ZenPrice\" Value=\"30\"/></Balance>",
                    {4, 3, 9, 10, 20, 30}},
        BalanceCase{"WrongRoot",
                    "<Tuning><Property Name=\"ManaPerFishTap\" Value=\"7\"/></Tuning>",
                    {2, 1, 5, 50000, 15000, 500000}},
        BalanceCase{"NotWellFormed",
                    "<Balance><Property Name=\"ManaPerFishTap\" Value=\"7\">",
                    {2, 1, 5, 50000, 15000, 500000}}),
    [](const ::testing::TestParamInfo<BalanceCase>& info) { return std::string(info.param.name); });

TEST_F(BalanceFile, ShippedFileHoldsTheDefaults)
{
    const vadu::filesystem::String path(QUILLO_DATA_SOURCE "/balance.xml", false);
    // The defaults below prove nothing unless the file really parses.
    std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
    ASSERT_NE(stream, nullptr);
    vadu::xml::PropertyList list;
    vadu::xml::StreamResource resource(stream.get(), path);
    vadu::xml::Root root(list, "Balance");
    ASSERT_TRUE(resource.load(root));
    EXPECT_EQ(list.get_int(vadu::Atom("ZenPrice"), 0), 500000);
    const gameplay::Balance shipped(path);
    const gameplay::Balance defaults(vadu::filesystem::String("missing/balance.xml", true));
    EXPECT_EQ(shipped.ManaPerMonsterTap, defaults.ManaPerMonsterTap);
    EXPECT_EQ(shipped.ManaPerMonsterTapInRedZone, defaults.ManaPerMonsterTapInRedZone);
    EXPECT_EQ(shipped.ManaPerFishTap, defaults.ManaPerFishTap);
    EXPECT_EQ(shipped.MoneybagsScore, defaults.MoneybagsScore);
    EXPECT_EQ(shipped.EpicfailScore, defaults.EpicfailScore);
    EXPECT_EQ(shipped.ZenPrice, defaults.ZenPrice);
    EXPECT_EQ(shipped.ZenPrice, 500000);
}

} // namespace
