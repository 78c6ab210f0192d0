#pragma once
// Runs the builder: splash, form set, message loop, shutdown.
void RunKitpress();
