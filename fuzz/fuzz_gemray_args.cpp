// gemray's command line: the input is its arguments, one per line.
#include "raytracer/CommandLine.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace gemray;
    std::vector<std::string> args(1);
    for (std::size_t k = 0; k < size; ++k) {
        if (data[k] == '\n')
            args.emplace_back();
        else
            args.back() += char(data[k]);
    }
    wantsHelp(args);
    threadsFromEnvironment(args.front().c_str());
    try {
        const RunRequest r = parseCommandLine(args, 3);
        if (r.threads < 1 || r.threads > kMaxThreads || r.subRays < 1 || r.imageSize < 1)
            __builtin_trap(); // a request the tracer cannot run was let through
    } catch (const UsageError&) {
    }
    return 0;
}
