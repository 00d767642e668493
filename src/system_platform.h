// system, platform side: what the platform files hand one another, behind system.h.
#pragma once

// The window just created takes the input: nothing pending, the cursor hidden and held in it.
void StartInput();
// The window's teardown: the cursor stays hidden and, in a page, the pointer and the screen go back to
// the browser for good.
void EndInput();
