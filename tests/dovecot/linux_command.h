// Linux programs run from a Windows test program under Wine: the test run's
// servers and their helpers, through a *-from-wine script of tests/support.
#pragma once

#include <string>

// Runs `script` (a Linux path) with `arguments` (a command line's tail) and
// waits until it has ended. True when it exited 0; its output goes to
// `output`, and to the test's output when it failed.
bool RunLinuxScript(const std::string& script, const std::string& arguments, std::string& output);

// Wine names the Linux root Z:.
std::string WindowsPath(const std::string& linuxPath);

// The whole file, or nothing when it cannot be read.
std::string ReadWhole(const std::string& windowsPath);
