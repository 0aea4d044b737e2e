// Test support: changing a file behind the launcher's back the way another
// program might, in place, keeping its size and putting its modification
// time back, so that only the change time (and the bytes) tell.
#pragma once

#include <string>

// Waits, bounded, until the clock that stamps file times has moved past the
// file's last change, so that the next change gets a change time of its
// own. False when the file cannot be read or the clock did not move.
bool wait_past_change_of(const std::string &path);

// Overwrites the first bytes of the file in place with other bytes of the
// same length and restores its access and modification times. 0 or -1.
int change_keeping_size_and_mtime(const std::string &path);
