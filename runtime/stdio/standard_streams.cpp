// The three standard streams: static records and the pointers programs use to reach them.
#include "standard_streams.h"

// Initialised statically: nothing runs at start-up. Standard error leaves through
// descriptor 1, like standard output, since a process of the system has no descriptor 2.
FILE g_stdin = {STREAM_FD, 0, nullptr, nullptr, 0, 0, nullptr, nullptr, 0, 0, 0};
FILE g_stdout = {STREAM_FD, 1, nullptr, nullptr, 0, 0, nullptr, nullptr, 0, 0, 0};
FILE g_stderr = {STREAM_FD, 1, nullptr, nullptr, 0, 0, nullptr, nullptr, 0, 0, 0};

FILE* stdin = &g_stdin;
FILE* stdout = &g_stdout;
FILE* stderr = &g_stderr;
