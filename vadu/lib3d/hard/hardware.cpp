#include "vadu/lib3d/hard/hardware.h"

#include <cstdio>

#include "vadu/exception.h"
#include "vadu/threads.h"

namespace vadu::lib3d::hard {

namespace {

// Mode selection goes on without a log.
void write_log(const String& text)
{
    try {
        logs::log() << text;
    } catch (const Gluck&) {
    }
}

String bar_list(const std::vector<String>& values)
{
    String text;
    for (const String& value : values) {
        text += " | ";
        text += value;
    }
    text += "\n";
    return text;
}

} // namespace

RenderTargetBase::RenderTargetBase(const Atom& name) : name_(name) {}

RenderTargetBase::~RenderTargetBase() = default;

Hardware::Hardware() : RenderTargetBase(Atom(default_render_target_name)) {}

Hardware::~Hardware() = default;

void Hardware::set_attribute_names(const std::vector<String>& names, const std::vector<String>& wanted)
{
    if (names.size() != wanted.size())
        throw Gluck("vadu::lib3d::hard::Hardware::set_attribute_names", "names.size() != values.size()");
    // Rows of another width would be read past their end.
    if (!rows_.empty() && rows_.front().size() != names.size())
        throw Gluck("vadu::lib3d::hard::Hardware::set_attribute_names", "names.size() != row.size()");
    attribute_names_ = names;
    wanted_values_ = wanted;
    String dashes;
    dashes.resize(61, '-');
    write_log(bar_list(names) + bar_list(wanted) + dashes + "\n");
}

void Hardware::add_attribute_table_row(const Row& values)
{
    if (values.size() != attribute_names_.size())
        throw Gluck("vadu::lib3d::hard::Hardware::add_attribute_table_row",
                    "attribute_names.size() != values.size()");
    write_log(bar_list(values));
    rows_.push_back(values);
    if (rows_.size() == 1 || nearer_wanted(rows_.back(), rows_[selected_row_]))
        selected_row_ = static_cast<uint32_t>(rows_.size() - 1);
}

bool Hardware::select_row(const String& name, const String& value)
{
    const int column = find_column(name);
    if (column < 0 || rows_.empty())
        return false;
    const size_t named = static_cast<size_t>(column);
    const Row& selected = rows_[selected_row_];

    // Base-3 digits: 0 keeps the selected value, 1 moves to the wanted one, 2 elsewhere.
    constexpr uint64_t never = 10000;
    uint64_t best_score = never;
    size_t best_row = rows_.size();
    for (size_t r = 0; r < rows_.size(); ++r) {
        const Row& row = rows_[r];
        bool candidate = row[named] == value;
        for (size_t c = 0; candidate && c < named; ++c)
            candidate = row[c] == selected[c];
        if (!candidate)
            continue;
        uint64_t score = 0;
        for (size_t c = named + 1; c < row.size() && score < never; ++c) {
            if (!(row[c] == selected[c]))
                score += row[c] == wanted_values_[c] ? 1 : 2;
            score *= 3;
        }
        if (score < best_score) {
            best_score = score;
            best_row = r;
        }
    }
    if (best_row == rows_.size())
        return false;
    selected_row_ = static_cast<uint32_t>(best_row);
    return true;
}

bool Hardware::filter_rows(const String& name, const std::vector<String>& allowed)
{
    const int column = find_column(name);
    if (column < 0)
        return false;
    std::vector<Row> kept;
    for (Row& row : rows_) {
        for (const String& value : allowed) {
            if (row[static_cast<size_t>(column)] == value) {
                kept.push_back(std::move(row));
                break;
            }
        }
    }
    rows_ = std::move(kept);
    selected_row_ = 0;
    if (rows_.empty())
        return false;
    for (size_t r = 1; r < rows_.size(); ++r) {
        if (nearer_wanted(rows_[r], rows_[selected_row_]))
            selected_row_ = static_cast<uint32_t>(r);
    }
    return true;
}

String Hardware::get_attribute_value(const String& name) const
{
    const int column = find_column(name);
    if (column < 0 || rows_.empty())
        return String();
    return rows_[selected_row_][static_cast<size_t>(column)];
}

std::vector<String> Hardware::get_column_values(const String& name) const
{
    std::vector<String> values;
    const int column = find_column(name);
    if (column < 0 || rows_.empty())
        return values;
    const size_t named = static_cast<size_t>(column);
    const Row& selected = rows_[selected_row_];
    for (const Row& row : rows_) {
        bool agrees = true;
        for (size_t c = 0; agrees && c < named; ++c)
            agrees = row[c] == selected[c];
        if (!agrees)
            continue;
        bool seen = false;
        for (const String& value : values)
            seen = seen || value == row[named];
        if (!seen)
            values.push_back(row[named]);
    }
    return values;
}

bool Hardware::set_mode(platform::WindowHandle window)
{
    if (rows_.empty()) {
        write_log("Hardware Selector: empty attributes table, bailing out\n");
        return false;
    }
    return set_mode_internal(window, rows_[selected_row_]);
}

int Hardware::find_column(const String& name) const
{
    for (size_t c = 0; c < attribute_names_.size(); ++c) {
        if (attribute_names_[c] == name)
            return static_cast<int>(c);
    }
    return -1;
}

// The distance to the wanted values counts a mismatch per column in base 3, the first
// column weighing most; comparing the mismatches column by column orders rows the same
// way without overflowing on wide tables.
bool Hardware::nearer_wanted(const Row& a, const Row& b) const
{
    for (size_t c = 0; c < wanted_values_.size(); ++c) {
        const bool a_differs = !(a[c] == wanted_values_[c]);
        const bool b_differs = !(b[c] == wanted_values_[c]);
        if (a_differs != b_differs)
            return b_differs;
    }
    return false;
}

logs::Stream& operator<<(logs::Stream& stream, Flush)
{
    threads::ScopedLock lock(stream);
    stream.flush();
    return stream;
}

String clean_name(const String& name)
{
    String cleaned;
    for (const char* p = name.data(); p != name.data_end(); ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 33 && c <= 122 && c != '$')
            cleaned.append(p, p + 1);
    }
    return cleaned;
}

} // namespace vadu::lib3d::hard
