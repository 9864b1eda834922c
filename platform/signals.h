#pragma once

#include <functional>

namespace lumo {

// Turns SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl+C) into a call of
// `onSignal` with the signal's number, made from the event loop of the thread that installed
// it, so the program can end as it does normally. Call once, after the application object
// exists. Elsewhere than on Unix it does nothing.
void installQuitOnSignals(std::function<void(int signal)> onSignal);

// The number of the last of those signals that arrived once installQuitOnSignals was called,
// 0 while none has: for work that does not return to the event loop. Any thread may ask.
int quitSignalReceived();

} // namespace lumo
