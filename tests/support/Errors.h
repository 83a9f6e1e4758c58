#pragma once
// The number of the ZepError a call raises; 0 when it raises none.
#include "common/ZepError.h"

namespace zep::test {

template <class Call>
int errorOf(Call&& call)
{
    try {
        call();
    } catch (const ZepError& e) {
        return e.number();
    }
    return 0;
}

} // namespace zep::test
