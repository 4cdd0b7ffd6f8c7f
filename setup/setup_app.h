// The setup program's start-up: the dialog, modal and without an owner, and
// the end of the program when it ends.
#pragma once

#include <windows.h>

class SetupApp {
public:
    // The program's exit status.
    int Run(HINSTANCE instance);
};
