#include "driver/program.h"

#include <string>

#include "driver/device_choice.h"
#include "driver/device_list.h"
#include "driver/exchange.h"
#include "driver/program_info.h"
#include "driver/report.h"
#include "driver/run_request.h"

int runProgram(int argc, const char* const* argv) {
    RunRequest request;
    std::string errorText;
    const bool read = readRunRequest(argc, argv, request, errorText);
    setQuiet(request.quiet);
    // A name given before an error in the options comes first, as it would have as a number.
    ChosenDevices devices;
    std::string deviceError;
    if (request.kind == RunKind::Exchange &&
        !chooseDevices(request, read ? &devices : nullptr, deviceError)) {
        return reportUsageError(deviceError);
    }
    if (!read) {
        return reportUsageError(errorText);
    }
    switch (request.kind) {
        case RunKind::Help:
            return printHelp() ? 0 : outputFailed();
        case RunKind::Version:
            return printVersion() ? 0 : outputFailed();
        case RunKind::List:
            return printDeviceList() ? 0 : outputFailed();
        case RunKind::Exchange:
            break;
    }
    return runExchange(request, devices);
}
