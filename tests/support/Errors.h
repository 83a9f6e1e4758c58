#pragma once
// The number (errorOf) or the message for the user (messageOf) of the
// ZepError a call raises; 0, or "(none raised)", when it raises none.
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

template <class Call>
QString messageOf(Call&& call)
{
    try {
        call();
    } catch (const ZepError& e) {
        return e.userMessage();
    }
    return QStringLiteral("(none raised)");
}

} // namespace zep::test
