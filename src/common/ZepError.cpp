#include "ZepError.h"
#include "NumText.h"

namespace zep {

ZepError::ZepError(int16_t number) : ZepError(number, QString()) {}

ZepError::ZepError(int16_t number, QString userMessage)
    : m_number(number), m_userMessage(std::move(userMessage))
{
    m_what = (m_userMessage.isEmpty() ? describe(number) : m_userMessage).toStdString();
}

QString ZepError::description() const { return describe(m_number); }

QString ZepError::describe(int16_t number)
{
    switch (number) {
    case 5: return QStringLiteral("Invalid procedure call or argument");
    case 6: return QStringLiteral("Overflow");
    case 7: return QStringLiteral("Out of memory");
    case 9: return QStringLiteral("Subscript out of range");
    case 11: return QStringLiteral("Division by zero");
    case 13: return QStringLiteral("Type mismatch");
    case 52: return QStringLiteral("Bad file name or number");
    case 53: return QStringLiteral("File not found");
    case 57: return QStringLiteral("Device I/O error");
    case 61: return QStringLiteral("Disk full");
    case 62: return QStringLiteral("Input past end of file");
    case 70: return QStringLiteral("Permission denied");
    case 75: return QStringLiteral("Path/File access error");
    case 76: return QStringLiteral("Path not found");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

QString ZepError::standardMessage(const QString& routine) const
{
    return QStringLiteral("Error ") + NumText(m_number) + QStringLiteral(" (") + description()
        + QStringLiteral(") in ") + routine + QStringLiteral(" routine");
}

QString ZepError::messageFor(const QString& routine) const
{
    return m_userMessage.isEmpty() ? standardMessage(routine) : m_userMessage;
}

} // namespace zep
