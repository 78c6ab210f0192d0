#pragma once
// Runs the explorer: Simple MAPI bound, the window shown, the message loop, shutdown.
void RunKitlens();
