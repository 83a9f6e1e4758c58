#pragma once
// The one error type of ZEP: a classic run-time error number with its
// description, raised where a failure happens and reported at the routine
// boundary with the standard message.
#include <QString>
#include <cstdint>
#include <exception>

namespace zep {

class ZepError : public std::exception {
public:
    // A classic run-time error; the description comes from the error list.
    explicit ZepError(int16_t number);
    // A refusal that carries its own message for the user (shown instead of
    // the standard routine message).
    ZepError(int16_t number, QString userMessage);

    int16_t number() const { return m_number; }
    QString description() const;
    const QString& userMessage() const { return m_userMessage; }
    const char* what() const noexcept override { return m_what.c_str(); }

    // "Error  53 (File not found) in GetPrefs routine"
    QString standardMessage(const QString& routine) const;
    // The message to show for this error in `routine`: the user message when
    // there is one, else the standard message.
    QString messageFor(const QString& routine) const;

    // Description of a classic error number ("File not found" for 53).
    static QString describe(int16_t number);

private:
    int16_t m_number;
    QString m_userMessage;
    std::string m_what;
};

// Classic error numbers used by ZEP.
namespace err {
constexpr int16_t InvalidCall = 5;
constexpr int16_t Overflow = 6;
constexpr int16_t OutOfMemory = 7;
constexpr int16_t SubscriptOutOfRange = 9;
constexpr int16_t DivisionByZero = 11;
constexpr int16_t TypeMismatch = 13;
constexpr int16_t BadFileName = 52;
constexpr int16_t FileNotFound = 53;
constexpr int16_t DeviceIO = 57;
constexpr int16_t DiskFull = 61;
constexpr int16_t PastEndOfFile = 62;
constexpr int16_t PermissionDenied = 70;
constexpr int16_t PathFileAccess = 75;
constexpr int16_t PathNotFound = 76;
} // namespace err

} // namespace zep
