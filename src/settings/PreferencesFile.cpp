#include "PreferencesFile.h"
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"

#include <QThread>
#include <algorithm>

namespace zep {

namespace {

// A tolerance from a file that ZEP would not take in its box: an error, so
// that the file's later values are not read as if it were whole.
float cuttingTolerance(float t)
{
    if (!(t >= 0 && t <= 1))
        throw ZepError(err::InvalidCall, QStringLiteral("The cutting tolerance %1 in ZEPPrefs.txt must lie from 0 to 1 degree.")
                                             .arg(NumText(t).trimmed()));
    return t;
}

} // namespace

int gemrayThreads(const Preferences& prefs)
{
    if (prefs.Threads > 0)
        return std::min<int>(prefs.Threads, MaxThreads);
    return std::clamp(QThread::idealThreadCount(), 1, MaxThreads);
}

QByteArray preferencesBytes(const Preferences& prefs)
{
    KvWriter w;
    w.number(QStringLiteral("ZEPPrefs"), 1);
    w.number(QStringLiteral("ATol"), prefs.ATol);
    w.string(QStringLiteral("DosPaste"), prefs.DosPaste);
    w.number(QStringLiteral("Tout"), prefs.Tout);
    w.boolean(QStringLiteral("DoBat"), prefs.DoBat);
    w.boolean(QStringLiteral("DoTips"), prefs.DoTips);
    // Only a thread count that was set is written: the file of the defaults
    // keeps its seven lines, and other readers skip the key.
    if (prefs.Threads != 0)
        w.number(QStringLiteral("Threads"), prefs.Threads);
    // So are the cutting tolerance and its switch, each as one more line.
    if (prefs.CutTol != Preferences().CutTol)
        w.number(QStringLiteral("CutTol"), prefs.CutTol);
    if (prefs.CutRobust)
        w.boolean(QStringLiteral("CutRobust"), true);
    w.string(QStringLiteral("END"), QStringLiteral("ZEPPrefs"));
    return w.bytes();
}

void writePreferences(const QString& path, const Preferences& prefs)
{
    writeFileSafely(path, preferencesBytes(prefs));
}

void readPreferences(const QByteArray& bytes, Preferences& prefs, MessageSink& messages)
{
    KvReader r(bytes);
    const KvPair header = r.next();
    if (header.keyText() != QLatin1String("ZEPPrefs")) {
        messages.message(QStringLiteral("ZEPPrefs.txt is not a ZEP Preferences File. Aborting Load"));
        return;
    }
    if (!header.value.equalsNumber(1))
        messages.message(QStringLiteral("ZEPPrefs from version ") + header.value.shownText()
                         + QStringLiteral(" This is version ") + NumText(1)
                         + QStringLiteral(" Proceed with caution"));
    for (;;) {
        const KvPair p = r.next();
        const QString key = p.keyText();
        if (key == QLatin1String("ATol"))
            prefs.ATol = p.value.toSingle();
        else if (key == QLatin1String("DosPaste"))
            prefs.DosPaste = p.value.toText();
        else if (key == QLatin1String("Tout"))
            prefs.Tout = p.value.toSingle();
        else if (key == QLatin1String("DoBat"))
            prefs.DoBat = p.value.toBool();
        else if (key == QLatin1String("DoTips"))
            prefs.DoTips = p.value.toBool();
        else if (key == QLatin1String("Threads"))
            prefs.Threads = p.value.toInteger();
        else if (key == QLatin1String("CutTol"))
            prefs.CutTol = cuttingTolerance(p.value.toSingle());
        else if (key == QLatin1String("CutRobust"))
            prefs.CutRobust = p.value.toBool();
        else if (key == QLatin1String("END"))
            return;
    }
}

void GetPrefs(const QString& path, Preferences& prefs, MessageSink& messages)
{
    try {
        if (!fileExists(path)) {
            writePreferences(path, prefs);
            return;
        }
        readPreferences(readFileBytes(path), prefs, messages);
    } catch (const ZepError& e) {
        messages.report(e, QStringLiteral("GetPrefs"));
    }
}

} // namespace zep
