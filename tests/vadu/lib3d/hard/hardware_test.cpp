#include "vadu/lib3d/hard/hardware.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "vadu/exception.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "support/log_capture.h"

// Data types kept per hardware; outside the anonymous namespace so that their names are
// fixed in the errors that mention them.
namespace hardware_test {

class Payload {
public:
    explicit Payload(std::string text) : text(std::move(text)) {}
    std::string text;
};

struct PlainPayload {
    int value = 0;
};

} // namespace hardware_test

template <>
inline constexpr const char* vadu::declared_as<hardware_test::PlainPayload> = "struct";

namespace {

using vadu::lib3d::hard::Hardware;
using vadu::lib3d::hard::Manager;
using Row = Hardware::Row;

std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

std::vector<std::string> to_std(const std::vector<vadu::String>& texts)
{
    std::vector<std::string> result;
    for (const vadu::String& text : texts)
        result.push_back(to_std(text));
    return result;
}

Row row(std::initializer_list<const char*> values)
{
    Row result;
    for (const char* value : values)
        result.emplace_back(value);
    return result;
}

using test_support::LogCapture;

// A display adapter without a device: records the modes it is asked to start.
class FakeAdapter : public Hardware {
public:
    explicit FakeAdapter(const char* name) : name_(name) {}

    int get_width() const override { return 640; }
    int get_height() const override { return 480; }
    bool start_scene(double, double, double, double) override { return true; }
    bool set_mode_internal(platform::WindowHandle window, const Row& row) override
    {
        started.emplace_back(window, row);
        return mode_result;
    }
    vadu::String get_description() const override { return "Fake Adapter"; }
    vadu::String get_name() const override { return name_; }
    void stop_mode() override {}
    bool is_operational() const override { return false; }
    void render(vadu::lib3d::hard::RenderList&, vadu::lib3d::hard::RenderTargetBase&) override {}
    // No device, so no resources.
    std::unique_ptr<vadu::lib3d::hard::Texture> create_texture(int, vadu::pictureformat::Format, int, int) override
    {
        throw vadu::Gluck("FakeAdapter::create_texture", "no device");
    }
    std::unique_ptr<vadu::lib3d::hard::TextureCubic> create_texture_cubic(int, vadu::pictureformat::Format, int,
                                                                          int) override
    {
        throw vadu::Gluck("FakeAdapter::create_texture_cubic", "no device");
    }
    std::unique_ptr<vadu::lib3d::hard::VertexBuffer> create_vertex_buffer(bool) override
    {
        throw vadu::Gluck("FakeAdapter::create_vertex_buffer", "no device");
    }
    std::unique_ptr<vadu::lib3d::hard::IndexBuffer> create_index_buffer() override
    {
        throw vadu::Gluck("FakeAdapter::create_index_buffer", "no device");
    }
    std::unique_ptr<vadu::lib3d::hard::PointBuffer> create_point_buffer() override
    {
        throw vadu::Gluck("FakeAdapter::create_point_buffer", "no device");
    }
    std::unique_ptr<vadu::lib3d::hard::RenderTarget> create_render_target(const vadu::Atom&, int, int) override
    {
        throw vadu::Gluck("FakeAdapter::create_render_target", "no device");
    }
    vadu::lib3d::hard::RenderTarget* find_render_target(const vadu::Atom&) override { return nullptr; }
    bool start_frame() override { return false; }
    void finish_frame() override {}

    std::vector<std::pair<platform::WindowHandle, Row>> started;
    bool mode_result = true;

private:
    vadu::String name_;
};

const char* const window_mode = "No (Window mode)";
const char* const x2 = "2xSamples (Medium)";
const char* const x4 = "4xSamples (High)";

// The video-mode table a windowed-capable adapter publishes: windowed rows first, then
// the full-screen modes sorted, each with the antialiasing levels it supports.
const std::vector<Row>& mode_rows()
{
    static const std::vector<Row> rows = {
        row({window_mode, "0", "0", "None"}), // 0
        row({window_mode, "0", "0", x2}),     // 1
        row({window_mode, "0", "0", x4}),     // 2
        row({"Yes", "800", "600", "None"}),   // 3
        row({"Yes", "800", "600", x2}),       // 4
        row({"Yes", "800", "600", x4}),       // 5
        row({"Yes", "1024", "768", "None"}),  // 6
        row({"Yes", "1024", "768", x2}),      // 7
        row({"Yes", "1280", "720", "None"}),  // 8
        row({"Yes", "1280", "768", "None"}),  // 9
    };
    return rows;
}

class AttributeTable : public ::testing::Test {
protected:
    AttributeTable()
    {
        adapter.set_attribute_names(row({"Fullscreen", "ResolutionX", "ResolutionY", "Antialiasing"}),
                                    row({"Yes", "1024", "768", "None"}));
        for (const Row& values : mode_rows())
            adapter.add_attribute_table_row(values);
        log.take();
    }

    std::vector<std::string> selected() const { return to_std(adapter.get_rows().at(adapter.get_selected_row())); }
    static std::vector<std::string> mode(size_t index) { return to_std(mode_rows().at(index)); }

    LogCapture log;
    FakeAdapter adapter{"1: Fake"};
};

TEST_F(AttributeTable, AddingRowsSelectsTheFirstRowNearestTheWantedValues)
{
    FakeAdapter fresh("2: Fake");
    fresh.set_attribute_names(adapter.get_attribute_names(), adapter.get_wanted_values());
    // Selected index after each row of the mode table is added.
    const uint32_t expected[] = {0, 0, 0, 3, 3, 3, 6, 6, 6, 6};
    for (size_t i = 0; i < mode_rows().size(); ++i) {
        fresh.add_attribute_table_row(mode_rows()[i]);
        EXPECT_EQ(fresh.get_selected_row(), expected[i]) << "after row " << i;
    }
    fresh.add_attribute_table_row(mode_rows()[6]);
    EXPECT_EQ(fresh.get_selected_row(), 6u) << "an equally near row does not replace the selection";
    EXPECT_EQ(fresh.get_rows().size(), mode_rows().size() + 1);
}

TEST(AttributeTableDistance, AnEarlierColumnOutweighsAllLaterOnes)
{
    LogCapture log;
    FakeAdapter adapter("1: Fake");
    adapter.set_attribute_names(row({"A", "B", "C", "D"}), row({"a", "b", "c", "d"}));
    adapter.add_attribute_table_row(row({"x", "b", "c", "d"})); // misses only the first column
    adapter.add_attribute_table_row(row({"a", "x", "x", "x"})); // misses every later column
    EXPECT_EQ(adapter.get_selected_row(), 1u);
    adapter.add_attribute_table_row(row({"a", "b", "x", "x"}));
    EXPECT_EQ(adapter.get_selected_row(), 2u);
    adapter.add_attribute_table_row(row({"a", "x", "c", "d"}));
    EXPECT_EQ(adapter.get_selected_row(), 2u);

    // The same order decides among the rows a filter keeps.
    EXPECT_TRUE(adapter.filter_rows("D", row({"x", "d"})));
    EXPECT_EQ(to_std(adapter.get_rows().at(adapter.get_selected_row())), (std::vector<std::string>{"a", "b", "x", "x"}));
}

TEST(AttributeTableDistance, WideTablesRankWithoutOverflow)
{
    LogCapture log;
    FakeAdapter adapter("1: Fake");
    Row names, wanted, far, near;
    for (int i = 0; i < 60; ++i) {
        names.push_back(vadu::String("C").append_number(i));
        wanted.push_back("w");
        far.push_back(i == 0 ? "x" : "w");
        near.push_back(i == 0 ? "w" : "x");
    }
    adapter.set_attribute_names(names, wanted);
    adapter.add_attribute_table_row(far);
    adapter.add_attribute_table_row(near);
    EXPECT_EQ(adapter.get_selected_row(), 1u);
}

TEST_F(AttributeTable, SelectRowKeepsEarlierColumnsAndChangesLaterOnesLeast)
{
    struct Step {
        const char* name;
        const char* value;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps; // all but the last must succeed
        bool result;
        size_t selected;
    };
    const Case cases[] = {
        {"the last column moves alone", {{"Antialiasing", x2}}, true, 7},
        {"a value no row offers with the earlier choices", {{"Antialiasing", x4}}, false, 6},
        {"a value the column never holds", {{"ResolutionX", "640"}}, false, 6},
        {"an unknown column", {{"Refresh", "60"}}, false, 6},
        {"later columns keep their selected values", {{"ResolutionX", "800"}}, true, 3},
        {"the first column scores every later one", {{"Fullscreen", window_mode}}, true, 0},
        {"keeping a selected value beats the wanted one", {{"Antialiasing", x2}, {"ResolutionX", "800"}}, true, 4},
        {"the wanted value beats any other",
         {{"Antialiasing", x2}, {"ResolutionX", "800"}, {"ResolutionX", "1280"}},
         true,
         9},
        {"the wanted resolution outweighs keeping the level",
         {{"Fullscreen", window_mode}, {"Antialiasing", x4}, {"Fullscreen", "Yes"}},
         true,
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeAdapter fresh("2: Fake");
        fresh.set_attribute_names(adapter.get_attribute_names(), adapter.get_wanted_values());
        for (const Row& values : mode_rows())
            fresh.add_attribute_table_row(values);
        for (size_t i = 0; i + 1 < c.steps.size(); ++i)
            ASSERT_TRUE(fresh.select_row(c.steps[i].name, c.steps[i].value));
        EXPECT_EQ(fresh.select_row(c.steps.back().name, c.steps.back().value), c.result);
        EXPECT_EQ(to_std(fresh.get_rows().at(fresh.get_selected_row())), mode(c.selected));
    }
}

TEST(AttributeTableSelect, TiesKeepTheEarlierRowAndHugeScoresAreNeverChosen)
{
    LogCapture log;
    FakeAdapter adapter("1: Fake");
    Row names, wanted, base, other;
    for (int i = 0; i < 10; ++i) {
        names.push_back(vadu::String("C").append_number(i));
        wanted.push_back("w");
        base.push_back("w");
        other.push_back("o");
    }
    adapter.set_attribute_names(names, wanted);
    adapter.add_attribute_table_row(base);
    Row tie_a = base, tie_b = base;
    tie_a[0] = "t";
    tie_a[9] = "a";
    tie_b[0] = "t";
    tie_b[9] = "b";
    adapter.add_attribute_table_row(tie_a);
    adapter.add_attribute_table_row(tie_b);
    EXPECT_TRUE(adapter.select_row("C0", "t"));
    EXPECT_EQ(adapter.get_selected_row(), 1u);

    // Nine later columns that differ from everything score 2 x 3^9 + ... > 10000.
    other[0] = "z";
    adapter.add_attribute_table_row(other);
    EXPECT_FALSE(adapter.select_row("C0", "z"));
    EXPECT_EQ(adapter.get_selected_row(), 1u);
    // Fewer differing later columns stay below the limit.
    Row closer = other;
    for (int i = 1; i < 4; ++i)
        closer[static_cast<size_t>(i)] = "w";
    adapter.add_attribute_table_row(closer);
    EXPECT_TRUE(adapter.select_row("C0", "z"));
    EXPECT_EQ(adapter.get_selected_row(), 4u);
}

TEST(AttributeTableSelect, EmptyTableSelectsNothing)
{
    LogCapture log;
    FakeAdapter adapter("1: Fake");
    adapter.set_attribute_names(row({"Fullscreen"}), row({"Yes"}));
    EXPECT_FALSE(adapter.select_row("Fullscreen", "Yes"));
    EXPECT_TRUE(adapter.get_column_values("Fullscreen").empty());
    EXPECT_EQ(to_std(adapter.get_attribute_value("Fullscreen")), "");
}

TEST_F(AttributeTable, ColumnValuesFollowTheEarlierSelectedColumns)
{
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> selections;
        const char* column;
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {"the first column lists every value once", {}, "Fullscreen", {window_mode, "Yes"}},
        {"full-screen widths", {}, "ResolutionX", {"800", "1024", "1280"}},
        {"heights of the selected width", {}, "ResolutionY", {"768"}},
        {"heights of another width", {{"ResolutionX", "1280"}}, "ResolutionY", {"720", "768"}},
        {"levels of the selected mode", {}, "Antialiasing", {"None", x2}},
        {"windowed widths", {{"Fullscreen", window_mode}}, "ResolutionX", {"0"}},
        {"windowed levels", {{"Fullscreen", window_mode}}, "Antialiasing", {"None", x2, x4}},
        {"an unknown column", {}, "Refresh", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeAdapter fresh("2: Fake");
        fresh.set_attribute_names(adapter.get_attribute_names(), adapter.get_wanted_values());
        for (const Row& values : mode_rows())
            fresh.add_attribute_table_row(values);
        for (const auto& [name, value] : c.selections)
            ASSERT_TRUE(fresh.select_row(name, value));
        EXPECT_EQ(to_std(fresh.get_column_values(c.column)), c.values);
    }
}

TEST_F(AttributeTable, AttributeValueIsTheSelectedRowsValue)
{
    EXPECT_EQ(to_std(adapter.get_attribute_value("ResolutionX")), "1024");
    EXPECT_EQ(to_std(adapter.get_attribute_value("Antialiasing")), "None");
    EXPECT_EQ(to_std(adapter.get_attribute_value("Refresh")), "");
    ASSERT_TRUE(adapter.select_row("Fullscreen", window_mode));
    EXPECT_EQ(to_std(adapter.get_attribute_value("Fullscreen")), window_mode);
    EXPECT_EQ(to_std(adapter.get_attribute_value("ResolutionY")), "0");
}

TEST_F(AttributeTable, FilterKeepsAllowedRowsInOrderAndSelectsTheNearest)
{
    struct Case {
        const char* what;
        const char* column;
        std::vector<const char*> allowed;
        std::vector<size_t> kept;
        size_t selected;
    };
    const Case cases[] = {
        {"one level", "Antialiasing", {"None"}, {0, 3, 6, 8, 9}, 6},
        {"windowed only", "Fullscreen", {window_mode}, {0, 1, 2}, 0},
        {"rows keep their order, not the list's", "ResolutionX", {"1280", "800"}, {3, 4, 5, 8, 9}, 9},
        {"equally near rows: the first", "ResolutionY", {"720", "600"}, {3, 4, 5, 8}, 3},
        {"allowed values no row has are ignored", "Antialiasing", {"8xSamples", x4}, {2, 5}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeAdapter fresh("2: Fake");
        fresh.set_attribute_names(adapter.get_attribute_names(), adapter.get_wanted_values());
        for (const Row& values : mode_rows())
            fresh.add_attribute_table_row(values);
        ASSERT_TRUE(fresh.select_row("ResolutionX", "800")); // row 3; the filter reselects anyway
        Row allowed;
        for (const char* value : c.allowed)
            allowed.emplace_back(value);
        EXPECT_TRUE(fresh.filter_rows(c.column, allowed));
        std::vector<Row> expected;
        for (size_t index : c.kept)
            expected.push_back(mode_rows()[index]);
        EXPECT_EQ(fresh.get_rows(), expected);
        EXPECT_EQ(to_std(fresh.get_rows().at(fresh.get_selected_row())), mode(c.selected));
    }
}

TEST_F(AttributeTable, FilterOnAnUnknownColumnChangesNothing)
{
    ASSERT_TRUE(adapter.select_row("Antialiasing", x2));
    EXPECT_FALSE(adapter.filter_rows("Refresh", row({"60"})));
    EXPECT_EQ(adapter.get_rows(), mode_rows());
    EXPECT_EQ(selected(), mode(7));
}

TEST_F(AttributeTable, FilterMatchingNothingEmptiesTheTableAndSetModeBailsOut)
{
    EXPECT_FALSE(adapter.filter_rows("Antialiasing", row({"8xSamples"})));
    EXPECT_TRUE(adapter.get_rows().empty());
    EXPECT_EQ(to_std(adapter.get_attribute_value("Fullscreen")), "");
    EXPECT_FALSE(adapter.select_row("Fullscreen", "Yes"));
    EXPECT_FALSE(adapter.set_mode(nullptr));
    EXPECT_TRUE(adapter.started.empty());
    EXPECT_EQ(log.take(), "Hardware Selector: empty attributes table, bailing out\n");

    // Rows published again refill the table.
    adapter.add_attribute_table_row(mode_rows()[3]);
    EXPECT_EQ(selected(), mode(3));
}

TEST_F(AttributeTable, SetModeStartsTheSelectedRow)
{
    const auto window = reinterpret_cast<platform::WindowHandle>(uintptr_t{0x1234});
    ASSERT_TRUE(adapter.select_row("ResolutionX", "800"));
    EXPECT_TRUE(adapter.set_mode(window));
    adapter.mode_result = false;
    EXPECT_FALSE(adapter.set_mode(window));
    ASSERT_EQ(adapter.started.size(), 2u);
    EXPECT_EQ(adapter.started[0].first, window);
    EXPECT_EQ(adapter.started[0].second, mode_rows()[3]);
    EXPECT_EQ(log.take(), "");
}

TEST(AttributeTableLog, NamesAndRowsAreLoggedAsBarLists)
{
    LogCapture log;
    FakeAdapter adapter("1: Fake");
    adapter.set_attribute_names(row({"Fullscreen", "ResolutionX"}), row({"Yes", "1024"}));
    EXPECT_EQ(log.take(), " | Fullscreen | ResolutionX\n | Yes | 1024\n" + std::string(61, '-') + "\n");
    adapter.add_attribute_table_row(row({window_mode, "0"}));
    EXPECT_EQ(log.take(), " | No (Window mode) | 0\n");

    FakeAdapter bare("2: Fake");
    bare.set_attribute_names({}, {});
    EXPECT_EQ(log.take(), "\n\n" + std::string(61, '-') + "\n");
}

TEST(AttributeTableLog, WorksWithoutALog)
{
    vadu::logs::set_log(nullptr);
    FakeAdapter adapter("1: Fake");
    EXPECT_NO_THROW(adapter.set_attribute_names(row({"Fullscreen"}), row({"Yes"})));
    EXPECT_NO_THROW(adapter.add_attribute_table_row(row({"Yes"})));
    EXPECT_FALSE(adapter.filter_rows("Fullscreen", {}));
    EXPECT_FALSE(adapter.set_mode(nullptr));
    vadu::logs::Creator restore("");
}

TEST(AttributeTableErrors, CountMismatchesThrowAndChangeNothing)
{
    LogCapture log;
    FakeAdapter adapter("1: Fake");
    adapter.set_attribute_names(row({"Fullscreen", "ResolutionX"}), row({"Yes", "1024"}));
    adapter.add_attribute_table_row(row({"Yes", "800"}));
    log.take();

    struct Case {
        const char* what;
        std::function<void()> call;
        const char* function;
        const char* description;
    };
    const Case cases[] = {
        {"fewer wanted values than names",
         [&] { adapter.set_attribute_names(row({"A", "B"}), row({"a"})); },
         "vadu::lib3d::hard::Hardware::set_attribute_names", "names.size() != values.size()"},
        {"more wanted values than names",
         [&] { adapter.set_attribute_names(row({"A"}), row({"a", "b"})); },
         "vadu::lib3d::hard::Hardware::set_attribute_names", "names.size() != values.size()"},
        {"names for another row width",
         [&] { adapter.set_attribute_names(row({"A", "B", "C"}), row({"a", "b", "c"})); },
         "vadu::lib3d::hard::Hardware::set_attribute_names", "names.size() != row.size()"},
        {"a short row",
         [&] { adapter.add_attribute_table_row(row({"Yes"})); },
         "vadu::lib3d::hard::Hardware::add_attribute_table_row", "attribute_names.size() != values.size()"},
        {"a long row",
         [&] { adapter.add_attribute_table_row(row({"Yes", "800", "600"})); },
         "vadu::lib3d::hard::Hardware::add_attribute_table_row", "attribute_names.size() != values.size()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.call();
            ADD_FAILURE() << "no Gluck";
        } catch (const vadu::Gluck& error) {
            EXPECT_EQ(to_std(error.get_function()), c.function);
            EXPECT_EQ(to_std(error.get_description()), c.description);
        }
        EXPECT_EQ(to_std(adapter.get_attribute_names()), (std::vector<std::string>{"Fullscreen", "ResolutionX"}));
        EXPECT_EQ(to_std(adapter.get_wanted_values()), (std::vector<std::string>{"Yes", "1024"}));
        EXPECT_EQ(adapter.get_rows(), std::vector<Row>{row({"Yes", "800"})});
        EXPECT_EQ(log.take(), "");
    }

    // Same width: the names and wanted values are replaced and the rows stay.
    adapter.set_attribute_names(row({"Windowed", "Width"}), row({"No", "800"}));
    EXPECT_EQ(to_std(adapter.get_attribute_value("Width")), "800");
}

// --- registration of adapters and their dependents -----------------------------------

using Journal = std::vector<std::string>;

// Keeps one payload per adapter, named after the adapter, and notes what it hears.
class PayloadOwner : public vadu::HardwareDependentObject<Manager, hardware_test::Payload> {
public:
    PayloadOwner(Journal& journal, std::string name) : journal_(journal), name_(std::move(name))
    {
        Manager::add_dependent(this);
    }
    ~PayloadOwner() override { Manager::remove_dependent(this); }

    void on_add_hardware(Hardware* hardware) override
    {
        journal_.push_back(name_ + " add " + to_std(hardware->get_name()));
        add_data(hardware, std::make_unique<hardware_test::Payload>(name_ + "@" + to_std(hardware->get_name())));
    }
    void on_remove_hardware(Hardware* hardware) override
    {
        journal_.push_back(name_ + " remove " + to_std(hardware->get_name()));
        HardwareDependentObject::on_remove_hardware(hardware);
    }

private:
    Journal& journal_;
    std::string name_;
};

class Registration : public ::testing::Test {
protected:
    LogCapture log;
    Manager::Creator creator;
    Journal journal;
    FakeAdapter first{"1: Fake"};
    FakeAdapter second{"2: Fake"};
};

TEST_F(Registration, AdaptersRegisterAsHardwaresWithTheirTables)
{
    first.set_attribute_names(row({"Fullscreen"}), row({"Yes"}));
    first.add_attribute_table_row(row({window_mode}));
    Manager::add_hardware(&first);
    Manager::add_hardware(&second);
    ASSERT_EQ(Manager::get_hardwares(), (std::vector<Hardware*>{&first, &second}));
    EXPECT_EQ(to_std(Manager::get_hardwares()[0]->get_attribute_value("Fullscreen")), window_mode);
    EXPECT_EQ(Manager::get_hardwares()[1]->get_attribute_names().size(), 0u);
    EXPECT_EQ(first.get_name_atom(), vadu::Atom("#DefaultRenderTarget#"));
    EXPECT_EQ(first.reserved_operation(), 0);
    // The render-device list is the one every HardwareManager<Hardware> user sees.
    EXPECT_EQ(&vadu::HardwareManager<Hardware>::get_hardwares(), &Manager::get_hardwares());

    try {
        Manager::Creator again;
        ADD_FAILURE() << "a second manager";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(to_std(error.get_description()), "hardwares already exist");
    }
    EXPECT_EQ(Manager::get_hardwares().size(), 2u);
}

TEST_F(Registration, DependentsHearOfEveryAdapterInRegistrationOrder)
{
    Manager::add_hardware(&first);
    PayloadOwner a(journal, "A"); // gets data for the adapter that exists
    Manager::add_hardware(&second);
    PayloadOwner b(journal, "B"); // gets data for both, in list order
    EXPECT_EQ(journal, (Journal{"A add 1: Fake", "A add 2: Fake", "B add 1: Fake", "B add 2: Fake"}));
    EXPECT_EQ(a.find_data(&second)->text, "A@2: Fake");
    EXPECT_EQ(b.find_data(&first)->text, "B@1: Fake");

    journal.clear();
    Manager::notify_remove_hardware(&first);
    EXPECT_EQ(journal, (Journal{"A remove 1: Fake", "B remove 1: Fake"}));
    EXPECT_EQ(Manager::get_hardwares(), std::vector<Hardware*>{&second});
    EXPECT_EQ(to_std(first.get_name()), "1: Fake") << "the adapter itself is not deleted";
    ASSERT_EQ(a.get_pairs().size(), 1u);
    EXPECT_EQ(a.get_pairs()[0].first, &second);
    EXPECT_THROW(a.find_data(&first), vadu::Gluck);
    EXPECT_EQ(b.find_data(&second)->text, "B@2: Fake");
}

TEST_F(Registration, UnregisteringDropsTheDataOfEveryAdapter)
{
    Manager::add_hardware(&first);
    Manager::add_hardware(&second);
    {
        PayloadOwner a(journal, "A");
        journal.clear();
    }
    EXPECT_EQ(journal, (Journal{"A remove 1: Fake", "A remove 2: Fake"}));
    EXPECT_TRUE(Manager::get_dependents().empty());
}

TEST_F(Registration, DataNotFoundNamesTheInstance)
{
    Manager::add_hardware(&first);
    PayloadOwner owner(journal, "A");
    try {
        owner.find_data(&second);
        ADD_FAILURE() << "no Gluck";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(to_std(error.get_description()), "Data not found");
        EXPECT_EQ(to_std(error.get_function()),
                  "vadu::HardwareDependentObject<class vadu::lib3d::hard::Manager,class hardware_test::Payload>::find_data");
    }
    EXPECT_EQ(to_std(vadu::HardwareDependentObject<Manager, hardware_test::PlainPayload>::function_name("find_data")),
              "vadu::HardwareDependentObject<class vadu::lib3d::hard::Manager,struct hardware_test::PlainPayload>::"
              "find_data");
    EXPECT_THROW(owner.find_data(nullptr), vadu::Gluck);
}

TEST_F(Registration, PlainDependentsKeepAnEmptyPairPerAdapter)
{
    Manager::add_hardware(&first);
    // No overrides: registration adds (adapter, null) pairs that the owner fills later.
    auto plain = std::make_unique<vadu::HardwareDependentObject<Manager, hardware_test::PlainPayload>>();
    Manager::add_dependent(plain.get());
    Manager::add_hardware(&second);
    EXPECT_EQ(plain->find_data(&first), nullptr);
    EXPECT_EQ(plain->find_data(&second), nullptr);
    Manager::notify_remove_hardware(&first);
    EXPECT_THROW(plain->find_data(&first), vadu::Gluck);

    // Destroyed while registered: it leaves the manager instead of dangling there.
    plain.reset();
    EXPECT_TRUE(Manager::get_dependents().empty());
    Manager::add_hardware(&first);
}

// --- helpers --------------------------------------------------------------------------

TEST(CleanName, KeepsOnlyPrintableCharactersUpToLowerZExceptDollar)
{
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"Software Rasterizer", "SoftwareRasterizer"},
        {"Card $1$ (rev. 2)", "Card1(rev.2)"},
        {"!AZaz09", "!AZaz09"},       // 33 and 122 are kept
        {"{|}~\x7f", ""},             // 123 and above are not
        {"\xC9tude\xA0X\tY\n", "tudeXY"}, // nor code-page letters, spaces and controls
        {std::string("a\0b", 3), "ab"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        const vadu::String in(c.in.data(), c.in.data() + c.in.size());
        EXPECT_EQ(to_std(vadu::lib3d::hard::clean_name(in)), c.out);
    }
}

TEST(LogFlush, PushesBufferedTextToTheFile)
{
    char path[] = "/tmp/hardware_flush_XXXXXX";
    const int descriptor = mkstemp(path);
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    std::FILE* writer = std::fopen(path, "w");
    ASSERT_NE(writer, nullptr);
    vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(writer));

    vadu::logs::Stream& stream = vadu::logs::log();
    vadu::logs::Stream& result = stream << "Mode set\n" << vadu::lib3d::hard::flush;
    EXPECT_EQ(&result, &stream);

    // Read through a separate handle: only what was flushed is there.
    std::FILE* reader = std::fopen(path, "r");
    ASSERT_NE(reader, nullptr);
    char buffer[64] = {};
    const size_t count = std::fread(buffer, 1, sizeof(buffer) - 1, reader);
    EXPECT_EQ(std::string(buffer, count), "Mode set\n");
    std::fclose(reader);

    vadu::logs::Creator restore("");
    std::fclose(writer);
    std::remove(path);
}

} // namespace
