#include "vadu/animate/command_list.h"

#include <algorithm>

#include "vadu/converter.h"

namespace vadu::animate {

namespace {

class ExecuteLoader : public xml::ObjectANSI {
public:
    explicit ExecuteLoader(Execute& execute) : execute_(execute) {}

    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        if (name == "Time")
            return converter::convert(value, &execute_.time);
        if (name == "Name")
            return converter::convert(value, &execute_.name);
        return false;
    }

private:
    Execute& execute_;
};

} // namespace

bool Command::bind(Animatable* root, bool recursive) { return target.bind(root, target_path, recursive); }

void Command::set_time(double t)
{
    const double previous = last_time;
    last_time = t;
    const bool backward = t < previous;
    for (const Execute& execute : executes) {
        const bool fires = backward ? (execute.time > previous || execute.time <= t)
                                    : (previous < execute.time && execute.time <= t);
        if (!fires)
            continue;
        // Asked again for every entry: a sequence may end its own object's life.
        Animatable* object = target.get();
        if (!object)
            return;
        object->play_sequence(execute.name);
    }
}

bool Command::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Target")
        return converter::convert(value, &target_path);
    return false;
}

bool Command::OnNode(xml::Provider& provider, const String& name)
{
    if (!(name == "Execute"))
        return false;
    executes.emplace_back();
    ExecuteLoader loader(executes.back());
    return provider.ParseObject(loader);
}

bool CommandList::bind(Animatable* root, bool recursive)
{
    bool all_found = true;
    for (Command& command : commands)
        all_found = command.bind(root, recursive) && all_found;
    return all_found;
}

void CommandList::set_time(double t)
{
    for (Command& command : commands)
        command.set_time(t);
}

double CommandList::get_length() const
{
    double length = 0.0;
    for (const Command& command : commands)
        length = std::max(length, command.last_execute_time());
    return length;
}

bool CommandList::OnNode(xml::Provider& provider, const String& name)
{
    if (!(name == "Command"))
        return false;
    commands.emplace_back();
    return provider.ParseObject(commands.back());
}

} // namespace vadu::animate
