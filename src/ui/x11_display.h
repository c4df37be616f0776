// Reaching the X display without the toolkit: what both the Motif build and
// the build without it need to tell "no display" from "no toolkit". No X
// header is needed: libX11 is opened at run time.
#pragma once

/// Runs work on a thread of its own while the calling (main) thread waits
/// for it and acts on handled signals, and returns work's result: a server
/// that accepted the connection but never answers would hold a call of the
/// X library for good, and with it the run. Runs work on the calling thread
/// when no thread can be started.
bool RunWatchingSignals(bool (*work)());

/// True when the display that DISPLAY names takes a connection of the X
/// library (libX11, opened and closed again here); false without DISPLAY,
/// without the library or when the server can't be reached. Connects on a
/// thread of its own (RunWatchingSignals).
bool IsDisplayReachable();
