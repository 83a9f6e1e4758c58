#include "KeyValue.h"
#include "NumText.h"
#include "ZepError.h"

#include <cmath>

namespace zep {

KvValue KvValue::str(const QString& s)
{
    KvValue v;
    v.kind = Kind::String;
    v.text = s;
    return v;
}

KvValue KvValue::boolean(bool b)
{
    KvValue v;
    v.kind = Kind::Bool;
    v.flag = b;
    return v;
}

KvValue KvValue::num(double x)
{
    KvValue v;
    v.kind = Kind::Number;
    v.number = x;
    v.text = NumTextBare(x);
    return v;
}

double KvValue::toDouble() const
{
    switch (kind) {
    case Kind::Empty: return 0;
    case Kind::Bool: return flag ? -1 : 0;
    case Kind::Number: return number;
    case Kind::String: return StrictNumber(text);
    }
    return 0;
}

float KvValue::toSingle() const { return ToSingle(toDouble()); }

int16_t KvValue::toInteger() const { return ToInteger(toDouble()); }

bool KvValue::toBool() const
{
    switch (kind) {
    case Kind::Empty: return false;
    case Kind::Bool: return flag;
    case Kind::Number: return number != 0;
    case Kind::String: {
        const QString t = text.trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        return StrictNumber(t) != 0;
    }
    }
    return false;
}

QString KvValue::toText() const
{
    switch (kind) {
    case Kind::Empty: return QString();
    case Kind::Bool: return flag ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::Number: return NumTextBare(number);
    case Kind::String: return text;
    }
    return QString();
}

bool KvValue::equalsNumber(double n) const
{
    try {
        return kind != Kind::Empty && toDouble() == n;
    } catch (const ZepError&) {
        return false;
    }
}

QString KvValue::shownText() const
{
    return kind == Kind::Number ? NumText(number) : QStringLiteral(" ") + toText();
}

// ---- reading ----

KvReader::KvReader(QByteArray data) : m_data(std::move(data)) {}

namespace {
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
bool isSpace(char c) { return c == ' ' || c == '\t'; }
} // namespace

bool KvReader::atEnd() const
{
    for (qsizetype p = m_pos; p < m_data.size(); ++p)
        if (!isSpace(m_data[p]) && !isLineEnd(m_data[p]))
            return false;
    return true;
}

KvPair KvReader::next()
{
    KvPair p;
    p.key = field(true);
    p.value = field(false);
    return p;
}

KvValue KvReader::field(bool isKey)
{
    const qsizetype n = m_data.size();
    // A key may be preceded by blank lines; a value stands on its key's line.
    while (m_pos < n && (isSpace(m_data[m_pos]) || (isKey && isLineEnd(m_data[m_pos]))))
        ++m_pos;
    if (m_pos >= n) {
        if (isKey)
            throw ZepError(err::PastEndOfFile);
        return KvValue();
    }
    auto finishField = [&] {
        // skip to the separator and over it: a comma, or one line end after a
        // value (a key that ends its line has an empty value, not the next line)
        while (m_pos < n && m_data[m_pos] != ',' && !isLineEnd(m_data[m_pos]))
            ++m_pos;
        if (m_pos < n && m_data[m_pos] == ',') {
            ++m_pos;
        } else if (m_pos < n && !isKey) {
            if (m_data[m_pos] == '\r' && m_pos + 1 < n && m_data[m_pos + 1] == '\n')
                m_pos += 2;
            else
                ++m_pos;
        }
    };
    if (m_data[m_pos] == '"') {
        const qsizetype start = ++m_pos;
        while (m_pos < n && m_data[m_pos] != '"' && !isLineEnd(m_data[m_pos]))
            ++m_pos;
        KvValue v = KvValue::str(QString::fromUtf8(m_data.constData() + start, m_pos - start));
        if (m_pos < n && m_data[m_pos] == '"')
            ++m_pos;
        finishField();
        return v;
    }
    const qsizetype start = m_pos;
    while (m_pos < n && m_data[m_pos] != ',' && !isLineEnd(m_data[m_pos]))
        ++m_pos;
    const QString raw = QString::fromUtf8(m_data.constData() + start, m_pos - start).trimmed();
    finishField();
    if (raw.isEmpty())
        return KvValue();
    if (raw == QLatin1String("#TRUE#"))
        return KvValue::boolean(true);
    if (raw == QLatin1String("#FALSE#"))
        return KvValue::boolean(false);
    if (IsNumber(raw)) {
        KvValue v;
        v.kind = KvValue::Kind::Number;
        v.text = raw;
        try {
            v.number = StrictNumber(raw);
        } catch (const ZepError&) {
            // a number beyond a double's range stays a word; converting it
            // raises the overflow where the value is used
            v.kind = KvValue::Kind::String;
        }
        return v;
    }
    return KvValue::str(raw);
}

// ---- writing ----

bool kvStorable(const QString& s)
{
    return !s.contains(u'"') && !s.contains(u'\r') && !s.contains(u'\n');
}

QString kvNotStorableMessage(const QString& what)
{
    return what + QStringLiteral(" may not contain double quotes or line breaks. Please choose another.");
}

QString pathRefusal(const QString& path)
{
    if (kvStorable(path))
        return {};
    return QStringLiteral("ZEP cannot keep this path, because a name in it holds a double quote or a "
                          "line break:\n%1\nPlease rename the folder or file, or choose another.")
        .arg(path);
}

void KvWriter::line(const QString& key, const QByteArray& value)
{
    m_bytes += '"';
    m_bytes += key.toUtf8();
    m_bytes += "\",";
    m_bytes += value;
    m_bytes += "\r\n";
}

void KvWriter::string(const QString& key, const QString& value)
{
    if (!kvStorable(value))
        throw ZepError(err::InvalidCall, kvNotStorableMessage(QStringLiteral("The value of ") + key));
    line(key, '"' + value.toUtf8() + '"');
}

void KvWriter::boolean(const QString& key, bool value)
{
    line(key, value ? QByteArrayLiteral("#TRUE#") : QByteArrayLiteral("#FALSE#"));
}

void KvWriter::number(const QString& key, double value)
{
    line(key, NumTextBare(value).toLatin1());
}

// A field of a CSV row (the study's and the library's tables): quoted, with
// its quotes doubled, when it holds a comma, a quote or a line break.
QString csvField(const QString& s)
{
    if (!s.contains(u',') && !s.contains(u'"') && !s.contains(u'\n') && !s.contains(u'\r'))
        return s;
    QString q = s;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

} // namespace zep
