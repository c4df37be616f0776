// Run-time loading of the X11/Motif toolkit.
#pragma once

/// The toolkit's entry points, looked up by name in the Motif library.
struct X11Funcs;

/// What kept the graphical interface from loading.
enum class X11Failure {
  kNoDisplay,  // no display can be reached (or there is no X library at all)
  kNoToolkit,  // the display is reachable, but the toolkit can't be loaded or started
};

/// Loads the toolkit, connects to the display and starts the event thread
/// on first use; returns the function table, or null (and switches output to
/// the console) when the graphical interface can't be used. Then, when
/// failure is given, it says why: a missing or incomplete Motif library is
/// told apart from an unreachable display by connecting without it.
X11Funcs* LoadX11(bool connect, X11Failure* failure = nullptr);
