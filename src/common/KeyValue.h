#pragma once
// The key-value text lines of the preferences, saved state and target files:
// `"key",value` lines ended by CR LF; strings in double quotes without
// escaping, booleans #TRUE#/#FALSE#, numbers as NumText without the blank.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace zep {

// One field as read: a quoted string, a boolean, an unquoted number, an
// unquoted word, or nothing (an empty field).
struct KvValue {
    enum class Kind { Empty, String, Bool, Number };
    Kind kind = Kind::Empty;
    QString text;   // String: its text; Number: the text as written
    bool flag = false;
    double number = 0;

    static KvValue str(const QString& s);
    static KvValue boolean(bool b);
    static KvValue num(double x);

    // Conversions as the files need them; a text that is not a number raises
    // Type mismatch (13), a value out of range Overflow (6).
    double toDouble() const;
    float toSingle() const;
    int16_t toInteger() const;   // nearest, halves to even
    bool toBool() const;         // 0 or "false" false; any other number or "true" true
    QString toText() const;
    // True when the value equals the number n (used for format versions).
    bool equalsNumber(double n) const;
    // The value as a message shows it: NumText for a number, else " " + text.
    QString shownText() const;
};

struct KvPair {
    KvValue key;
    KvValue value;
    QString keyText() const { return key.kind == KvValue::Kind::String ? key.text : key.toText(); }
};

// Reads pairs field by field from bytes in memory. Tolerant: blanks around
// unquoted fields are ignored, blank lines between pairs are skipped, text
// after a closing quote up to the next comma or line end is ignored.
class KvReader {
public:
    explicit KvReader(QByteArray data);
    bool atEnd() const;
    // The next pair; Input past end of file (62) when no key is left.
    KvPair next();

private:
    KvValue field(bool isKey);
    QByteArray m_data;
    qsizetype m_pos = 0;
};

// Builds the lines of a key-value file in memory.
class KvWriter {
public:
    void string(const QString& key, const QString& value);
    void boolean(const QString& key, bool value);
    void number(const QString& key, double value);
    const QByteArray& bytes() const { return m_bytes; }

private:
    void line(const QString& key, const QByteArray& value);
    QByteArray m_bytes;
};

// A string can be stored in these files only without double quotes and line
// breaks: it would read back as something else.
bool kvStorable(const QString& s);
// The message that refuses such a string; `what` names the value.
QString kvNotStorableMessage(const QString& what);
// A folder or file path ZEP can keep (in the saved state, a target file):
// empty when it can, else the message refusing it. Windows that take a path
// from the user check it here before they keep it.
QString pathRefusal(const QString& path);

// A field of a comma-separated table: quoted, its quotes doubled, when it
// holds a comma, a quote or a line break.
QString csvField(const QString& s);

} // namespace zep
