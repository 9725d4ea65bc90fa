// One run: trace the program and what it starts, serve their calls, turn the first
// program's end into the runner's exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "vfs/descriptors.h"
#include "vfs/file_system.h"
#include "process/event_loop.h"

namespace vornos::kernel {

class TestHooks;

// Runs `program` (PROGRAM and ARGS) with `input`, `output` and `error` as its descriptors
// 0-2, and every program it starts, until it ends; whatever it started and still runs is
// ended then. Returns the exit status of its exit call, or 128 + the signal that killed it,
// or the status of a stop (stop_status) when the run was stopped from outside or timed out.
// Throws ExecFailure when Linux will not run the program, HostFailure when tracing fails.
int run_program(const std::vector<std::string>& program, FileSystem* file_system, TestHooks* hooks, Device& input,
                Device& output, Device& error, const RunSettings& settings);

}  // namespace vornos::kernel
