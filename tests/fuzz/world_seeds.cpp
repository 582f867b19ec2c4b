// Writes the seed corpus of world_fuzz into the folder given as the argument: small world
// files covering every element, and the project's own world files.

#include <filesystem>
#include <fstream>
#include <string>

namespace {

const char* const seeds[] = {
    "<World/>",
    R"(<World Gravity="0 -10" PixelsInMeter="30" VelocityIterations="8" PositionIterations="3"/>)",
    R"(<World><Circle Name="a" SceneNode="s" Attached="false" Radius="30" Center="1 2"><BodyType Value="DynamicBody"/>
       <Position Value="300 150"/><Rotation Value="0.5"/><LinearVelocity Value="1 2"/><AngularVelocity Value="1"/>
       <LinearDamping Value="0.1"/><AngularDamping Value="0.1"/><AllowSleep Value="false"/><Awake Value="true"/>
       <FixedRotation Value="false"/><Bullet Value="true"/><Active Value="true"/><GravityScale Value="2"/>
       <Mass Value="0.1"/><Fixture><Density Value="1"/><Friction Value="0.3"/><Restitution Value="0.5"/>
       <IsSensor Value="false"/><Group Value="-1"/></Fixture></Circle></World>)",
    R"(<World><Box Name="b" Size="60 30" Center="5 5"/><Box Name="c" Width="10" Height="20"/><Node Name="n"/>
       <DistanceJoint Name="j"><BodyA Value="b"/><BodyB Value="c"/><Length Value="60"/><FrequencyHz Value="7.5"/>
       <DampingRatio Value="0.5"/><LocalAnchorA Value="1 1"/><LocalAnchorB Value="0 0"/>
       <CollideConnected Value="false"/></DistanceJoint>
       <RevoluteJoint><BodyA Value="n"/><BodyB Value="b"/><LocalAnchorA Value="0 0"/><LocalAnchorB Value="0 0"/>
       <ReferenceAngle Value="0"/><LowerAngle Value="-1"/><UpperAngle Value="1"/><MaxMotorTorque Value="5"/>
       <MotorSpeed Value="1"/><EnableLimit Value="true"/><EnableMotor Value="true"/></RevoluteJoint>
       <MouseJoint><BodyA Value="n"/><BodyB Value="c"/><Target Value="10 10"/><MaxForce Value="100"/>
       <Frequency Value="5"/><Damping Value="0.7"/></MouseJoint>
       <Joint Type="Distance"><BodyA Value="b"/><BodyB Value="c"/></Joint></World>)",
    // A spring between two bodies without mass.
    R"(<World><Circle Name="a" Radius="10"><BodyType Value="KinematicBody"/><LinearVelocity Value="30 0"/></Circle>
       <Circle Name="b" Radius="10"><BodyType Value="KinematicBody"/><Position Value="90 0"/></Circle>
       <DistanceJoint><BodyA Value="a"/><BodyB Value="b"/><Length Value="60"/><FrequencyHz Value="4"/>
       </DistanceJoint></World>)",
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    int index = 0;
    for (const char* seed : seeds)
        std::ofstream(folder / ("seed" + std::to_string(index++) + ".world"), std::ios::binary) << seed;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(QUILLO_DATA_FOLDER, error)) {
        if (entry.path().extension() == ".world")
            std::filesystem::copy_file(entry.path(), folder / entry.path().filename(),
                                       std::filesystem::copy_options::overwrite_existing, error);
    }
    return 0;
}
