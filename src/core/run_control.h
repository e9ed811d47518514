// The program's main routine: command line, start-up, the workers, the bases,
// the status screen and the closing log lines.
#pragma once

#include "core/command_line.h"
#include "run/run.h"

namespace quorix::core {

constexpr int kUnsupportedPauseMs = 10000;

// Runs the program for one command line on a prepared Run; returns the exit code.
int RunProgram(run::Run& run, const CommandLine& command_line, const char* argv0);

// The process entry: real clock, sleeper and console.
int RunMain(int argc, char** argv);

}  // namespace quorix::core
