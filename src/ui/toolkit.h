// Run-time loading of the X11/Motif toolkit.
#pragma once

/// The toolkit's entry points, looked up by name in the Motif library.
struct X11Funcs;

/// Loads the toolkit, connects to the display and starts the event thread
/// on first use; returns the function table, or null (and switches output to
/// the console) when the graphical interface can't be used.
X11Funcs* LoadX11(bool connect);
