// The allocator's contract: memory never runs out quietly. Every allocation
// of the launcher goes through operator new (std::string, std::vector and
// the like), and a failed one ends the process.
#pragma once

/// Makes a failed allocation flush standard output, print "Out of memory"
/// through perror (so that the system's error text follows) and end the
/// process with exit status 1; exit handlers run. Call once, first thing in
/// main.
void InstallOutOfMemoryHandler();
