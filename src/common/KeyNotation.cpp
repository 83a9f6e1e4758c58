#include "common/KeyNotation.h"

#include "common/ZepError.h"

namespace zep {

namespace {

struct NamedKey {
    const char* name;
    int key;
    const char* text;
    Qt::KeyboardModifiers modifiers;
};

// Named keys of the notation. The numeric keypad's operators carry the
// keypad modifier.
constexpr NamedKey namedKeys[] = {
    {"BACKSPACE", Qt::Key_Backspace, "\b", {}},
    {"BS", Qt::Key_Backspace, "\b", {}},
    {"BKSP", Qt::Key_Backspace, "\b", {}},
    {"BREAK", Qt::Key_Pause, "", {}},
    {"CAPSLOCK", Qt::Key_CapsLock, "", {}},
    {"DELETE", Qt::Key_Delete, "", {}},
    {"DEL", Qt::Key_Delete, "", {}},
    {"DOWN", Qt::Key_Down, "", {}},
    {"END", Qt::Key_End, "", {}},
    {"ENTER", Qt::Key_Return, "\r", {}},
    {"ESC", Qt::Key_Escape, "\x1b", {}},
    {"ESCAPE", Qt::Key_Escape, "\x1b", {}},
    {"HELP", Qt::Key_Help, "", {}},
    {"HOME", Qt::Key_Home, "", {}},
    {"INSERT", Qt::Key_Insert, "", {}},
    {"INS", Qt::Key_Insert, "", {}},
    {"LEFT", Qt::Key_Left, "", {}},
    {"NUMLOCK", Qt::Key_NumLock, "", {}},
    {"PGDN", Qt::Key_PageDown, "", {}},
    {"PGUP", Qt::Key_PageUp, "", {}},
    {"PRTSC", Qt::Key_Print, "", {}},
    {"RIGHT", Qt::Key_Right, "", {}},
    {"SCROLLLOCK", Qt::Key_ScrollLock, "", {}},
    {"TAB", Qt::Key_Tab, "\t", {}},
    {"UP", Qt::Key_Up, "", {}},
    {"ADD", Qt::Key_Plus, "+", Qt::KeypadModifier},
    {"SUBTRACT", Qt::Key_Minus, "-", Qt::KeypadModifier},
    {"MULTIPLY", Qt::Key_Asterisk, "*", Qt::KeypadModifier},
    {"DIVIDE", Qt::Key_Slash, "/", Qt::KeypadModifier},
};

constexpr Qt::KeyboardModifiers textSuppressing = Qt::ControlModifier | Qt::AltModifier;

// The stroke of a single character typed with `held` modifiers.
KeyStroke characterStroke(QChar c, Qt::KeyboardModifiers held)
{
    KeyStroke s;
    s.modifiers = held;
    if (c == u'\r' || c == u'\n') {
        s.key = Qt::Key_Return;
        s.text = QStringLiteral("\r");
    } else if (c == u'\t') {
        s.key = Qt::Key_Tab;
        s.text = QStringLiteral("\t");
    } else if (c.isLetter() && c.isUpper()) {
        s.key = c.unicode();
        s.modifiers |= Qt::ShiftModifier;
        s.text = QString(c);
    } else {
        s.key = c.toUpper().unicode();
        s.text = (held & Qt::ShiftModifier) && c.isLetter() ? QString(c.toUpper()) : QString(c);
    }
    if (s.modifiers & textSuppressing)
        s.text.clear();
    return s;
}

class Parser {
public:
    explicit Parser(const QString& notation) : m_s(notation) {}

    KeyNotationResult parse()
    {
        KeyNotationResult result;
        if (!parseSequence({}, false, result.strokes))
            result.strokes.clear();
        result.error = m_error;
        return result;
    }

private:
    bool fail(const QString& message)
    {
        if (m_error.isEmpty())
            m_error = message;
        return false;
    }

    // Parses keys until the end (or the ")" closing a group when `inGroup`).
    // `outer` are the modifiers held for the whole sequence.
    bool parseSequence(Qt::KeyboardModifiers outer, bool inGroup, QList<KeyStroke>& out)
    {
        Qt::KeyboardModifiers pending;
        while (m_pos < m_s.size()) {
            const QChar c = m_s.at(m_pos++);
            if (c == u'+' || c == u'^' || c == u'%') {
                pending |= c == u'+' ? Qt::ShiftModifier
                         : c == u'^' ? Qt::ControlModifier
                                     : Qt::AltModifier;
                continue;
            }
            const Qt::KeyboardModifiers held = outer | pending;
            pending = {};
            if (c == u'(') {
                if (!parseSequence(held, true, out))
                    return false;
            } else if (c == u')') {
                if (!inGroup)
                    return fail(QStringLiteral("\")\" without \"(\""));
                return true;
            } else if (c == u'~') {
                out.append(characterStroke(u'\r', held));
            } else if (c == u'{') {
                if (!parseBraced(held, out))
                    return false;
            } else if (c == u'}') {
                return fail(QStringLiteral("\"}\" without \"{\""));
            } else {
                out.append(characterStroke(c, held));
            }
        }
        if (pending)
            return fail(QStringLiteral("modifier without a key at the end"));
        if (inGroup)
            return fail(QStringLiteral("\"(\" not closed"));
        return true;
    }

    // After "{": a named key or a literal character, optionally with a count.
    bool parseBraced(Qt::KeyboardModifiers held, QList<KeyStroke>& out)
    {
        // The first character belongs to the name even when it is "}", so
        // that "{}}" is the closing brace.
        const qsizetype close = m_s.indexOf(u'}', m_pos + 1);
        if (m_pos >= m_s.size() || close < 0)
            return fail(QStringLiteral("\"{\" not closed"));
        QString body = m_s.mid(m_pos, close - m_pos);
        m_pos = close + 1;

        int count = 1;
        const qsizetype blank = body.lastIndexOf(u' ');
        if (blank > 0) {
            bool isNumber = false;
            const int n = body.mid(blank + 1).toInt(&isNumber);
            if (isNumber && n >= 0) {
                count = n;
                body.truncate(blank);
            }
        }

        KeyStroke stroke;
        if (body.size() == 1) {
            stroke = characterStroke(body.front(), held);
        } else {
            bool known = false;
            if (body.size() >= 2 && body.front().toUpper() == u'F') {
                bool isNumber = false;
                const int n = body.mid(1).toInt(&isNumber);
                if (isNumber && n >= 1 && n <= 16) {
                    stroke.key = Qt::Key_F1 + (n - 1);
                    stroke.modifiers = held;
                    known = true;
                }
            }
            for (const NamedKey& named : namedKeys) {
                if (known)
                    break;
                if (body.compare(QLatin1StringView(named.name), Qt::CaseInsensitive) == 0) {
                    stroke.key = named.key;
                    stroke.modifiers = held | named.modifiers;
                    stroke.text = QString::fromLatin1(named.text);
                    if (stroke.modifiers & textSuppressing)
                        stroke.text.clear();
                    known = true;
                }
            }
            if (!known)
                return fail(QStringLiteral("unknown key {") + body + u'}');
        }
        for (int i = 0; i < count; ++i)
            out.append(stroke);
        return true;
    }

    const QString& m_s;
    qsizetype m_pos = 0;
    QString m_error;
};

} // namespace

KeyNotationResult parseKeyNotation(const QString& notation)
{
    return Parser(notation).parse();
}

QList<KeyStroke> keyStrokes(const QString& notation)
{
    KeyNotationResult result = parseKeyNotation(notation);
    if (!result.ok())
        throw ZepError(err::InvalidCall);
    return result.strokes;
}

} // namespace zep
