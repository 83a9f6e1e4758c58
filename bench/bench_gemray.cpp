// Benchmark of the gemray ray tracer.
//
// Times whole runs (read the design, trace, write the three raw images and the log
// into a scratch folder) of SRB.gem at the default quality, as ZEP starts them, on
// one core and, taking turns with them, the same runs with two threads (gemray -t 2).
// Then sweeps the pavilion from 38 to 46 degrees in 0.1 degree steps on one core and
// reports brightness and time per run. The last lines are
//   ms_per_run_2: <median milliseconds of the runs with two threads>
//   ms_per_run: <median milliseconds of the runs on one core>   (the headline)
//
// Usage: bench_gemray [design.gem] [repeats]
#include "raytracer/PlaneSearch.h"
#include "raytracer/Run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#ifndef ZEP_DESIGNS_DIR
#define ZEP_DESIGNS_DIR "."
#endif

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string design = argc > 1 ? argv[1] : std::string(ZEP_DESIGNS_DIR) + "/SRB.gem";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;

    const fs::path dir = fs::temp_directory_path() /
                         ("bench_gemray_" + std::to_string(Clock::now().time_since_epoch().count()));
    fs::create_directories(dir);

    gemray::RunRequest request;
    request.oldPavilion = request.pavilion = 41.5;
    request.oldCrown = request.crown = 28.0;
    request.refractiveIndex = 1.54;
    request.design = design;
    request.randomImage = (dir / "R").string();
    request.cosineImage = (dir / "C").string();
    request.isoImage = (dir / "I").string();
    const std::string log = (dir / "Gemray.log").string();

    try {
        // Warm-up runs (page in the code, the file cache).
        for (int i = 0; i < 2; ++i)
            gemray::runGemray(request, log);

        // One thread and two take turns, so that both see the same load of
        // the machine; their bytes must agree.
        std::vector<double> times, times2;
        gemray::RunOutcome last;
        for (int i = 0; i < repeats; ++i) {
            auto start = Clock::now();
            last = gemray::runGemray(request, log);
            times.push_back(msSince(start));
            request.threads = 2;
            start = Clock::now();
            const gemray::RunOutcome two = gemray::runGemray(request, log);
            times2.push_back(msSince(start));
            request.threads = 1;
            if (two.render.isoImage != last.render.isoImage || two.render.isoBrightness != last.render.isoBrightness)
                throw std::runtime_error("two threads traced a different image");
        }
        const double ms = median(times), ms2 = median(times2);
        std::printf("design: %s (%d facets), index 1.54, pavilion 41.5, crown 28\n", design.c_str(),
                    last.facetCount);
        std::printf("images: %d x %d, %d x %d rays per pixel, three images and the log written\n",
                    last.render.imageSize, last.render.imageSize, request.subRays, request.subRays);
        std::printf("plane search: %s (GEMRAY_KERNEL=portable|sse2|avx2 picks another)\n",
                    gemray::search::kernelName(gemray::search::bestKernels().kind).c_str());
        std::printf("ISO %.3f  COS %.3f  random %.3f  leak %.3f %%\n", last.render.isoBrightness,
                    last.render.cosBrightness, last.render.randomBrightness, last.render.leakPercent);
        for (const auto& [label, t] : {std::pair{"one thread", &times}, std::pair{"two threads", &times2}})
            std::printf("runs, %s: %d  min %.2f ms  median %.2f ms  max %.2f ms\n", label, repeats,
                        *std::min_element(t->begin(), t->end()), median(*t), *std::max_element(t->begin(), t->end()));
        std::printf("two threads / one: %.2f\n", ms2 / ms);

        // Pavilion sweep, the way the optimizer walks an angle.
        std::printf("\npavilion sweep 38.0 to 46.0 by 0.1 (old pavilion 41.5, crown 28), one thread:\n");
        std::printf("%8s %9s %9s %9s %9s\n", "pav", "ISO", "COS", "leak%", "ms");
        std::vector<double> sweep;
        const auto sweepStart = Clock::now();
        for (int step = 380; step <= 460; ++step) {
            request.pavilion = step / 10.0;
            const auto start = Clock::now();
            const gemray::RunOutcome o = gemray::runGemray(request, log);
            const double t = msSince(start);
            sweep.push_back(t);
            std::printf("%8.1f %9.3f %9.3f %9.3f %9.2f\n", request.pavilion, o.render.isoBrightness,
                        o.render.cosBrightness, o.render.leakPercent, t);
        }
        const double total = msSince(sweepStart);
        std::printf("sweep: %zu runs in %.0f ms, mean %.2f ms per run, median %.2f ms per run\n", sweep.size(),
                    total, total / double(sweep.size()), median(sweep));
        fs::remove_all(dir);
        std::printf("ms_per_run_2: %.2f\n", ms2);
        std::printf("ms_per_run: %.2f\n", ms);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_gemray: %s\n", e.what());
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        return 1;
    }
    return 0;
}
