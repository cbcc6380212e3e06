#include "platform/profile_reads.h"

void beginProfileReads() {}

void endProfileReads() {}
