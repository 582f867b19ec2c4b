#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/observed_value.h"
#include "sources/gameplay/shell_services.h"
#include "support/fake_gameplay.h"

namespace {

using gameplay::ShellServices;

TEST(ShellServices, DefaultServesTheProgramUntilReplaced)
{
    ShellServices::ResetForTests();
    ShellServices& shell = ShellServices::Get();
    EXPECT_EQ(shell.GetScale(), 1.0f);
    EXPECT_EQ(shell.GetFieldSize().x, 960.0f);
    EXPECT_EQ(shell.GetFieldSize().y, 640.0f);
    EXPECT_EQ(shell.GetWideMargin(), 0.0f);
    EXPECT_EQ(shell.GetPoints(), 0);
    EXPECT_EQ(shell.CurrentLevel(), nullptr);
    shell.SetPoints(40);
    EXPECT_EQ(ShellServices::Get().GetPoints(), 40);

    auto& defaults = dynamic_cast<gameplay::DefaultShellServices&>(shell);
    shell.RaisePause();
    shell.LowerPause();
    shell.LowerPause();
    EXPECT_EQ(defaults.GetPauseCount(), 0);

    {
        gameplay_fakes::FakeShell fake;
        EXPECT_EQ(&ShellServices::Get(), &fake);
        ShellServices::Get().Play(gameplay::SoundId::BubblePop);
        EXPECT_EQ(fake.sounds, (std::vector<gameplay::SoundId>{gameplay::SoundId::BubblePop}));
    }
    EXPECT_EQ(&ShellServices::Get(), &shell);
    ShellServices::ResetForTests();
    EXPECT_EQ(ShellServices::Get().GetPoints(), 0);
}

TEST(ShellServices, DefaultLevelListKeepsTheBestWinningScore)
{
    gameplay::DefaultShellServices shell;
    gameplay::LevelProfile level;
    shell.RecordResult(level, 500, true);
    shell.RecordResult(level, 900, false);
    shell.RecordResult(level, 300, true);
    EXPECT_EQ(level.bestScore, 500);
    EXPECT_EQ(shell.GetLevelScore(level), 500);
}

TEST(InstanceRegistry, OneSlotPerTypeAndOnlyItsHolderEmptiesIt)
{
    gameplay::InstanceRegistry::ResetForTests();
    int first = 1;
    int second = 2;
    EXPECT_EQ(gameplay::InstanceRegistry::Get<int>(), nullptr);
    gameplay::InstanceRegistry::Register(&first);
    gameplay::InstanceRegistry::Register(&second);
    EXPECT_EQ(gameplay::InstanceRegistry::Get<int>(), &second);
    gameplay::InstanceRegistry::Unregister(&first);
    EXPECT_EQ(gameplay::InstanceRegistry::Get<int>(), &second);
    gameplay::InstanceRegistry::Unregister(&second);
    EXPECT_EQ(gameplay::InstanceRegistry::Get<int>(), nullptr);
}

TEST(ObservedValue, TellsOnlyRealChanges)
{
    gameplay::ObservedValue<int> value(3);
    std::vector<int> seen;
    value.Changed.Connect([&](const int& v) { seen.push_back(v); });
    value.Set(3);
    value.Set(4);
    value.Set(4);
    value.Set(1);
    EXPECT_EQ(seen, (std::vector<int>{4, 1}));
    EXPECT_EQ(value.Get(), 1);
}

} // namespace
