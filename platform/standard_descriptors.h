// The standard streams belong to the program. Started with one of them closed, it would hand
// that number to the next file or socket it opens (a MIDI system's connection, say), and text
// meant for standard output would land there.
#pragma once

// Fills each of descriptors 0, 1 and 2 that is closed with one on which a write fails, as on a
// closed descriptor, with "Bad file descriptor", and which names no file that could be written
// through /dev/stdout. Called first thing in main; a few system calls.
void occupyClosedStandardDescriptors();
