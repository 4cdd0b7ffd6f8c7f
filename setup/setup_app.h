// The setup program's start-up: the dialog, modal and without an owner, and
// the end of the program when it ends. The application holds no state of its
// own; the dialog owns the model.
#pragma once

#include <windows.h>

class SetupApp {
public:
    // The program's exit status.
    int Run(HINSTANCE instance);
};
