// The monitor's side of the configuration: loading its host table, and
// starting the setup program when there is nothing to load or the user asks
// for it.
#pragma once

// Fills gHostTable or ends the process: with no key or no hosts it starts
// the setup program and ends with exit status 1.
void LoadHostTable();

// Leaves gHostTable without hosts and without an array.
void FreeHostTable();

// Starts the setup program; a failure is reported in a box.
void LaunchSetup();
