#include "study/Arguments.h"

#include "common/NumText.h"
#include "common/ZepError.h"

#include <cmath>

namespace zep::tool {

QString Arguments::take(const char* what)
{
    if (atEnd())
        throw UsageError(std::string(what) + " is missing");
    return m_args[m_next++];
}

double Arguments::number(const char* what)
{
    return StrictNumber(numeral(what));
}

double Arguments::size(const char* what, double limit)
{
    const double x = number(what);
    if (!(std::isfinite(x) && x > 0 && x <= limit))
        throw UsageError(std::string(what) + " must be above 0 and at most "
                         + NumTextBare(limit).trimmed().toStdString());
    return x;
}

QString Arguments::option(const char* what)
{
    const QString a = take(what);
    if (a.startsWith(u'-')) {
        if (m_options.contains(a))
            throw UsageError(a.toLocal8Bit().toStdString() + " is given twice");
        m_options << a;
    }
    return a;
}

QString Arguments::numeral(const char* what)
{
    const QString text = take(what);
    try {
        StrictNumber(text);
        return text;
    } catch (const ZepError&) {
        throw UsageError(std::string(what) + ": \"" + text.toLocal8Bit().toStdString() + "\" is not a number");
    }
}

std::string failureText(const std::exception& e)
{
    if (const auto* z = dynamic_cast<const ZepError*>(&e))
        return z->messageFor(QStringLiteral("zeptool")).toLocal8Bit().toStdString();
    return e.what();
}

} // namespace zep::tool
