// zeptool study --collect: the input is the file of the jobs' JSON lines.
#include "zeptool/ZepTool.h"

#include "FuzzInput.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::ostringstream out, err;
    const QString file = zep::fuzz::asFile(data, size);
    zep::tool::runTool({QStringLiteral("study"), QStringLiteral("--collect"), file}, out, err);
    QFile::remove(file);
    return 0;
}
