// The options that answer a question about the tool instead of running an exchange.
#pragma once

// -help: the usage text and one line for each option. False when standard output refused it.
bool printHelp();

// -version: "midiparley" and the version. False when standard output refused it.
bool printVersion();
