// Thousands of damaged copies of valid files fed to every reader: each one
// answers with a ZEP error or a message, never a crash or a foreign
// exception, and the file it read is left as it was.
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "common/ZepError.h"
#include "design/GemAngles.h"
#include "runner/RaytraceImages.h"
#include "mapper/MapStore.h"
#include "optimize/TargetFile.h"
#include "settings/PreferencesFile.h"
#include "settings/SavedStateFile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using namespace zep;

namespace {

// One random damage: flip, insert, delete, cut, duplicate a run, or splice
// in bytes that matter to the readers.
QByteArray mutate(QByteArray b, QRandomGenerator& rng)
{
    static const QByteArray tokens[] = {",", "\"", "\r\n", "\n", "#TRUE#", "1e999", "-", ".", "END",
                                        QByteArray("\0", 1), "\xff\xff\xff\xff", "ZEP"};
    const int edits = 1 + int(rng.bounded(4));
    for (int e = 0; e < edits; ++e) {
        const qsizetype at = b.isEmpty() ? 0 : qsizetype(rng.bounded(quint32(b.size())));
        switch (rng.bounded(6)) {
        case 0:
            if (!b.isEmpty())
                b[at] = char(rng.bounded(256));
            break;
        case 1: b.insert(at, tokens[rng.bounded(int(std::size(tokens)))]); break;
        case 2: b.remove(at, 1 + qsizetype(rng.bounded(8))); break;
        case 3: b.truncate(at); break;
        case 4: b.insert(at, b.mid(at, 1 + qsizetype(rng.bounded(40)))); break;
        default:
            for (int i = 0; i < 8 && at + i < b.size(); ++i)
                b[at + i] = char(rng.bounded(256));
        }
    }
    return b;
}

} // namespace

class TestRobustness : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QRandomGenerator rng{20261206};

    // Writes each mutant to disk, runs the reader and checks the outcome.
    void fuzz(const QByteArray& valid, int rounds, const std::function<void(const QString&)>& read)
    {
        const QString p = dir.filePath(QStringLiteral("mutant"));
        int errors = 0;
        for (int i = 0; i < rounds; ++i) {
            const QByteArray m = i == 0 ? QByteArray() : i == 1 ? valid : mutate(valid, rng);
            writeFileSafely(p, m);
            try {
                read(p);
            } catch (const ZepError&) {
                ++errors;
            } catch (const std::exception& e) {
                QFAIL(qPrintable(QStringLiteral("foreign exception %1 for mutant %2").arg(e.what()).arg(i)));
            }
            QCOMPARE(readFileBytes(p), m); // nothing on disk is lost or changed
        }
        qInfo("%d mutants, %d raised an error", rounds, errors);
    }

private slots:
    void preferences()
    {
        Preferences p;
        const QByteArray valid = preferencesBytes(p);
        fuzz(valid, 3000, [](const QString& path) {
            Preferences prefs;
            RecordingSink sink;
            GetPrefs(path, prefs, sink); // reports, never throws
        });
        // a huge file without a line end: read, answered, nothing stored
        const QString huge = dir.filePath(QStringLiteral("huge.txt"));
        writeFileSafely(huge, "\"ZEPPrefs\",1\r\n\"ATol\"," + QByteArray(8 << 20, '7'));
        Preferences prefs;
        RecordingSink sink;
        GetPrefs(huge, prefs, sink);
        QCOMPARE(sink.messages, QStringList{QStringLiteral("Error  6 (Overflow) in GetPrefs routine")});
        QCOMPARE(prefs.ATol, 0.05f);
    }

    void savedState()
    {
        JobState job;
        OptimizationTargets targets;
        WindowPositions pos;
        DesignFileExchange design;
        job.fnam = QStringLiteral("/x/SRB.gem");
        job.olPav = 41.5f;
        targets.doTilt = true;
        const QByteArray valid = savedStateBytes({job, targets, pos, design});
        fuzz(valid, 3000, [](const QString& path) {
            JobState j;
            OptimizationTargets t;
            WindowPositions w;
            DesignFileExchange d;
            RecordingSink sink;
            readSavedState(path, {j, t, w, d}, sink);
        });
    }

    void targetFile()
    {
        KvWriter w;
        OptimizationTargets t;
        t.theSMsk = QStringLiteral("/m/s.bmp");
        WriteOpt6(w, t);
        w.string(QStringLiteral("END"), QStringLiteral("/m/t.TXT"));
        fuzz(w.bytes(), 3000, [](const QString& path) {
            OptimizationTargets targets;
            RecordingSink sink;
            LoadTargetFile(path, targets, sink);
        });
    }

    void designFiles()
    {
        for (const char* name : {"SRB.gem", "Turkey.gem"}) {
            const QByteArray valid = readFileBytes(QStringLiteral(ZEP_DESIGNS_DIR "/") + QLatin1String(name));
            const QString work = dir.filePath(QStringLiteral("B"));
            fuzz(valid, 1500, [&](const QString& path) {
                const GemAngleLists l = ParseFile(path, work);
                for (const QString& a : l.pav + l.crn) {
                    const double v = a.toDouble();
                    QVERIFY(v >= 1 && v <= 89);
                }
            });
        }
    }

    void mapFile()
    {
        MapStore run;
        run.MFMax = 5;
        const QByteArray valid = mfmBytes(run);
        fuzz(valid.left(4096), 500, [](const QString& path) {
            MapStore m;
            RecordingSink sink;
            loadMfm(path, m, sink);
        });
    }

    void maskBitmap()
    {
        BitmapTemplates t;
        Header8 map{};
        buildAllTemplates(t, map);
        const QString valid = dir.filePath(QStringLiteral("valid.bmp"));
        writeBitmap(valid, t.BMP_Header, Pixels{});
        fuzz(readFileBytes(valid), 2000, [&](const QString& path) {
            Header8 shared = t.BMP_Header;
            Pixels mask{};
            try {
                BMP2Byte(path, mask, shared);
            } catch (const ZepError&) {
                QVERIFY(shared == t.BMP_Header); // a refused mask changes nothing
                throw;
            }
        });
    }
};

QTEST_GUILESS_MAIN(TestRobustness)
#include "test_robustness.moc"
