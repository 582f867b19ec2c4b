#pragma once

// Command tracks: named sequences started on a scene object when an animation's time
// passes given moments ("Commands" / "Command" / "Execute" in animation files).

#include <vector>

#include "vadu/animate/animatable.h"
#include "vadu/animate/node_path.h"
#include "vadu/atom.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace vadu::animate {

// One "Execute": the sequence to start and when.
struct Execute {
    Atom name;
    double time = 0.0;
};

// The entries for one target (element "Command", attribute "Target": a "|" path).
class Command : public xml::ObjectANSI {
public:
    // Points the command at the object its path names from the root; false when none.
    bool bind(Animatable* root, bool recursive);
    // Starts (play_sequence) every entry the move from the previous time to t passes:
    // going forward those in (previous, t]; going backward, taken as the wrap of a loop,
    // those after the previous time and those up to t. Each fires at most once per call.
    void set_time(double t);
    // The time of the last entry in file order; 0 without entries.
    double last_execute_time() const { return executes.empty() ? 0.0 : executes.back().time; }

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    bool OnNode(xml::Provider& provider, const String& name) override;

    std::vector<Execute> executes;
    // Before the first set_time, so that the rewind to 0 fires the entries at 0.
    double last_time = -1.0;
    TargetRef target;
    NodePath target_path;
};

// Every command of an animation (element "Commands"), in file order.
class CommandList : public xml::ObjectANSI {
public:
    // Binds every command; true only when all of them found their target.
    bool bind(Animatable* root, bool recursive);
    void set_time(double t);
    // The largest of 0 and every command's last entry time.
    double get_length() const;

    bool OnNode(xml::Provider& provider, const String& name) override;

    std::vector<Command> commands;
};

} // namespace vadu::animate
