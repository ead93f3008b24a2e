// Entry point of tavinel.exe.
#include "startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int) {
    return runTavinel(instance, commandTail);
}
