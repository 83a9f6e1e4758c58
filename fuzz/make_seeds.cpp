// Writes the fuzz targets' seeds that ZEP's own writers make: maps, saved
// states and results, preferences and target files, each as written and cut
// short, into <folder>/<target>/.
#include "common/KeyValue.h"
#include "mapper/MapPicture.h"
#include "mapper/MapStore.h"
#include "optimize/TargetFile.h"
#include "settings/PreferencesFile.h"
#include "settings/SavedStateFile.h"

#include <QDir>
#include <QFile>
#include <cstdio>

using namespace zep;

namespace {

void put(const QString& folder, const QString& target, const QString& name, const QByteArray& bytes)
{
    QDir().mkpath(folder + u'/' + target);
    QFile f(folder + u'/' + target + u'/' + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);

    MapStore map;
    setGridLimits(map, 38, 46, 20, 40);
    fillAxes(map);
    for (int k = 0; k < MapCells; ++k) {
        map.MFGrid[k] = 100 + float(k % 17);
        map.ISOGrid[k] = map.IBGrid[k] = float(k) / 3;
    }
    map.CMFMin = map.MFMin = 100, map.CMFMax = map.MFMax = 116;
    map.GemImages[5] = map.RowEndImages[7] = 200;
    const QByteArray mfm = mfmBytes(map);
    put(out, "fuzz_map", "whole.MFM", mfm);
    put(out, "fuzz_map", "no-row-ends.MFM", mfm.left(MfmFileSize));
    put(out, "fuzz_map", "head.MFM", mfm.left(4096));

    JobState job;
    job.olPav = 41.5f, job.olCrn = 28, job.theMat = QStringLiteral("Quartz");
    OptimizationTargets targets;
    targets.doIll = true;
    WindowPositions positions;
    DesignFileExchange design;
    design.FDDir = QStringLiteral("/home/cutter/designs"), design.FDFile = QStringLiteral("SRB.gem");
    const QByteArray state = savedStateBytes(SavedStateRefs{job, targets, positions, design});
    put(out, "fuzz_state", "ZEPLast.txt", state);
    put(out, "fuzz_state", "cut.txt", state.left(state.size() / 2));
    put(out, "fuzz_state", "ZEPResult.txt", lastResultBytes({QStringLiteral("/designs/SRB.gem"), 45.98f, 28.1f, 69.2f, 143.8f}));

    Preferences prefs;
    prefs.Threads = 2;
    put(out, "fuzz_prefs", "ZEPPrefs.txt", preferencesBytes(prefs));

    KvWriter w;
    WriteOpt6(w, targets);
    w.string(QStringLiteral("END"), QStringLiteral("/targets/t.txt"));
    put(out, "fuzz_targets", "targets.txt", w.bytes());
    return 0;
}
