#include "WindowPlaces.h"
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/ZepError.h"

#include <QList>
#include <QPair>

namespace zep {

namespace {

const QString kHeader = QStringLiteral("ZEPWindows");
constexpr qint64 kMaxBytes = 64 * 1024;

using Pairs = QList<QPair<QString, float>>;

// The numeric pairs of the file up to its end, its "END" line or the first
// damage; nothing from a file of another kind.
Pairs readPairs(const QString& path)
{
    Pairs pairs;
    if (!fileExists(path))
        return pairs;
    try {
        KvReader r(readFileBytes(path, kMaxBytes));
        if (r.next().keyText() != kHeader)
            return pairs;
        while (!r.atEnd()) {
            const KvPair p = r.next();
            if (p.keyText() == QLatin1String("END"))
                break;
            pairs.append({p.keyText(), p.value.toSingle()});
        }
    } catch (const ZepError&) {
        // A damaged file: what was read before the damage stands.
    }
    return pairs;
}

} // namespace

WindowPlace readWindowPlace(const QString& path, const QString& window)
{
    WindowPlace place;
    for (const auto& [key, value] : readPairs(path)) {
        if (key == u'T' + window)
            place.top = value;
        else if (key == u'L' + window)
            place.left = value;
    }
    return place;
}

void storeWindowPlace(const QString& path, const QString& window, WindowPlace place)
{
    Pairs pairs = readPairs(path);
    auto set = [&pairs](const QString& key, float value) {
        for (auto& p : pairs)
            if (p.first == key) {
                p.second = value;
                return;
            }
        pairs.append({key, value});
    };
    set(u'T' + window, place.top);
    set(u'L' + window, place.left);
    KvWriter w;
    w.number(kHeader, 1);
    for (const auto& [key, value] : pairs)
        if (kvStorable(key))
            w.number(key, value);
    w.string(QStringLiteral("END"), kHeader);
    writeFileSafely(path, w.bytes());
}

} // namespace zep
