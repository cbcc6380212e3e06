// The width of the terminal that standard error shows on, for a line that is rewritten in
// place: a line wider than the terminal wraps, and rewriting or clearing it then leaves its
// first part behind.
#pragma once

// Columns of the terminal on standard error as it is now (it may be resized at any time);
// 0 when standard error is no terminal or its size is unknown.
int terminalColumns();
