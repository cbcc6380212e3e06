// Device names as the tool compares and shows them. The system gives them in UTF-8 (ALSA,
// JACK) or in Windows' ANSI code page; `utf8` says which (platform/device_names.h). Bytes that
// do not form UTF-8 are taken as they are.
#pragma once

#include <string>

// text with letter case folded, for comparing names regardless of case: simple case folding
// of Latin, Greek, Cyrillic and Armenian letters in UTF-8, of ASCII letters otherwise.
std::string foldedCase(const std::string& text, bool utf8);

// text safe to show on a terminal: control characters (and in UTF-8, the C1 controls and
// bytes that are no UTF-8) written as \xNN, one escape a byte; printable text as it is.
std::string terminalText(const std::string& text, bool utf8);
