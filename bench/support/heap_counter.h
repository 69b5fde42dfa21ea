// Counts every heap block the process takes, C and C++ alike, so that a
// benchmark can report allocations per operation.  Linking heap_counter.cpp
// into a benchmark replaces malloc, calloc and realloc with counting forms.
#pragma once

// Heap blocks taken since the program started.
long HeapBlocksTaken();
