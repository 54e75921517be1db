#pragma once
// Nothing of a stopped process's own making stays behind. Files being
// written (staging files), lock files and the folders made for them are
// registered here for as long as they exist; a program that asks for it
// (the command line) has SIGINT, SIGTERM and SIGHUP remove them all before
// the process ends as the signal says, so that neither a temporary file of
// megabytes nor a lock outlives a Ctrl-C. What `kill -9` leaves, the next
// run removes (RemoveStaleStagingFiles).
//
// A path is registered before it is made, so that once the signal's
// cleanup has begun nothing new can appear: whoever registers then waits
// for the end.

#include <string>

// A file to remove on a stop, until PGKeepOnStop.
void PGRemoveOnStop(const std::string& path);
// A folder to remove on a stop when it is empty, after the files, until
// PGKeepOnStop; folders go in the reverse order of their registration.
void PGRemoveFolderOnStop(const std::string& path);
// The path is not to be removed any more (taken its place, or gone).
void PGKeepOnStop(const std::string& path);

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread, and so in every
// thread it starts afterwards, and starts the thread that waits for them:
// it removes what is registered, then ends the process by the signal.
// Call once, before any other thread is started.
void PGCleanUpOnStopSignals();
