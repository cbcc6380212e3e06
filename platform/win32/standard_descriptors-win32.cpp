#include "platform/standard_descriptors.h"

// Nothing to do: the C runtime keeps descriptors 0 to 2 for the standard streams even when the
// process has no such handles (their writes fail), and the system's handles are not numbered
// slots that a new file could take.
void occupyClosedStandardDescriptors() {}
