// Ending a packing run early on SIGINT, SIGTERM or SIGHUP, after its
// temporary files are removed.
#pragma once

/// Installs handlers that only note the signal. Call once from main.
void InstallInterruptHandlers();

/// True once one of the signals has arrived.
bool Interrupted();

/// When a signal arrived, ends the process by that signal (with the
/// default disposition restored); otherwise returns.
void ExitIfInterrupted();
