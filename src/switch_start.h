// The start of a run given switches, between reading the trailer and the
// wizard.
#pragma once
#include <stdint.h>

// Acts on the switches of this run once the trailer is read; logFailure is
// what ReadRunSwitches returned. Returns only when the wizard is to run
// (with /D, /X or an accepted /P); a package that forbids switches, help,
// a switch not known, and a silent run end the process here.
void StartWithSwitches(uint32_t logFailure);
