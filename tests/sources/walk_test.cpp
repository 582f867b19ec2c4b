// The game as a player walks it: the real program run headless through the scripted walks
// of tests/sources/walks/ (sources/walk.h), every snapshot compared with
// golden/walk/<name>.png, then what the runs leave in the per-user folder, what they played
// and what they logged. Regenerate with QUILLO_UPDATE_GOLDEN=1 (in the optimised test build,
// build/release-tests, where the whole-game walks run).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <zip.h>

#include "sources/walk.h"
#include "support/golden.h"
#include "support/temp_folder.h"

namespace walk_test_file {

namespace fs = std::filesystem;

std::string quoted(const std::string& text)
{
    return test_support::shell_quoted(text);
}

fs::path source_folder()
{
    return fs::path(__FILE__).parent_path();
}

std::string read_file(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct WalkRun {
    int status = -1;
    std::string log;    // the engine's log (stdout)
    std::string errors; // stderr: the walk's lines
};

// The program, headless on a 960 x 640 desktop, with the per-user folder under `home`.
WalkRun run_walk(const test_support::TempFolder& folder, const std::string& script, const std::string& extra = "",
                 const std::string& program = std::string(QUILLO_PROGRAM_FOLDER) + "/quillo")
{
    const std::string out = folder.at("out.txt");
    const std::string err = folder.at("err.txt");
    const std::string command = "env -u QUILLO_FIXED_STEP -u QUILLO_SNAPSHOTS -u QUILLO_FRAMES QUILLO_HEADLESS=1"
                                " QUILLO_DESKTOP=960x640 QUILLO_WALK=" + quoted(script) +
                                " QUILLO_WALK_GOLDEN=" + quoted((source_folder() / "golden" / "walk").string()) +
                                " XDG_DATA_HOME=" + quoted(folder.at("home")) + " " + extra + " " +
                                quoted(program) + " > " + quoted(out) +
                                " 2> " + quoted(err);
    WalkRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.log = read_file(out);
    run.errors = read_file(err);
    return run;
}

// The program without its data/ in a folder of its own (the executable's folder is where
// the game looks for data.pak and data/).
std::string copy_program(const fs::path& target)
{
    const fs::path program = QUILLO_PROGRAM_FOLDER;
    fs::create_directories(target);
    fs::copy_file(program / "quillo", target / "quillo");
    fs::copy_file(program / "starter.ini", target / "starter.ini");
    return (target / "quillo").string();
}

// data/ packed into target/data.pak, every member under its "data/..." name.
bool pack_data(const fs::path& target)
{
    int error = 0;
    zip_t* archive = zip_open((target / "data.pak").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    const fs::path program = QUILLO_PROGRAM_FOLDER;
    bool ok = true;
    for (const auto& entry : fs::recursive_directory_iterator(program / "data")) {
        if (!entry.is_regular_file())
            continue;
        const std::string name = fs::relative(entry.path(), program).generic_string();
        zip_source_t* source = zip_source_file(archive, entry.path().c_str(), 0, -1);
        if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            ok = false;
        }
    }
    return zip_close(archive) == 0 && ok;
}

// The presented frame's number when the step of that text was done.
long presented_at(const std::string& errors, const std::string& step)
{
    const std::regex line("done: " + step + " \\(game frame [0-9]+, presented frame ([0-9]+)");
    std::smatch match;
    return std::regex_search(errors, match, line) ? std::stol(match[1]) : -1;
}

// The 16-bit samples of a PCM WAV file (both channels interleaved).
std::vector<int16_t> wav_samples(const fs::path& path)
{
    const std::string bytes = read_file(path);
    std::vector<int16_t> samples;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (bytes.compare(at, 4, "data") == 0) {
            const size_t count = std::min<size_t>(size, bytes.size() - at - 8) / 2;
            samples.resize(count);
            std::memcpy(samples.data(), bytes.data() + at + 8, count * 2);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return samples;
}

// Loudness over the frames [first, last): the capture runs on the game clock, one
// presented frame to 1/60 s of 22050 Hz stereo.
double rms(const std::vector<int16_t>& samples, long first, long last)
{
    const auto sample = [](long frame) { return static_cast<size_t>(frame * 22050 / 60) * 2; };
    double sum = 0.0;
    size_t count = 0;
    for (size_t i = sample(first); i < sample(last) && i < samples.size(); ++i, ++count)
        sum += double(samples[i]) * samples[i];
    return count ? std::sqrt(sum / count) : 0.0;
}

// The whole-game walks take about a minute each under the sanitizers; they compare
// pictures, which do not depend on the build, so they are played in the optimised test
// build (every golden test runs there). Under the sanitizers the start of the game is
// walked instead (TheStartPlaysTheSameFromTheDataArchive).
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_WHOLE_GAME_WALK_UNDER_SANITIZERS() GTEST_SKIP() << "the whole-game walk is played in the optimised test build"
#else
#define SKIP_WHOLE_GAME_WALK_UNDER_SANITIZERS() (void)0
#endif

fs::path user_folder(const test_support::TempFolder& folder)
{
    return fs::path(folder.at("home")) / "Kembra Entertainment" / "Quillo Tovra";
}

// The first run over an empty per-user folder, from the splash to the quit question: the
// profile created, level 1 played, its achievement typed. What it saves is the fixture the
// second run starts from.
TEST(WalkGolden, TheFirstRunPlaysFromTheSplashToTheQuitBox)
{
    SKIP_WHOLE_GAME_WALK_UNDER_SANITIZERS();
    test_support::TempFolder folder("quillo-walk");
    ASSERT_FALSE(folder.root().empty());
    const fs::path walks = source_folder() / "walks";
    const std::string capture = folder.at("audio.wav");

    const WalkRun first = run_walk(folder, (walks / "game.walk").string(), "QUILLO_AUDIO_CAPTURE=" + quoted(capture));
    // WinMain's 2000000000 after the quit question answered yes: status 0.
    ASSERT_EQ(first.status, 0) << first.errors;
    EXPECT_EQ(first.errors.find("walk failed"), std::string::npos) << first.errors;

    const fs::path user = user_folder(folder);
    const fs::path fixture = source_folder() / "golden" / "walk_profile0.dat";
    const std::string profile = read_file(user / "profile0.dat");
    ASSERT_FALSE(profile.empty());
    if (golden::updating())
        std::ofstream(fixture, std::ios::binary) << profile;
    EXPECT_EQ(profile, read_file(fixture)) << "profile0.dat differs from " << fixture;
    // The current player's index.
    EXPECT_EQ(read_file(user / "settings.dat"), std::string(4, '\0'));

    // The menu's music plays, and the click on Play rises above it.
    const std::vector<int16_t> samples = wav_samples(capture);
    const long play = presented_at(first.errors, "click 480 280");
    ASSERT_GT(play, 30);
    const double music = rms(samples, play - 30, play);
    const double click = rms(samples, play, play + 10);
    EXPECT_GT(music, 300.0);
    EXPECT_GT(click, music * 1.2) << "music " << music << ", with the click " << click;
    // The tap that wins the level starts several effects together over the music (the
    // group's, the collected monsters', the level's end): nothing in the whole run reaches
    // full scale, where it would be heard as distortion.
    const long tap = presented_at(first.errors, "click 727 605");
    ASSERT_GT(tap, 0);
    EXPECT_GT(rms(samples, tap, tap + 30), music);
    const auto clipped = std::count_if(samples.begin(), samples.end(), [](int16_t s) { return s >= 32767 || s <= -32767; });
    EXPECT_EQ(clipped, 0);

    for (const char* bad : {"Failed to load", "load() failed", "Gluck", "failed to load", "not found"})
        EXPECT_EQ(first.log.find(bad), std::string::npos) << bad;
}

// The second run over what the first one saved (the first run checks that it saves exactly
// this profile and these settings): no create window, "Player" welcomed, the achievement
// typed in the first run shown in colour.
TEST(WalkGolden, TheSecondRunWelcomesTheFirstRunsPlayer)
{
    SKIP_WHOLE_GAME_WALK_UNDER_SANITIZERS();
    test_support::TempFolder folder("quillo-walk-second");
    ASSERT_FALSE(folder.root().empty());
    const fs::path user = user_folder(folder);
    fs::create_directories(user);
    fs::copy_file(source_folder() / "golden" / "walk_profile0.dat", user / "profile0.dat");
    std::ofstream(user / "settings.dat", std::ios::binary) << std::string(4, '\0');

    const WalkRun second = run_walk(folder, (source_folder() / "walks" / "second_run.walk").string());
    ASSERT_EQ(second.status, 0) << second.errors;
    EXPECT_EQ(second.errors.find("walk failed"), std::string::npos) << second.errors;
    for (const char* bad : {"Failed to load", "load() failed", "Gluck"})
        EXPECT_EQ(second.log.find(bad), std::string::npos) << bad;
}

struct DoneStep {
    int line = 0;
    std::string step;
    long game_frame = 0;
    std::string screen;
};

// The walk's "done" lines in the order the steps finished.
std::vector<DoneStep> done_steps(const std::string& errors)
{
    const std::regex line("walk line ([0-9]+) done: (.*) \\(game frame ([0-9]+), presented frame [0-9]+, screen ([A-Za-z]+)\\)");
    std::vector<DoneStep> steps;
    for (auto it = std::sregex_iterator(errors.begin(), errors.end(), line); it != std::sregex_iterator(); ++it)
        steps.push_back({std::stoi((*it)[1]), (*it)[2], std::stol((*it)[3]), (*it)[4]});
    return steps;
}

// Every menu screen of a first run, each compared with its golden frame: the name asked
// for, the profile list, the main menu and its sound window and panels, the social screen,
// the leaderboards, the achievements, the store and what it grants, the credits, Zen
// mode's level map and store, the Standard level map opened by its keyboard code, and the
// game-complete screen reached by winning level 1 with every other level done.
TEST(WalkGolden, EveryMenuScreenAsANewPlayerMeetsIt)
{
    SKIP_WHOLE_GAME_WALK_UNDER_SANITIZERS();
    test_support::TempFolder folder("quillo-walk-menus");
    ASSERT_FALSE(folder.root().empty());
    const WalkRun run = run_walk(folder, (source_folder() / "walks" / "menus.walk").string());
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors.find("walk failed"), std::string::npos) << run.errors;
    for (const char* bad : {"Failed to load", "load() failed", "Gluck", "not found"})
        EXPECT_EQ(run.log.find(bad), std::string::npos) << bad;

    const std::vector<DoneStep> steps = done_steps(run.errors);
    std::vector<std::string> reached;
    for (const DoneStep& step : steps) {
        if (step.step.rfind("screen ", 0) == 0)
            reached.push_back(step.step.substr(7));
    }
    for (const char* screen : {"SplashScreen", "LoadingScreen", "MainMenuScreen", "LikeScreen", "LeaderboardsScreen",
                               "AchievementsScreen", "StoreScreen", "CreditsScreen", "LevelSelectScreen",
                               "ZenStoreScreen", "GameScreen", "GameCompleteScreen"})
        EXPECT_NE(std::find(reached.begin(), reached.end(), screen), reached.end()) << screen << " never reached";

    // The game-complete screen leaves on the first click, made where the pointer already
    // rested after the finish window's button: the main menu follows within a few frames.
    const auto complete = std::find_if(steps.begin(), steps.end(),
                                       [](const DoneStep& step) { return step.step == "screen GameCompleteScreen"; });
    ASSERT_NE(complete, steps.end());
    const auto click = std::find_if(complete, steps.end(), [](const DoneStep& step) { return step.step == "click 360 440"; });
    ASSERT_NE(click, steps.end());
    const auto menu = std::find_if(click, steps.end(), [](const DoneStep& step) { return step.step == "screen MainMenuScreen"; });
    ASSERT_NE(menu, steps.end());
    EXPECT_LE(menu->game_frame - click->game_frame, 5) << "the first click on the game-complete screen was not taken";
}

// The start of the first run, up to the main menu, with the data only in data.pak: the same
// frames.
TEST(WalkGolden, TheStartPlaysTheSameFromTheDataArchive)
{
    test_support::TempFolder folder("quillo-walk-pak");
    ASSERT_FALSE(folder.root().empty());
    const fs::path installed = folder.at("program");
    const std::string program = copy_program(installed);
    ASSERT_TRUE(pack_data(installed));
    ASSERT_FALSE(fs::exists(installed / "data"));

    // game.walk up to the main menu's first snapshot.
    const std::string walk = read_file(source_folder() / "walks" / "game.walk");
    const size_t menu = walk.find("snapshot menu_first");
    ASSERT_NE(menu, std::string::npos);
    const std::string script = folder.at("start.walk");
    std::ofstream(script) << walk.substr(0, walk.find('\n', menu) + 1) << "stop\n";

    const WalkRun run = run_walk(folder, script, "QUILLO_UPDATE_GOLDEN=0", program);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("done: snapshot menu_first"), std::string::npos) << run.errors;
    for (const char* bad : {"Failed to load", "load() failed", "Gluck"})
        EXPECT_EQ(run.log.find(bad), std::string::npos) << bad;
}

// The first run's walk, every third presented frame written (both parities of frames the
// device alternates between), once with the strips whose draws did not change kept and
// once with every strip drawn again: the same frames, byte for byte.
TEST(WalkGolden, KeptStripsDrawEveryFrameOfTheWalkAsDrawingEverything)
{
    SKIP_WHOLE_GAME_WALK_UNDER_SANITIZERS();
    std::vector<std::string> names[2];
    test_support::TempFolder frames("quillo-walk-frames");
    ASSERT_FALSE(frames.root().empty());
    for (int keep = 0; keep < 2; ++keep) {
        test_support::TempFolder folder("quillo-walk-keep");
        ASSERT_FALSE(folder.root().empty());
        const std::string snapshots = frames.at(keep ? "kept" : "drawn");
        const WalkRun run = run_walk(folder, (source_folder() / "walks" / "game.walk").string(),
                                     "QUILLO_UPDATE_GOLDEN=0 QUILLO_KEEP_STRIPS=" + std::to_string(keep) +
                                         " QUILLO_SNAPSHOT_EVERY=3 QUILLO_SNAPSHOTS=" + quoted(snapshots));
        ASSERT_EQ(run.status, 0) << run.errors;
        for (const auto& entry : fs::directory_iterator(snapshots))
            names[keep].push_back(entry.path().filename().string());
        std::sort(names[keep].begin(), names[keep].end());
    }
    ASSERT_GT(names[0].size(), 200u);
    ASSERT_EQ(names[0], names[1]);
    int differing = 0;
    for (const std::string& name : names[0]) {
        if (read_file(frames.root() / "drawn" / name) != read_file(frames.root() / "kept" / name) && ++differing <= 5)
            ADD_FAILURE() << name << " differs";
    }
    EXPECT_EQ(differing, 0);
}

// A walk that cannot go on ends the program with status 4 and says why.
TEST(WalkGolden, AFailedWalkEndsTheRunWithStatusFour)
{
    struct Case {
        const char* what;
        const char* script;
        const char* reason;
    };
    const Case cases[] = {
        {"an unknown step", "screen SplashScreen\njump 3\n", "unknown step"},
        {"a snapshot without its golden picture", "screen SplashScreen\nsnapshot no_such_picture\n",
         "no_such_picture.png"},
        {"a run that ends first", "screen SplashScreen\nanswer yes\nclose\nframes 100\n", "ended before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test_support::TempFolder folder("quillo-walk-fail");
        ASSERT_FALSE(folder.root().empty());
        const std::string script = folder.at("bad.walk");
        std::ofstream(script) << c.script;
        // Never written, even when regenerating.
        const WalkRun run = run_walk(folder, script, "QUILLO_UPDATE_GOLDEN=0");
        EXPECT_EQ(run.status, 4) << run.errors;
        EXPECT_NE(run.errors.find("walk failed"), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find(c.reason), std::string::npos) << run.errors;
    }
}

// QUILLO_WALK naming a folder or a missing file starts no walk: the start fails (the
// program ends with status 4) with one line that names what was given.
TEST(Walk, AFolderOrAMissingFileIsNoScript)
{
    test_support::TempFolder folder("quillo-walk-folder");
    ASSERT_FALSE(folder.root().empty());
    struct Case {
        std::string path;
        const char* said;
    } const cases[] = {{folder.root().string(), "is a folder, not a walk script"},
                       {folder.at("missing.walk"), "cannot read the script"}};
    for (const Case& c : cases) {
        setenv("QUILLO_WALK", c.path.c_str(), 1);
        testing::internal::CaptureStderr();
        const bool started = Walk::StartFromEnvironment();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(started) << c.path;
        EXPECT_EQ(Walk::Active(), nullptr) << c.path;
        EXPECT_NE(said.find("walk failed"), std::string::npos) << said;
        EXPECT_NE(said.find("\"" + c.path + "\""), std::string::npos) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        Walk::Reset();
    }
    unsetenv("QUILLO_WALK");
}

TEST(Walk, ScriptsParseStepByStepAndNameTheFirstBadLine)
{
    std::vector<Walk::Step> steps;
    std::string error;
    ASSERT_TRUE(Walk::Parse("# a comment\n\nscreen MainMenuScreen  # trailing\nframes 3\nclick 10 -2\n"
                            "key BackSpace\ntext Player 2\nanswer no\nclose\nsnapshot menu\nstop\n",
                            steps, error))
        << error;
    ASSERT_EQ(steps.size(), 9u);
    EXPECT_EQ(steps[0].kind, Walk::Step::Kind::screen);
    EXPECT_EQ(steps[0].text, "MainMenuScreen");
    EXPECT_EQ(steps[0].line, 3);
    EXPECT_EQ(steps[1].count, 3);
    EXPECT_EQ(steps[2].x, 10);
    EXPECT_EQ(steps[2].y, -2);
    EXPECT_EQ(steps[4].text, "Player 2");
    EXPECT_EQ(steps[5].count, 0);

    const char* bad[] = {"frames", "frames -1", "frames two", "click 1", "click 1 2 3", "key Return",
                         "text", "text café", "answer maybe", "close now", "screen A B", "wait 3"};
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        steps.clear();
        error.clear();
        EXPECT_FALSE(Walk::Parse(std::string("stop\n") + line + "\n", steps, error));
        EXPECT_EQ(error.rfind("line 2 (", 0), 0u) << error;
    }
}

} // namespace walk_test_file
