// Benchmark of reading GemCAD's text export (.asc), which gemray does on every
// run of a text design: the text read, the facet polygons worked out from the
// planes and the stone checked.
//
// Times SRB.asc (73 facets), then a made-up design of about 9,600 facets (a
// girdle and a pavilion of 4,800 facets each on fractional indices, a crown of 8
// and a table), near the reader's limit of 10,000. The last lines are
//   ms_per_read_srb: <median milliseconds>
//   ms_per_read_large: <median milliseconds>   (the headline)
//
// Usage: bench_asc [repeats]
#include "raytracer/AscFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef ZEP_DESIGNS_DIR
#define ZEP_DESIGNS_DIR "."
#endif

using Clock = std::chrono::steady_clock;

namespace {

// Median milliseconds of `repeats` reads of `text`.
double msPerRead(const std::string& text, int repeats, std::size_t& facets)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::vector<double> ms;
    for (int r = 0; r < repeats; ++r) {
        const auto start = Clock::now();
        facets = gemray::parseAsc({bytes, text.size()}, "bench").facets.size();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

std::string tier(const char* head, double first)
{
    std::string s = head;
    char index[32];
    for (int k = 0; k < 4800; ++k) {
        std::snprintf(index, sizeof index, " %.2f", first + 0.02 * k);
        s += index;
    }
    return s + "\n";
}

} // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const auto bytes = gemray::readDesignBytes(std::string(ZEP_DESIGNS_DIR) + "/SRB.asc");
    const std::string srb(bytes.begin(), bytes.end());
    const std::string large = "GemCad 5.0\ng 96 0.0\ny 1 n\nI 1.54\nH Large\n" + tier("a -90 1", 0) +
                              tier("a -42 0.9", 0.01) + "a 35 0.9 1 13 25 37 49 61 73 85\na 0 0.45 96\n";
    std::size_t facets = 0;
    const double small = msPerRead(srb, repeats * 20, facets);
    std::printf("facets_srb: %zu\n", facets);
    const double big = msPerRead(large, repeats, facets);
    std::printf("facets_large: %zu\n", facets);
    std::printf("ms_per_read_srb: %.3f\n", small);
    std::printf("ms_per_read_large: %.1f\n", big);
    return 0;
}
