// A target file from outside.
#include "common/Messages.h"
#include "optimize/TargetFile.h"

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zep;
    RecordingSink messages;
    OptimizationTargets t;
    try {
        readTargets(fuzz::bytes(data, size), t, messages);
    } catch (const ZepError&) {
        // reported by the caller with the standard message
    }
    return 0;
}
