#pragma once

// Name-keyed factories for the body and joint elements of world files.

#include <map>

#include "vadu/atom.h"
#include "vadu/singleton.h"

namespace physics {

class World;
class Node;
class Joint;

// The create functions of one base type, by type name (ordered by the atom's number).
template <class Base>
class Creator {
public:
    using Function = Base* (*)(World*);

    // Replaces an earlier registration of the name.
    void Register(const vadu::Atom& name, Function create) { functions_[name] = create; }
    // A new object for the world (which then owns it); null for a name not registered.
    Base* Make(const vadu::Atom& name, World* world) const
    {
        const auto found = functions_.find(name);
        return found == functions_.end() ? nullptr : found->second(world);
    }

    // Through the creator singleton, made when missing.
    static Base* Create(const vadu::Atom& name, World* world)
    {
        return vadu::Singleton<Creator<Base>>::Instance().Make(name, world);
    }

private:
    std::map<vadu::Atom, Function> functions_;
};

template <class Base>
class Factory {
public:
    static void Register(const vadu::Atom& name, typename Creator<Base>::Function create)
    {
        vadu::Singleton<Creator<Base>>::Instance().Register(name, create);
    }
};

// Registers T under its name in the creator of Base.
template <class T, class Base>
class Registrator {
public:
    explicit Registrator(const char* name) { Factory<Base>::Register(vadu::Atom(name), &Make); }

private:
    static Base* Make(World* world) { return new T(world); }
};

// "Node", "Box", "Circle".
class NodeFactory : public Factory<Node> {
public:
    NodeFactory();
};

// "DistanceJoint", "RevoluteJoint", "MouseJoint".
class JointFactory : public Factory<Joint> {
public:
    JointFactory();
};

// The body or joint kind of that name for the world, making its factory first; null for
// a name not registered.
Node* CreateNode(const vadu::Atom& name, World* world);
Joint* CreateJoint(const vadu::Atom& name, World* world);

// Forgets both factories and creators, as at program start. For tests.
void ResetFactories();

} // namespace physics
