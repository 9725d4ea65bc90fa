// The records behind stdin, stdout and stderr; private to the stdio unit.
#pragma once

#include <stdio.h>

// C linkage so that the stream operations that must leave these records alone can name them.
extern "C" {
extern FILE g_stdin;
extern FILE g_stdout;
extern FILE g_stderr;
}
