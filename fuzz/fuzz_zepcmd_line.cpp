// The console interpreter: a typed line (its command, arguments and batch
// parameters) and a batch file's lines.
#include "zepcmd/CommandLine.h"

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zep::cmd;
    const QByteArray input = zep::fuzz::bytes(data, size);
    const QStringList lines = batchLines(input);
    for (const QString& line : lines) {
        const Command c = parseCommand(line);
        expandBatchParameters(line, c.args);
        splitArguments(c.rest);
    }
    return 0;
}
