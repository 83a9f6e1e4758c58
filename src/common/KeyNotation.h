#pragma once
// The keystroke notation of the DosPaste preference: "%" Alt, "^" Ctrl and
// "+" Shift held with the next key or with a "(...)" group, "~" Enter,
// "{NAME}" a named key ("{ENTER}", "{TAB}", "{ESC}", "{INSERT}", "{BS}",
// "{F1}"...), "{NAME n}" that key n times, "{{}", "{}}", "{%}"... the
// character itself; every other character stands for itself (an upper-case
// letter is typed with Shift).
#include <QList>
#include <QString>
#include <Qt>

namespace zep {

struct KeyStroke {
    int key = Qt::Key_unknown;            // a Qt::Key
    Qt::KeyboardModifiers modifiers;      // Shift, Control, Alt
    QString text;                         // what the key types; empty for none

    bool operator==(const KeyStroke& other) const
    {
        return key == other.key && modifiers == other.modifiers && text == other.text;
    }
};

struct KeyNotationResult {
    QList<KeyStroke> strokes;
    QString error; // empty when the notation was valid
    bool ok() const { return error.isEmpty(); }
};

// Reads a keystroke string. On a malformed string (unknown key name, a brace
// or parenthesis left open, a modifier with no key after it) the result holds
// an error and no strokes.
KeyNotationResult parseKeyNotation(const QString& notation);

// The same, raising ZepError 5 (Invalid procedure call or argument) on a
// malformed string.
QList<KeyStroke> keyStrokes(const QString& notation);

} // namespace zep
