// zeptool study --collect: the input is the file of the jobs' JSON lines.
#include "zeptool/ZepTool.h"

#include "FuzzInput.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::ostringstream out, err;
    zep::tool::runTool({QStringLiteral("study"), QStringLiteral("--collect"), zep::fuzz::asFile(data, size)}, out, err);
    return 0;
}
