#pragma once

#include <functional>

namespace lumo {

// Turns SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl+C) into a call of
// `onSignal` with the signal's number, made from the event loop of the thread that installed
// it, so the program can end as it does normally. Call once, after the application object
// exists. Elsewhere than on Unix it does nothing.
void installQuitOnSignals(std::function<void(int signal)> onSignal);

} // namespace lumo
