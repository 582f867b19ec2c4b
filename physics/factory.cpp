#include "physics/factory.h"

#include "physics/joint.h"
#include "physics/node.h"

namespace physics {

NodeFactory::NodeFactory()
{
    Registrator<Node, Node>("Node");
    Registrator<Box, Node>("Box");
    Registrator<Circle, Node>("Circle");
}

JointFactory::JointFactory()
{
    Registrator<DistanceJoint, Joint>("DistanceJoint");
    Registrator<RevoluteJoint, Joint>("RevoluteJoint");
    Registrator<MouseJoint, Joint>("MouseJoint");
}

Node* CreateNode(const vadu::Atom& name, World* world)
{
    vadu::Singleton<NodeFactory>::Instance();
    return Creator<Node>::Create(name, world);
}

Joint* CreateJoint(const vadu::Atom& name, World* world)
{
    vadu::Singleton<JointFactory>::Instance();
    return Creator<Joint>::Create(name, world);
}

void ResetFactories()
{
    vadu::Singleton<NodeFactory>::Destroy();
    vadu::Singleton<JointFactory>::Destroy();
    vadu::Singleton<Creator<Node>>::Destroy();
    vadu::Singleton<Creator<Joint>>::Destroy();
}

} // namespace physics
