// The saved state and the last result from outside.
#include "common/Messages.h"
#include "settings/SavedStateFile.h"

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zep;
    const QByteArray input = fuzz::bytes(data, size);
    RecordingSink messages;
    JobState job;
    OptimizationTargets targets;
    WindowPositions positions;
    DesignFileExchange design;
    parseSavedState(input, SavedStateRefs{job, targets, positions, design}, messages);
    parseLastResult(input);
    return 0;
}
