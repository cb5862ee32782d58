#pragma once

#include "cli/arguments.h"

namespace vemo {

// vemo-convert --watch: converts each data file that arrives in the folders (args.files) into
// args.output_dir, once, with the report as its ledger, until SIGINT or SIGTERM. Returns the exit
// status: 0 after a stop, 2 when the report, a folder or the output folder cannot be used.
int watch(const CliArguments& args);

// Whether a file of this name may be taken: not hidden, and not what a collector uploads under
// before it renames the file (".tmp", ".part", ".filepart").
bool watch_takes_name(std::string_view name);

}  // namespace vemo
