// Damaged copies of valid files fed to every reader: each answers with a ZEP error or a message, never
// a crash or a foreign exception, and the file it read is left as it was.
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "common/ZepError.h"
#include "design/GemAngles.h"
#include "mapper/MapStore.h"
#include "optimize/TargetFile.h"
#include "runner/RaytraceImages.h"
#include "settings/PreferencesFile.h"
#include "settings/SavedStateFile.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using namespace zep;

namespace {

// One to four random damages: flip, insert a byte that matters to the readers, delete, cut, or duplicate a run.
QByteArray damage(QByteArray b, QRandomGenerator& rng)
{
    static const QByteArray tokens[] = {",", "\"", "\r\n", "\n", "#TRUE#", "1e999", "-", ".", "END",
                                        QByteArray("\0", 1), "\xff\xff\xff\xff", "ZEP"};
    for (int e = 1 + int(rng.bounded(4)); e > 0; --e) {
        const qsizetype at = b.isEmpty() ? 0 : qsizetype(rng.bounded(quint32(b.size())));
        switch (rng.bounded(5)) {
        case 0: if (!b.isEmpty()) b[at] = char(rng.bounded(256)); break;
        case 1: b.insert(at, tokens[rng.bounded(int(std::size(tokens)))]); break;
        case 2: b.remove(at, 1 + qsizetype(rng.bounded(8))); break;
        case 3: b.truncate(at); break;
        default: b.insert(at, b.mid(at, 1 + qsizetype(rng.bounded(40))));
        }
    }
    return b;
}

} // namespace

class TestRobustness : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QRandomGenerator rng{20261206};

    void fuzz(const QByteArray& valid, int rounds, const std::function<void(const QString&)>& read)
    {
        const QString p = dir.filePath(QStringLiteral("damaged"));
        for (int i = 0; i < rounds; ++i) {
            const QByteArray m = i == 0 ? QByteArray() : i == 1 ? valid : damage(valid, rng);
            QFile f(p); // written plainly: a safe write syncs the disk every time
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(m) == m.size());
            f.close();
            try {
                read(p);
            } catch (const ZepError&) {
            } catch (const std::exception& e) {
                QFAIL(qPrintable(QStringLiteral("foreign exception %1 for damaged copy %2").arg(e.what()).arg(i)));
            }
            QCOMPARE(readFileBytes(p), m); // nothing on disk is lost or changed
        }
    }

private slots:
    void textFiles()
    {
        RecordingSink sink;
        fuzz(preferencesBytes(Preferences()), 1500, [&](const QString& path) {
            Preferences prefs;
            GetPrefs(path, prefs, sink); // reports, never throws
        });
        JobState job;
        OptimizationTargets targets;
        WindowPositions pos;
        DesignFileExchange design;
        job.fnam = QStringLiteral("/x/SRB.gem");
        targets.theSMsk = QStringLiteral("/m/s.bmp");
        fuzz(savedStateBytes({job, targets, pos, design}), 1500,
             [&](const QString& path) { readSavedState(path, {job, targets, pos, design}, sink); });
        KvWriter w;
        WriteOpt6(w, targets);
        w.string(QStringLiteral("END"), QStringLiteral("/m/t.TXT"));
        fuzz(w.bytes(), 1500, [&](const QString& path) { LoadTargetFile(path, targets, sink); });
    }

    void binaryFiles()
    {
        const QString work = dir.filePath(QStringLiteral("B"));
        fuzz(readFileBytes(QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem")), 1500, [&](const QString& path) {
            const GemAngleLists l = ParseFile(path, work);
            for (const QString& a : l.pav + l.crn)
                QVERIFY(a.toDouble() >= 1 && a.toDouble() <= 89);
        });
        RecordingSink sink;
        fuzz(mfmBytes(MapStore()).left(4096), 300, [&](const QString& path) {
            MapStore m;
            loadMfm(path, m, sink);
        });
        BitmapTemplates t;
        Header8 map{};
        buildAllTemplates(t, map);
        writeBitmap(dir.filePath(QStringLiteral("valid.bmp")), t.BMP_Header, Pixels{});
        fuzz(readFileBytes(dir.filePath(QStringLiteral("valid.bmp"))), 1000, [&](const QString& path) {
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
