#pragma once

// What the two implementations share with common.cpp.

namespace vemo::platform::internal {

// The longest path PendingRemoval keeps, with its terminating zero.
inline constexpr int kMaxPendingPath = 4096;

// Removes a file from a signal handler (POSIX) or a console control handler (Windows): calls
// only what those may call.
void remove_from_handler(const char* path);

}  // namespace vemo::platform::internal
