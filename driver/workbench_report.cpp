#include "driver/workbench_report.h"

#include <string>

#include "driver/identity_reply.h"
#include "driver/report.h"

bool checkReceivedChecksums(const ChecksumRule& rule, const BulkOptions& bulk,
                            const std::vector<uint8_t>& received) {
    if (!rule.roland) {
        return true;
    }
    const std::vector<ChecksumMismatch> mismatches = findChecksumMismatches(received, rule);
    for (const ChecksumMismatch& mismatch : mismatches) {
        const std::string text = checksumMismatchText(received, mismatch);
        if (bulk.save) {
            reportError(text + "; " + bulk.savePath + " not written");
        } else {
            writeLineToStderr("warning: " + text + "\n");
        }
    }
    return mismatches.empty() || !bulk.save;
}

int reportIdentityReplies(const std::vector<uint8_t>& received, int32_t inDevice,
                          int32_t timeoutSeconds) {
    const std::vector<IdentityReply> replies = findIdentityReplies(received);
    if (replies.empty()) {
        return reportError("no identity reply from MIDI input device " + std::to_string(inDevice) +
                           " within " + std::to_string(timeoutSeconds) +
                           (timeoutSeconds == 1 ? " second" : " seconds"));
    }
    std::string lines;
    for (const IdentityReply& reply : replies) {
        lines += identityLine(reply) + "\n";
    }
    return writeResult(lines) ? 0 : outputFailed();
}
