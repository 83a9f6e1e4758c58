#include "playpen/PlayPen.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "merit/Evaluation.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace zep {

namespace {

const QString Mode = QStringLiteral("PLAY");

// The current images and their reference copies.
const std::array<QString, 3> Current{QStringLiteral("ZEPr.BMP"), QStringLiteral("ZEPc.BMP"),
                                     QStringLiteral("ZEPi.BMP")};
const std::array<QString, 3> Reference{QStringLiteral("ZEPRefR.BMP"), QStringLiteral("ZEPRefC.BMP"),
                                       QStringLiteral("ZEPRefI.BMP")};

} // namespace

RunnerSettings playPenRunnerSettings(const float& POlPav, const float& POlCrn, const QString& playFile)
{
    RunnerSettings s;
    s.routine = QStringLiteral("PGemRay");
    s.files = QStringLiteral("P R C I");
    s.olPav = &POlPav;
    s.olCrn = &POlCrn;
    s.designFile = &playFile;
    s.commandLimit = 100;
    s.lastImage = QStringLiteral("I");
    s.bitmaps = {{QStringLiteral("C"), Current[1]}, {QStringLiteral("I"), Current[2]},
                 {QStringLiteral("R"), Current[0]}};
    return s;
}

TiltFigures tiltFigures(const std::array<float, 3>& iso)
{
    TiltFigures t;
    t.avg = (iso[0] + iso[1] + iso[2]) / 3;
    t.var = (std::fabs(iso[0] - t.avg) + std::fabs(iso[1] - t.avg) + std::fabs(iso[2] - t.avg)) / 3;
    return t;
}

TiltPlotScale tiltPlotScale(float PAng, float PlotMaxISO, float PlotMinISO)
{
    TiltPlotScale s;
    const double range = double(PlotMaxISO) - double(PlotMinISO);
    s.top = float(PlotMaxISO + 0.1 * range);
    s.height = PlotMaxISO > PlotMinISO ? float(-1.2 * range) : -0.001f;
    s.left = float(-0.1 * PAng);
    s.width = float(1.2 * PAng);
    return s;
}

QPointF TiltPlotScale::toPixel(double x, double y, QSizeF size) const
{
    return {(x - left) / width * size.width(), (y - top) / height * size.height()};
}

void fillColourChannel(ColourBuffer& buffer, const Pixels& bitmapPixels, int offset, int16_t colour)
{
    const double share = double(std::clamp<int16_t>(colour, 0, 255)) / 255;
    for (int i = 0; i < ImageSize; ++i) {
        const uint8_t p = bitmapPixels[std::size_t(i)];
        buffer[std::size_t(3 * i + offset)] = p == 255 ? 0 : uint8_t(Int(share * p));
    }
}

QByteArray colourBitmapBytes(const Header24& header, const ColourBuffer& buffer)
{
    QByteArray out(reinterpret_cast<const char*>(header.data()), qsizetype(header.size()));
    out.append(reinterpret_cast<const char*>(buffer.data()), qsizetype(buffer.size()));
    return out;
}

QStringList copyBitmapsBeside(const QString& workPath, const QString& folder)
{
    const QStringList names{QStringLiteral("ZEPR.BMP"), QStringLiteral("ZEPC.BMP"), QStringLiteral("ZEPI.BMP")};
    const QString work = workPath.isEmpty() ? QStringLiteral(".") : workPath;
    QList<QByteArray> images;
    for (const QString& name : names) {
        const QString found = findNoCase(work, {name});
        if (found.isEmpty())
            throw ZepError(err::FileNotFound);
        images << readFileBytes(joinPath(work, found));
    }

    const auto refuse = [](const QString& path) {
        return ZepError(err::PermissionDenied,
                        QStringLiteral("%1 cannot be written. The .BMP files were not copied.")
                            .arg(QDir::toNativeSeparators(path)));
    };
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        throw refuse(folder);
    // Every copy is written whole before any file is replaced.
    QList<QPair<QString, QByteArray>> files;
    for (int k = 0; k < 3; ++k) {
        const QString existing = findNoCase(folder, {names[k]});
        files.append({joinPath(folder, existing.isEmpty() ? names[k] : existing), images[k]});
    }
    try {
        writeFilesTogether(files);
    } catch (const ZepError& e) {
        throw ZepError(e.number(), e.userMessage() + QStringLiteral(" The .BMP files were not copied."));
    }
    QStringList written;
    for (const auto& file : files)
        written << file.first;
    return written;
}

QString bitmapsWrittenText(const QStringList& paths)
{
    QStringList names;
    for (const QString& p : paths)
        names << QFileInfo(p).fileName();
    const QString folder = paths.isEmpty() ? QString() : QFileInfo(paths.first()).absolutePath();
    return QStringLiteral("Wrote %1 in %2").arg(names.join(QStringLiteral(", ")), QDir::toNativeSeparators(folder));
}

PlayPen::PlayPen(RunnerEnv env, PlayPenValues& values)
    : m_values(values),
      m_runner(std::make_unique<RaytraceRunner>(env, playPenRunnerSettings(f.POlPav, f.POlCrn, values.PlayFile)))
{
}

void PlayPen::open()
{
    const RunnerEnv& env = m_runner->env();
    for (const char* name : {"B", "P", "R", "C", "I"})
        removeIfExists(workFile(QLatin1String(name)));
    copyFileSafely(env.job.fnam, workFile(QStringLiteral("P")));
    m_values.PlayFile = env.job.fnam;
    f = PlayPenFields{};
    f.POlPav = env.job.olPav;
    f.POlCrn = env.job.olCrn;
    if (!env.job.theMat.isEmpty())
        m_values.playMat = env.job.theMat;
    m_runner->env().AbortFlag = false;
}

void PlayPen::PGemRay(float pav, float crn, float ri, float xtilt, float ytilt, float& iso, float& cos)
{
    m_runner->doGemRay(pav, crn, ri, xtilt, ytilt, iso, cos, Mode);
}

RaytraceEnd PlayPen::stopEnd()
{
    // A refusal was told at once and leaves the window as it was: the next
    // Raytrace may go. A time-out or Cancel leaves only Cancel.
    if (!m_runner->refused() || m_runner->env().shell.TimedOut)
        return RaytraceEnd::Aborted;
    m_runner->env().AbortFlag = false;
    return RaytraceEnd::Refused;
}

RaytraceEnd PlayPen::refuse(const QString& message)
{
    m_runner->env().messages.message(message);
    return RaytraceEnd::Refused;
}

namespace {
// An index of 0 raytraces at the design's own.
constexpr BoxRange IndexRange{1, 10, true, false, true};
constexpr BoxRange DispersionRange{0, 1};
constexpr BoxRange TiltRange{0, 89.9};
} // namespace

std::optional<PlayPen::Typed> PlayPen::readBoxes(const RaytraceBoxes& boxes)
{
    // Every box is checked before anything is stored or raytraced: a value
    // the ray tracer would refuse is named here, at once.
    Typed t;
    t.pav = ToSingle(ReadBox(boxes.pav, QStringLiteral("Pavilion Angle"), AngleRange));
    t.crn = ToSingle(ReadBox(boxes.crn, QStringLiteral("Crown Angle"), AngleRange));
    t.ri = ToSingle(ReadBox(boxes.ri, QStringLiteral("Refractive Index"), IndexRange));
    t.disp = ToSingle(ReadBox(boxes.disp, QStringLiteral("Dispersion"), DispersionRange));
    // Without a direction the previous direction and angle are kept and no
    // tilt is applied.
    t.tilted = !boxes.dir.trimmed().isEmpty();
    t.dir = f.PDir;
    t.ang = f.PAng;
    if (t.tilted) {
        t.dir = ToInteger(ReadBox(boxes.dir, QStringLiteral("Tilt Direction"), BoxRange{}));
        if (t.dir < 1 || t.dir > 8) {
            refuse(QStringLiteral("ERROR - Select 1-8 for tilt direction"));
            return std::nullopt;
        }
        // An empty angle is no tilt (a tilt evaluation asks for one below).
        t.ang = boxes.ang.trimmed().isEmpty() ? 0.0f
                                              : ToSingle(ReadBox(boxes.ang, QStringLiteral("Tilt Angle"), TiltRange));
    }
    return t;
}

QString PlayPen::colourIndexText()
{
    return QStringLiteral("Please specify a refractive index (and dispersion): a colour raytrace needs an index above 1 "
                          "in the box \"Refractive Index\" (0 is the design's own index, without dispersion).");
}

RaytraceEnd PlayPen::raytrace(const RaytraceBoxes& boxes, PlayMode mode)
{
    const std::optional<Typed> typed = readBoxes(boxes);
    if (!typed)
        return RaytraceEnd::Refused;
    const bool tilted = typed->tilted;
    f.PPav = typed->pav;
    f.PCrn = typed->crn;
    f.PRI = typed->ri;
    f.PDisp = typed->disp;
    float x = 0, y = 0;
    if (tilted) {
        f.PDir = typed->dir;
        f.PAng = typed->ang;
        Dir2Ang(f.PDir, f.PAng, x, y);
    }
    f.doPTilt = mode == PlayMode::Tilt;
    f.doRGB = mode == PlayMode::Colour;

    float iso = 0, cos = 0;
    if (f.doPTilt) {
        // A tilt evaluation needs a tilt: an angle and a typed direction.
        if (f.PAng == 0 || f.PDir == 0 || !tilted)
            return refuse(QStringLiteral("Please enter a tilt angle and direction"));
        f.PAvgISO = f.PVarISO = 0;
        // Full tilt, half tilt, no tilt.
        const float tx[3] = {0, x / 2, x}, ty[3] = {0, y / 2, y};
        for (int k = 2; k >= 0; --k) {
            PGemRay(f.PPav, f.PCrn, f.PRI, tx[k], ty[k], iso, cos);
            if (aborted())
                return stopEnd();
            f.PTiltISO[std::size_t(k)] = iso;
        }
        const TiltFigures t = tiltFigures(f.PTiltISO);
        f.PAvgISO = t.avg;
        f.PVarISO = t.var;
        f.hasTilt = true;
    } else if (f.doRGB) {
        if (f.PRI == 0)
            return refuse(colourIndexText());
        const RunnerEnv& env = m_runner->env();
        // Red at the low index, green at the index, blue at the high index.
        const float ri[3] = {f.PRI - f.PDisp / 2, f.PRI, f.PRI + f.PDisp / 2};
        const int16_t colour[3] = {env.job.theRCol, env.job.theGCol, env.job.theBCol};
        for (int k = 0; k < 3; ++k) {
            PGemRay(f.PPav, f.PCrn, ri[k], x, y, iso, cos);
            if (aborted())
                return stopEnd();
            fillColourChannel(m_values.RGBBuffer, env.images.ImagePixels, 2 - k, colour[k]);
        }
        writeWorkingFile(workFile(Current[0]), colourBitmapBytes(env.bitmaps.RGBMap_Header, m_values.RGBBuffer));
    } else {
        PGemRay(f.PPav, f.PCrn, f.PRI, x, y, iso, cos);
        if (aborted())
            return stopEnd();
    }
    f.PISO = iso;
    f.PCOS = cos;
    return RaytraceEnd::Done;
}

void PlayPen::makeRefValues()
{
    f.RPav = f.PPav;
    f.RCrn = f.PCrn;
    f.RRI = f.PRI;
    f.RDisp = f.PDisp;
    f.RISO = f.PISO;
    f.RCOS = f.PCOS;
    f.RAvgISO = f.PAvgISO;
    f.RVarISO = f.PVarISO;
    f.RTiltISO = f.PTiltISO;
    f.refHasTilt = f.hasTilt;
}

void PlayPen::copyRefImages()
{
    for (std::size_t k = 0; k < Current.size(); ++k)
        copyFileSafely(workFile(Current[k]), workFile(Reference[k]));
}

void PlayPen::loadDesign(const QString& path, float olPav, float olCrn)
{
    copyFileSafely(path, workFile(QStringLiteral("P")));
    m_values.PlayFile = path;
    f.POlPav = olPav;
    f.POlCrn = olCrn;
    // Nothing of the previous design stays current: its figures, its tilt
    // curve and its images (which Make Ref and Make BMP would copy).
    f.PISO = f.PCOS = f.PAvgISO = f.PVarISO = 0;
    f.PTiltISO = {};
    f.hasTilt = false;
    for (const QString& image : Current)
        removeIfExists(workFile(image));
}

bool PlayPen::setPlotLimits(float maxISO, float minISO)
{
    if (!(maxISO > minISO)) {
        m_runner->env().messages.message(
            QStringLiteral("The plot's maximum ISO (%1) must lie above its minimum (%2). The limits stay as they were.")
                .arg(NumTextBare(maxISO), NumTextBare(minISO)));
        return false;
    }
    f.PlotMaxISO = maxISO;
    f.PlotMinISO = minISO;
    return true;
}

} // namespace zep
