#include "TargetFile.h"
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"

#include <QCryptographicHash>

namespace zep {

void ParseOpt(OptimizationTargets& t, const QString& key, const KvValue& value)
{
    for (const auto& k : OptimizationTargets::keys()) {
        if (key != QLatin1String(k.name))
            continue;
        std::visit(
            [&](auto member) {
                using M = std::remove_reference_t<decltype(t.*member)>;
                if constexpr (std::is_same_v<M, bool>)
                    t.*member = value.toBool();
                else if constexpr (std::is_same_v<M, float>)
                    t.*member = value.toSingle();
                else if constexpr (std::is_same_v<M, int16_t>)
                    t.*member = value.toInteger();
                else
                    t.*member = value.toText();
            },
            k.field);
        return;
    }
}

void WriteOpt6(KvWriter& w, const OptimizationTargets& t)
{
    w.number(QStringLiteral("ZEP"), 1);
    for (const auto& k : OptimizationTargets::keys()) {
        const QString name = QLatin1String(k.name);
        std::visit(
            [&](auto member) {
                using M = std::remove_cvref_t<decltype(t.*member)>;
                if constexpr (std::is_same_v<M, bool>)
                    w.boolean(name, t.*member);
                else if constexpr (std::is_same_v<M, QString>)
                    w.string(name, t.*member);
                else
                    w.number(name, double(t.*member));
            },
            k.field);
    }
}

bool LoadTargetFile(const QString& path, OptimizationTargets& t, MessageSink& messages)
{
    return readTargets(readFileBytes(path), t, messages);
}

bool readTargets(const QByteArray& bytes, OptimizationTargets& t, MessageSink& messages)
{
    KvReader r(bytes);
    const KvPair header = r.next();
    if (header.keyText() != QLatin1String("ZEP")) {
        messages.message(QStringLiteral("This is not a ZEP Target File. Aborting Load"));
        return false;
    }
    if (!header.value.equalsNumber(1))
        messages.message(QStringLiteral(
            "This target list seems to be from a different version of ZEP. Proceed with Caution"));
    for (;;) {
        const KvPair p = r.next();
        ParseOpt(t, p.keyText(), p.value);
        if (p.keyText() == QLatin1String("END"))
            return true;
    }
}

void SaveTargetFile(const QString& path, const OptimizationTargets& t, const QString& targsFile)
{
    KvWriter w;
    WriteOpt6(w, t);
    w.string(QStringLiteral("END"), targsFile);
    writeFileSafely(path, w.bytes());
}

QString targetsHash(const OptimizationTargets& t)
{
    KvWriter w;
    WriteOpt6(w, t);
    return QString::fromLatin1(QCryptographicHash::hash(w.bytes(), QCryptographicHash::Sha256).toHex());
}

} // namespace zep
