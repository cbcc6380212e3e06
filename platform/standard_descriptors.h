// The standard streams belong to the program. Started with one of them closed, it would hand
// that number to the next file or socket it opens (a MIDI system's connection, say), and text
// meant for standard output would land there.
#pragma once

#ifdef _WIN32
// Nothing to do: the C runtime keeps descriptors 0 to 2 for the standard streams even when the
// process has no such handles (their writes fail), and the system's handles are not numbered
// slots that a new file could take.
inline void occupyClosedStandardDescriptors() {}
#else
// Fills each of descriptors 0, 1 and 2 that is closed with one on which a write fails, as on a
// closed descriptor, with "Bad file descriptor", and which names no file that could be written
// through /dev/stdout. Called first thing in main; a few system calls.
void occupyClosedStandardDescriptors();
#endif
