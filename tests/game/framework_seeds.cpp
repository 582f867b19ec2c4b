// Writes framework_fuzz's seed documents into the corpus folder given as the argument:
// one well-formed document of each kind, the kind in the first byte.

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s corpus-folder\n", argv[0]);
        return 2;
    }
    const std::string seeds[] = {
        std::string(1, '\0') +
            R"(<Game><Window Width="960" Height="640"/><ScreenFlow><Resource Path="fuzz/flow.xml"/></ScreenFlow>)"
            R"(<Strings><Resource Path="fuzz/strings.xml"/></Strings><Cursor><Resource Path="c"/></Cursor>)"
            R"(<Debug Activate="false"><Resource Path="fuzz/scene.xml"/></Debug></Game>)",
        std::string(1, '\1') +
            R"(<Flow Start="A"><Entry Name="A"><Screen><Resource Path="fuzz/screen.xml"/></Screen>)"
            R"(<Exit Name="N" Entry="$B"/><Exit Name="M" Entry="#Advance"/></Entry><Entry Name="B"><Selector Name="x"/></Entry>)"
            R"(<Trigger Name="T"><Exit Name="N" Entry="A"/></Trigger></Flow>)",
        std::string(1, '\2') +
            R"(<Screen BackendClass="Fuzz"><Scene RootName="S"><Camera><CameraParallel Width="10" Height="10"/></Camera>)"
            R"(<Resource Path="fuzz/scene.xml"/></Scene><Controls><Button Name="Play" Node="Play" Link="true">)"
            R"(<HitTest><Rectangle Value="0 0 1 1"/></HitTest><States><State Name="normal"><Animation/></State></States>)"
            R"(</Button><Resource Path="fuzz/controls.xml"/><Scroll Name="S"><ContentSize Value="10 10"/>)"
            R"(<PageSize Value="5 1"/></Scroll></Controls><Properties><Property Name="a" Value="b"/></Properties></Screen>)",
        std::string(1, '\3') +
            R"(<Controls><Button Name="Play" Node="Play"><Properties><Property Name="ExclusiveHandler" Value="true"/>)"
            R"(</Properties></Button><Slider Name="S"/><MoveButton Name="M"><HitTest><Rectangle Value="1 2 3 4"/>)"
            R"(</HitTest></MoveButton><TagButton Name="T"/><MouseEventForward Name="F"/><PanArea Name="P"/></Controls>)",
        std::string(1, '\4') +
            R"(<Chapter Name="default" Locale="en"><Section Name="default"><Phrase Name="play" Value="Play"/>)"
            R"(</Section></Chapter>)",
    };
    int index = 0;
    for (const std::string& seed : seeds) {
        std::ofstream file(std::string(argv[1]) + "/seed" + std::to_string(index++), std::ios::binary);
        file << seed;
        if (!file)
            return 1;
    }
    return 0;
}
