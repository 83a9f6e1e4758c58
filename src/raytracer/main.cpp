// gemray: console ray tracer for faceted gemstones. See CommandLine.h for the
// command line; the run writes the wanted raw images and "Gemray.log" in the
// current folder.
#include "raytracer/CommandLine.h"
#include "raytracer/Run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv)
{
    using namespace gemray;
#ifdef __GLIBC__
    // One heap for all threads: a helper thread's first free would set up a
    // heap of its own, fresh memory that a run of a few milliseconds feels.
    mallopt(M_ARENA_MAX, 1);
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (wantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.empty()) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    // In raw mode a program waits for the log: a refusal is written down too.
    const bool raw = std::find(args.begin(), args.end(), "-g") != args.end();
    const auto refuse = [raw](const char* reason, int status) {
        std::fprintf(stderr, "gemray: %s\n", oneLine(reason).c_str());
        if (raw)
            writeRefusal(reason);
        return status;
    };
    try {
        const auto start = std::chrono::steady_clock::now();
        const RunRequest request = parseCommandLine(args, threadsFromEnvironment(std::getenv(kThreadsVariable)));
        const RunOutcome o = runGemray(request);
        if (!request.quiet) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            std::printf("%s: ISO %.2f  COS %.2f  random %.2f  leak %.2f %%  (%.0f ms, %d thread%s)\n",
                        oneLine(o.title).c_str(), o.render.isoBrightness, o.render.cosBrightness,
                        o.render.randomBrightness, o.render.leakPercent, ms, request.threads,
                        request.threads == 1 ? "" : "s");
        }
        return 0;
    } catch (const UsageError& e) {
        return refuse(e.what(), 2);
    } catch (const std::exception& e) {
        return refuse(e.what(), 1);
    }
}
