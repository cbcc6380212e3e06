// What -checksum and -identify say about the input a run received: the Roland data messages
// whose checksum does not fit, and a line for each instrument that told who it is.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/run_request.h"

// With -checksum: one line per received Roland DT1 message whose checksum does not fit its
// bytes, a warning, or with -save an error, as a file holding a corrupt message must not
// replace a good one. True when the received bytes may be saved.
bool checkReceivedChecksums(const ChecksumRule& rule, const BulkOptions& bulk,
                            const std::vector<uint8_t>& received);

// With -identify: one line per identity reply on standard output, or the error line that none
// came. Returns the run's status so far: 0, or 1 (also when standard output refused the
// lines, which is then written).
int reportIdentityReplies(const std::vector<uint8_t>& received, int32_t inDevice,
                          int32_t timeoutSeconds);
