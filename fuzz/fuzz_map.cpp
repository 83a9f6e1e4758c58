// A map file (.MFM) from outside: read, recoloured and painted as the mapper
// shows a loaded map.
#include "common/Messages.h"
#include "mapper/MapPicture.h"
#include "mapper/MapStore.h"

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zep;
    RecordingSink messages;
    MapStore m;
    if (readMfm(fuzz::bytes(data, size), m, messages, QStringLiteral("fuzz.MFM")) == MfmLoad::Refused)
        return 0;
    recolourMap(m, 5, 5, CellIndex{10, 0});
    mapBitmapBytes(m);
    mapSourceText(m);
    return 0;
}
