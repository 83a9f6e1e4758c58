// The gemray command line:
//
//   gemray -p <old pav> <pav> -c <old crn> <crn> [-g] [-i <index>] [-x <xtilt>]
//          [-y <ytilt>] [-q <rays>] [-s <pixels>] [-t <threads>]
//          <design> <random> <cosine> <iso>
//   gemray --help
//
// Options may come in any order. Angles are in degrees. "N" in an image position
// means that image is not written. -g writes the raw images and shows nothing on
// the console; without it a one-line summary is printed. -q sets the sub-rays per
// pixel side (default 2), -s the image side in pixels (default 120), -t the
// threads that share the trace (default GEMRAY_THREADS from the environment, else
// 1); the files written do not depend on the number of threads.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace gemray {

// A command line that cannot be run. what() is one line naming the problem.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RunRequest {
    double oldPavilion = 0.0, pavilion = 0.0;
    double oldCrown = 0.0, crown = 0.0;
    std::optional<double> refractiveIndex; // the design's own when not given
    double xTilt = 0.0, yTilt = 0.0;
    bool quiet = false;                    // -g
    int subRays = 2;
    int imageSize = 120;
    int threads = 1;                       // -t
    std::string design, randomImage, cosineImage, isoImage; // "N": not written
};

// Angles and indices that make sense for a stone; outside them the angle
// change overflows or the figures mean nothing.
inline constexpr double kMinAngle = 0.1, kMaxAngle = 89.9; // degrees
inline constexpr double kMaxIndex = 10.0;                  // and above 1

// The most threads one trace may ask for (-t, GEMRAY_THREADS).
inline constexpr int kMaxThreads = 256;
// The environment variable that gives the threads when -t is not given.
inline constexpr const char* kThreadsVariable = "GEMRAY_THREADS";

// True when `index` lies in (1, kMaxIndex].
bool saneIndex(double index);

// Reads the arguments after the program name; `defaultThreads` stands when -t is
// not given. Throws UsageError.
RunRequest parseCommandLine(const std::vector<std::string>& args, int defaultThreads = 1);

// The threads that the value of GEMRAY_THREADS asks for (null: not set); 1 when
// it is not a whole number from 1 to kMaxThreads.
int threadsFromEnvironment(const char* value);

// Strict number reading: the whole text must be one finite decimal number.
// Throws UsageError naming `what` otherwise.
double parseNumber(const std::string& text, const std::string& what);

// The shortest text that reads back as `v` ("1.54", "1e+308").
std::string shortNumber(double v);

// The version of the traced figures: raised whenever a change of the tracer
// changes a merit function, so that results kept of an older one are told apart.
inline constexpr const char* kTracerVersion = "1";

// The usage line, the error for an empty command line.
extern const char* const kUsage;
// The usage line and what each option means (gemray --help).
extern const char* const kHelp;

// True when the arguments ask for the help text (-h or --help).
bool wantsHelp(const std::vector<std::string>& args);

} // namespace gemray
