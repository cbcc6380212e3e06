// Profile (INI file) reads in a row. Between the two calls, this thread's reads of a file may
// all answer from the first look at it, as a program reading many keys in a row wants; outside
// them, every read looks at the file again. Windows' own reader needs no notice of them.
#pragma once

void beginProfileReads();
void endProfileReads();
