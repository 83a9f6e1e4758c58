// zeptool movie: a tilt movie of a design, as the PlayPen's Make Movie makes
// it, with its frames raytraced several at a time, each worker a gemray of
// its own in a working folder of its own.
#include "study/Jobs.h"
#include "study/JobOptions.h"
#include "study/Workplace.h"

#include "common/FileIO.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "movie/MovieFile.h"
#include "recut/CuttingList.h"
#include "recut/Recut.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <atomic>
#include <cmath>

namespace zep::tool {

const char* const MovieUsage =
    "DESIGN [--angles PAV CRN] [--material NAME | --ri N [--disp D]] (--rock DIR | --orbit) --tilt T "
    "[--frames N] [--image random|cos|iso|colour] [--scale K] [-j N] -o OUT.gif|OUT.webp [--csv FRAMES.csv]";

namespace {

int wholeNumber(Arguments& args, const char* option, int lo, int hi)
{
    const QString text = args.take((std::string("the value after ") + option).c_str());
    const bool number = IsNumber(text);
    const double n = number ? StrictNumber(text) : 0;
    if (!number || !(n >= lo && n <= hi && n == std::floor(n)))
        throw UsageError(std::string(option) + " takes a whole number from " + std::to_string(lo) + " to "
                         + std::to_string(hi) + ", not \"" + local(text) + "\"");
    return int(n);
}

float inRange(Arguments& args, const char* what, const BoxRange& range)
{
    const double x = args.number(what);
    if (!range.holds(x))
        throw UsageError(std::string(what) + " must be a number " + local(range.text()));
    return float(x);
}

// The frames raytraced by `parallel` workers, each taking the next frame
// not yet taken. A refusal or a failure stops every worker; its reason is
// raised once all have ended.
std::vector<MovieFrame> traceFrames(const JobState& job, const MovieGem& gem, const MovieSpec& spec,
                                    int parallel, int& raytraces)
{
    const std::vector<FrameTilt> tilts = frameTilts(spec);
    std::vector<MovieFrame> frames(tilts.size());
    std::vector<std::unique_ptr<Workplace>> places;
    for (int k = 0; k < std::min<int>(parallel, int(tilts.size())); ++k) {
        places.push_back(std::make_unique<Workplace>());
        copyFileSafely(job.fnam, joinPath(places.back()->dir.path(), QStringLiteral("P")));
    }
    std::atomic<int> next{0}, traced{0};
    std::atomic<bool> stop{false};
    QMutex lock;
    QString failure;
    const auto fail = [&](const QString& why) {
        QMutexLocker hold(&lock);
        if (failure.isEmpty())
            failure = why;
        stop = true;
    };
    std::vector<std::unique_ptr<QThread>> workers;
    for (auto& place : places) {
        Workplace* w = place.get();
        workers.emplace_back(QThread::create([&, w] {
            {
                RaytraceRunner runner(w->runnerEnv(job), playPenRunnerSettings(job.olPav, job.olCrn, job.fnam));
                for (int k = next++; k < int(tilts.size()) && !stop; k = next++) {
                    try {
                        if (!traceFrame(runner, gem, spec.image, tilts[std::size_t(k)], frames[std::size_t(k)]))
                            fail(w->messages.messages.join(QStringLiteral(" | ")));
                    } catch (const std::exception& e) {
                        fail(QString::fromStdString(failureText(e)));
                    }
                }
                traced += runner.statistics().raytraces;
            }
            // The ray tracer's process belongs to this thread.
            w->port.reset();
        }));
        workers.back()->start();
    }
    for (auto& worker : workers)
        worker->wait();
    if (!failure.isEmpty())
        throw ZepError(err::InvalidCall, QStringLiteral("the movie was not made: ") + failure);
    raytraces = traced;
    return frames;
}

} // namespace

int movieCommand(Arguments& args, std::ostream& out)
{
    const QString design = args.take("the design file");
    JobOptions material;
    std::optional<std::pair<float, float>> angles;
    std::optional<float> tilt;
    MovieSpec spec;
    bool rock = false, orbit = false;
    int scale = DefaultMovieScale, parallel = QThread::idealThreadCount();
    QString output, csv;
    while (!args.atEnd()) {
        const QString a = args.option("an option");
        if (a == QLatin1String("--angles")) {
            const float pav = inRange(args, "the pavilion angle after --angles", AngleRange);
            angles = {pav, inRange(args, "the crown angle after --angles", AngleRange)};
        } else if (a == QLatin1String("--material")) {
            material.material = args.take("the material after --material");
        } else if (a == QLatin1String("--ri")) {
            material.ri = float(args.number("the refractive index after --ri"));
        } else if (a == QLatin1String("--disp")) {
            material.disp = float(args.number("the dispersion after --disp"));
        } else if (a == QLatin1String("--rock")) {
            rock = true;
            spec.sweep = Sweep::Rock;
            spec.dir = int16_t(wholeNumber(args, "--rock", 1, 8));
        } else if (a == QLatin1String("--orbit")) {
            orbit = true;
            spec.sweep = Sweep::Orbit;
        } else if (a == QLatin1String("--tilt")) {
            tilt = inRange(args, "the tilt after --tilt", MovieTiltRange);
        } else if (a == QLatin1String("--frames")) {
            spec.frames = wholeNumber(args, "--frames", int(MovieFramesRange.lo), int(MovieFramesRange.hi));
        } else if (a == QLatin1String("--image")) {
            const QString name = args.take("the image after --image");
            const std::optional<MovieImage> image = movieImageNamed(name);
            if (!image)
                throw UsageError("--image takes random, cos, iso or colour, not \"" + local(name) + "\"");
            spec.image = *image;
        } else if (a == QLatin1String("--scale")) {
            scale = wholeNumber(args, "--scale", 1, MaxMovieScale);
        } else if (a == QLatin1String("-j")) {
            parallel = wholeNumber(args, "-j", 1, 256);
        } else if (a == QLatin1String("-o")) {
            output = args.take("the movie's name after -o");
        } else if (a == QLatin1String("--csv")) {
            csv = args.take("the frame table's name after --csv");
        } else {
            throw UsageError("unknown option " + local(a));
        }
    }
    if (rock == orbit)
        throw UsageError(rock ? "give --rock DIR or --orbit, not both" : "give the sweep with --rock DIR or --orbit");
    if (!tilt)
        throw UsageError("give the tilt in degrees with --tilt T");
    spec.tilt = *tilt;
    if (output.isEmpty())
        throw UsageError("name the movie with -o OUT.gif or -o OUT.webp");
    const QString kind = QFileInfo(output).suffix().toLower();
    if (kind != QLatin1String("gif") && kind != QLatin1String("webp"))
        throw UsageError("\"" + local(output) + "\" must end in .gif or .webp");
    Job j;
    const bool ownIndex = material.material.isEmpty() && !material.ri && !material.disp;
    if (!ownIndex)
        setMaterial(material, j);
    if (spec.image == MovieImage::Colour && ownIndex)
        throw UsageError("--image colour needs the index and dispersion: give --material NAME or --ri N --disp D");
    QStringList outputs{output};
    if (!csv.isEmpty())
        outputs << csv;
    checkOutputs(outputs, {design});

    // The design's own angles are the old ones (its main tiers).
    const MainAngles main = mainAngles(loadDesign(design));
    JobState& job = j.job;
    job.fnam = QFileInfo(design).absoluteFilePath();
    job.olPav = float(main.pavilion);
    job.olCrn = float(main.crown);
    const auto [pav, crn] = angles.value_or(std::pair{job.olPav, job.olCrn});
    const MovieGem gem{pav, crn, ownIndex ? 0.0f : job.theRI, ownIndex ? 0.0f : job.theDisp, {255, 255, 255}};

    QElapsedTimer clock;
    clock.start();
    int raytraces = 0;
    Movie movie{spec, traceFrames(job, gem, spec, parallel, raytraces)};
    QList<QPair<QString, QByteArray>> files{{output, movieBytes(movie, output, scale, DefaultMovieDelayCs)}};
    if (!csv.isEmpty())
        files.append({csv, frameCsv(movie)});
    writeFilesTogether(files);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;

    const char* images[] = {"random", "cos", "iso", "colour"};
    out << "movie of " << local(QDir::toNativeSeparators(design)) << ": "
        << (spec.sweep == Sweep::Rock ? "rock in direction " + std::to_string(spec.dir) + " from -" : std::string("orbit at "))
        << local(NumText(spec.tilt).trimmed()) << (spec.sweep == Sweep::Rock ? " to " + local(NumText(spec.tilt).trimmed()) : "")
        << " degrees, " << spec.frames << ' ' << images[int(spec.image)] << " frames, " << raytraces << " raytraces, "
        << QString::number(seconds, 'f', 2).toStdString() << " s\n";
    const int side = ImageSide * scale;
    out << "wrote " << local(QDir::toNativeSeparators(output)) << " (" << movie.savedOrder().size() << " frames of "
        << side << " x " << side << ")\n";
    if (!csv.isEmpty())
        out << "wrote " << local(QDir::toNativeSeparators(csv)) << '\n';
    return 0;
}

} // namespace zep::tool
