// Stand-in entry point until the main window exists.
#include "platform/RtMidiPorts.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--list-devices") == 0) {
        RtMidiPorts ports;
        const int count = ports.Count();
        for (int i = 0; i < count; ++i) {
            if (const auto name = ports.Name(i)) std::printf("%d\t%s\n", i, name->c_str());
        }
        return 0;
    }
    std::puts("QuarnEdit Version 1.1 beta 6");
    return 0;
}
