#pragma once
// The target file: `"ZEP",1`, the 32 target lines, `"END",<its own path>`.
#include "OptimizationTargets.h"

#include <QString>

namespace zep {

class KvWriter;
class MessageSink;
struct KvValue;

// Stores one pair into the targets when the key (exact, case-sensitive) is a
// target key; other keys are ignored. A value that cannot be converted raises
// Type mismatch (13) or Overflow (6).
void ParseOpt(OptimizationTargets& t, const QString& key, const KvValue& value);

// Writes the header line and the 32 target lines (no "END" line).
void WriteOpt6(KvWriter& w, const OptimizationTargets& t);

// Reads the bytes of a target file, as LoadTargetFile does.
bool readTargets(const QByteArray& bytes, OptimizationTargets& t, MessageSink& messages);
// Loads a target file. Returns true when the targets were read (the caller
// then shows them); false when the file was refused after its message.
// Read failures raise ZepError; the pairs read before them stay stored.
bool LoadTargetFile(const QString& path, OptimizationTargets& t, MessageSink& messages);

// The SHA-256 of the targets' saved text (64 hex digits): equal targets give
// equal hashes, whatever file they came from.
QString targetsHash(const OptimizationTargets& t);

// Saves the targets, with `targsFile` as the "END" value.
void SaveTargetFile(const QString& path, const OptimizationTargets& t, const QString& targsFile);

} // namespace zep
