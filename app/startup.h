// Start-up, the main message loop and shutdown.
#pragma once
#include <windows.h>
#include <string_view>

// True when the command-line tail asks for the setup dialog: "INSTALL" in any letter case,
// and nothing else.
bool isInstallCommand(std::string_view commandTail);

// The program: start-up, message loop, shutdown. Returns the exit code, 0 on every path.
int runTavinel(HINSTANCE instance, const char* commandTail);
