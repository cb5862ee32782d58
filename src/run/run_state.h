#pragma once

#include <cstdint>

namespace vemo {

// State that lives as long as the window and is used by the runs it starts.
struct RunState {
  bool trial = false;               // set by Show Sample; every run ends with it cleared
  std::int64_t record_counter = 0;  // records handed to the last run, skip lines included
};

}  // namespace vemo
