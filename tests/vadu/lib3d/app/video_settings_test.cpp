#include "app_test_support.h"

#include "platform/dialog.h"
#include "vadu/xml_reader.h"

namespace {

using namespace app_test;
using vadu::lib3d::Application;
using vadu::lib3d::hard::VideoSettings;

// The file system, a captured log and two devices, without an application.
class Settings : public ShellFixture {
protected:
    struct Engine : public virtual CapturedLog, public virtual vadu::filesystem::Creator {};

    Settings()
    {
        engine_ = std::make_unique<Engine>();
        manager_ = std::make_unique<hard::Manager::Creator>();
        devices_.push_back(std::make_unique<FakeHardware>("1: Adapter A", true));
        devices_.push_back(std::make_unique<FakeHardware>("2: Adapter B", true));
        for (auto& device : devices_)
            hard::Manager::add_hardware(device.get());
        VideoSettings::set_chosen_hardware(nullptr);
    }

    ~Settings() override
    {
        VideoSettings::set_chosen_hardware(nullptr);
        for (auto& device : devices_)
            hard::Manager::notify_remove_hardware(device.get());
        manager_.reset();
        engine_.reset();
    }

    vadu::filesystem::String path() const { return vadu::filesystem::String(settings_file_.c_str(), false); }

    std::unique_ptr<Engine> engine_;
    std::unique_ptr<hard::Manager::Creator> manager_;
    std::vector<std::unique_ptr<FakeHardware>> devices_;
};

TEST_F(Settings, LoadSelectsTheNamedAdapterAndItsRows)
{
    struct Case {
        const char* attributes;
        int hardware;               // index, or -1 for none
        const char* fullscreen;     // of adapter A afterwards
        const char* antialiasing;
    };
    const Case cases[] = {
        {R"x(Adapter="1: Adapter A" Fullscreen="No (Window mode)" ResolutionX="0" ResolutionY="0" Antialiasing="2xSamples (Medium)")x",
         0, "No (Window mode)", "2xSamples (Medium)"},
        {R"(Adapter="2: Adapter B" Fullscreen="Yes")", 1, "Yes", "None"},
        // Only the adapter: its rows stay as they are.
        {R"(Adapter="1: Adapter A")", 0, "Yes", "None"},
        // An adapter that is gone gives no hardware.
        {R"x(Adapter="3: Gone" Fullscreen="No (Window mode)")x", -1, "Yes", "None"},
        // The columns belong to an adapter named before them.
        {R"x(Fullscreen="No (Window mode)" Adapter="1: Adapter A")x", -1, "Yes", "None"},
        {R"(Adapter="1: Adapter A" Refresh="60")", -1, "Yes", "None"},
        // No windowed row offers 800: the load fails after "Fullscreen" was selected.
        {R"x(Adapter="1: Adapter A" Fullscreen="No (Window mode)" ResolutionX="800")x", -1, "No (Window mode)", "None"},
        {R"(Adapter="1: adapter a")", -1, "Yes", "None"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        devices_[0]->select_row("Fullscreen", "Yes");
        devices_[0]->select_row("Antialiasing", "None");
        write_settings(c.attributes);
        hard::Hardware* loaded = VideoSettings::load(path());
        EXPECT_EQ(loaded, c.hardware < 0 ? nullptr : devices_[static_cast<size_t>(c.hardware)].get());
        EXPECT_EQ(devices_[0]->selected("Fullscreen"), c.fullscreen);
        EXPECT_EQ(devices_[0]->selected("Antialiasing"), c.antialiasing);
    }
}

TEST_F(Settings, LoadOfAMissingDamagedOrForeignFileGivesNoHardware)
{
    EXPECT_EQ(VideoSettings::load(path()), nullptr);
    const char* documents[] = {
        "<VideoSettings Adapter=\"1: Adapter A\"",
        "<Settings Adapter=\"1: Adapter A\"/>",
        "",
        "<VideoSettings Adapter=\"1: Adapter A\"><Mode/></VideoSettings>",
    };
    for (const char* document : documents) {
        write_file(settings_file_, document);
        EXPECT_EQ(VideoSettings::load(path()), nullptr) << document;
    }
}

TEST_F(Settings, SaveWritesTheAdapterThenEveryColumnAndReadsBack)
{
    devices_[1]->select_row("Fullscreen", "No (Window mode)");
    devices_[1]->select_row("Antialiasing", "2xSamples (Medium)");
    ASSERT_FALSE(fs::exists(settings_file_.parent_path()));
    ASSERT_TRUE(VideoSettings::save(devices_[1].get(), path()));
    const std::string text = read_file(settings_file_);
    EXPECT_NE(text.find(R"x(<VideoSettings Adapter="2: Adapter B" Fullscreen="No (Window mode)" ResolutionX="0" )x"
                        R"x(ResolutionY="0" Antialiasing="2xSamples (Medium)"/>)x"),
              std::string::npos)
        << text;

    devices_[1]->select_row("Fullscreen", "Yes");
    EXPECT_EQ(VideoSettings::load(path()), devices_[1].get());
    EXPECT_EQ(devices_[1]->selected("Fullscreen"), "No (Window mode)");
    EXPECT_EQ(devices_[1]->selected("Antialiasing"), "2xSamples (Medium)");

    fs::remove(settings_file_);
    EXPECT_FALSE(VideoSettings::save(nullptr, path()));
    EXPECT_FALSE(fs::exists(settings_file_));
}

TEST_F(Settings, DefaultChoiceIsTheFirstHardwareThatStartsItsMode)
{
    devices_[0]->accepts_modes = false;
    EXPECT_EQ(VideoSettings::choose_default(nullptr), devices_[1].get());
    ASSERT_EQ(devices_[0]->started_rows.size(), 1u);
    EXPECT_EQ(devices_[0]->started_rows[0], mode_rows[3]);

    devices_[1]->accepts_modes = false;
    EXPECT_EQ(VideoSettings::choose_default(nullptr), nullptr);

    // A table filtered empty cannot start anything.
    devices_[1]->accepts_modes = true;
    devices_[1]->filter_rows("Fullscreen", {"Maybe"});
    EXPECT_EQ(VideoSettings::choose_default(nullptr), nullptr);
    EXPECT_NE(engine_->log_text().find("Hardware Selector: empty attributes table, bailing out"), std::string::npos);
}

TEST(SplitValues, CutsAtEverySeparatorKeepingEmptyPieces)
{
    struct Case {
        const char* text;
        const char* separator;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"Yes|No (Window mode)", "|", {"Yes", "No (Window mode)"}},
        {"800", "|", {"800"}},
        {"", "|", {""}},
        {"|a||", "|", {"", "a", "", ""}},
        {"a::b:c", "::", {"a", "b:c"}},
        {"a|b", "", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> pieces;
        for (const vadu::String& piece : Application::split_values(c.text, c.separator))
            pieces.push_back(to_std(piece));
        EXPECT_EQ(pieces, c.pieces) << "\"" << c.text << "\" at \"" << c.separator << "\"";
    }
}

TEST_F(Settings, StarterSettingsReadTheirThreeMapsAndRefuseOtherChildren)
{
    Application::StarterSettings settings;
    auto load = [&settings](const std::string& text) {
        vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
        vadu::xml::StreamResource resource(&stream);
        vadu::xml::Root root(settings, "Starter");
        return resource.load(root);
    };
    // UTF-8 in the file, 1252 in the maps.
    ASSERT_TRUE(load("<Starter><dictionary DialogCaption=\"Vid\xC3\xA9o\" btnOK=\"Go\"/>"
                     "<filter Antialiasing=\"None|2xSamples (Medium)\"/><hide ResolutionY=\"600\"/>"
                     "<dictionary btnOK=\"Start\"/></Starter>"));
    EXPECT_EQ(to_std(settings.lookup("DialogCaption")), "Vid\xE9o");
    EXPECT_EQ(to_std(settings.lookup("btnOK")), "Start");
    EXPECT_EQ(to_std(settings.lookup("btnCancel")), "btnCancel");
    EXPECT_EQ(to_std(settings.filter()["Antialiasing"]), "None|2xSamples (Medium)");
    EXPECT_EQ(to_std(settings.hide()["ResolutionY"]), "600");

    EXPECT_FALSE(load("<Starter><options a=\"b\"/></Starter>"));
    EXPECT_FALSE(load("<Starter><dictionary><entry/></dictionary></Starter>"));
    EXPECT_FALSE(load("<Settings/>"));
}

// The video-mode dialog, driven as a user would.
class ModeDialog : public Settings {
protected:
    static constexpr int fullscreen_combo = Application::first_attribute_combo_id;
    static constexpr int resolution_x_combo = fullscreen_combo + 1;
    static constexpr int resolution_y_combo = fullscreen_combo + 2;
    static constexpr int antialiasing_combo = fullscreen_combo + 3;

    intptr_t run(const std::function<void(platform::Dialog&)>& script)
    {
        platform::headless::set_dialog_script(script);
        return platform::dialog_box(Application::get_videomode_dialog_layout(), nullptr,
                                    &Application::videomode_dialog_proc, 0);
    }

    static std::vector<std::string> items(const platform::Dialog& dialog, int combo)
    {
        std::vector<std::string> result;
        for (int i = 0; i < dialog.combo_get_count(combo); ++i)
            result.push_back(dialog.combo_get_item(combo, i));
        return result;
    }

    static std::string selection(const platform::Dialog& dialog, int combo)
    {
        return dialog.combo_get_item(combo, dialog.combo_get_selection(combo));
    }
};

TEST_F(ModeDialog, OpensWithTheFirstAdapterAndItsCurrentValues)
{
    auto& dictionary = Application::get_starter_settings().dictionary();
    dictionary["DialogCaption"] = "Video";
    dictionary["btnCancel"] = "Back";
    dictionary["Fullscreen"] = "Full screen";

    const intptr_t result = run([&](platform::Dialog& dialog) {
        EXPECT_EQ(dialog.get_caption(), "Video");
        EXPECT_EQ(dialog.get_text(1), "btnOK");
        EXPECT_EQ(dialog.get_text(2), "Back");
        EXPECT_EQ(dialog.get_text(Application::adapter_label_id), "Adapter");
        EXPECT_EQ(items(dialog, Application::adapter_combo_id),
                  (std::vector<std::string>{"1: Adapter A", "2: Adapter B"}));
        EXPECT_EQ(dialog.combo_get_selection(Application::adapter_combo_id), 0);

        EXPECT_EQ(dialog.get_text(Application::first_attribute_label_id), "Full screen");
        EXPECT_EQ(dialog.get_text(Application::first_attribute_label_id + 3), "Antialiasing");
        struct Expected {
            int combo;
            std::vector<std::string> items;
            const char* selected;
            bool enabled;
        };
        const Expected expected[] = {
            {fullscreen_combo, {"No (Window mode)", "Yes"}, "Yes", true},
            {resolution_x_combo, {"640", "800", "1024"}, "800", true},
            {resolution_y_combo, {"600"}, "600", false},  // one value: nothing to choose
            {antialiasing_combo, {"None", "2xSamples (Medium)"}, "None", true},
        };
        for (const Expected& e : expected) {
            EXPECT_TRUE(dialog.is_visible(e.combo)) << e.combo;
            EXPECT_EQ(items(dialog, e.combo), e.items) << e.combo;
            EXPECT_EQ(selection(dialog, e.combo), e.selected) << e.combo;
            EXPECT_EQ(dialog.is_enabled(e.combo), e.enabled) << e.combo;
        }
        for (int pair = 4; pair < Application::attribute_control_pairs; ++pair) {
            EXPECT_FALSE(dialog.is_visible(Application::first_attribute_combo_id + pair));
            EXPECT_FALSE(dialog.is_visible(Application::first_attribute_label_id + pair));
        }
    });
    EXPECT_EQ(result, platform::dialog_cancel);
    EXPECT_EQ(VideoSettings::get_chosen_hardware(), devices_[0].get());
}

TEST_F(ModeDialog, AChangeCascadesDownToTheLastAttribute)
{
    const intptr_t result = run([&](platform::Dialog& dialog) {
        ASSERT_TRUE(dialog.choose(fullscreen_combo, "No (Window mode)"));
        EXPECT_EQ(items(dialog, resolution_x_combo), (std::vector<std::string>{"0"}));
        EXPECT_FALSE(dialog.is_enabled(resolution_x_combo));
        EXPECT_EQ(selection(dialog, resolution_y_combo), "0");
        EXPECT_EQ(items(dialog, antialiasing_combo), (std::vector<std::string>{"None", "2xSamples (Medium)"}));
        EXPECT_EQ(selection(dialog, antialiasing_combo), "None");

        ASSERT_TRUE(dialog.choose(antialiasing_combo, "2xSamples (Medium)"));
        ASSERT_TRUE(dialog.choose(fullscreen_combo, "Yes"));
        // The closest full-screen row to the windowed one, preferring the wanted values.
        EXPECT_EQ(selection(dialog, resolution_x_combo), "800");
        EXPECT_EQ(selection(dialog, antialiasing_combo), "2xSamples (Medium)");

        ASSERT_TRUE(dialog.choose(resolution_x_combo, "1024"));
        EXPECT_EQ(selection(dialog, resolution_y_combo), "768");
        EXPECT_EQ(items(dialog, antialiasing_combo), (std::vector<std::string>{"None"}));
        EXPECT_FALSE(dialog.is_enabled(antialiasing_combo));
        dialog.click(1);
    });
    EXPECT_EQ(result, platform::dialog_ok);
    EXPECT_EQ(devices_[0]->get_rows()[devices_[0]->get_selected_row()], mode_rows[5]);
}

TEST_F(ModeDialog, ChoosingAnotherAdapterShowsItsTable)
{
    devices_[1]->filter_rows("Fullscreen", {"No (Window mode)"});
    run([&](platform::Dialog& dialog) {
        ASSERT_TRUE(dialog.choose(Application::adapter_combo_id, 1));
        EXPECT_EQ(items(dialog, fullscreen_combo), (std::vector<std::string>{"No (Window mode)"}));
        ASSERT_TRUE(dialog.choose(antialiasing_combo, "2xSamples (Medium)"));
        dialog.click(1);
    });
    EXPECT_EQ(VideoSettings::get_chosen_hardware(), devices_[1].get());
    EXPECT_EQ(devices_[1]->selected("Antialiasing"), "2xSamples (Medium)");
    EXPECT_EQ(devices_[0]->selected("Antialiasing"), "None");
}

TEST_F(ModeDialog, HiddenAttributesGiveUpTheirControlsUnlessTheValueIsTheirName)
{
    auto& hide = Application::get_starter_settings().hide();
    hide["ResolutionY"] = "600";
    hide["Antialiasing"] = "Antialiasing";
    run([&](platform::Dialog& dialog) {
        EXPECT_EQ(dialog.get_text(Application::first_attribute_label_id + 1), "ResolutionX");
        EXPECT_EQ(dialog.get_text(Application::first_attribute_label_id + 2), "Antialiasing");
        EXPECT_EQ(items(dialog, fullscreen_combo + 2), (std::vector<std::string>{"None", "2xSamples (Medium)"}));
        EXPECT_FALSE(dialog.is_visible(fullscreen_combo + 3));

        // The cascade skips the hidden column, which keeps following the rows.
        ASSERT_TRUE(dialog.choose(fullscreen_combo + 1, "640"));
        EXPECT_EQ(devices_[0]->selected("ResolutionY"), "480");
    });
}

} // namespace
