// The console's logic without its window: the keystroke notation, what keys do in a DOS-style console
// window, the input line and the output text.
#include "app/ConsoleKeys.h"
#include "app/ConsoleText.h"
#include "common/KeyNotation.h"
#include "common/ZepError.h"
#include "support/Errors.h"

#include <QtTest>

using namespace zep;
using Action = ConsoleKeys::Action;

namespace {

KeyStroke stroke(int key, Qt::KeyboardModifiers mods = {}, const QString& text = {}) { return {key, mods, text}; }

// The actions a console takes for the keystrokes of `notation`, None left out.
QList<ConsoleKeys::Result> actionsFor(ConsoleKeys& keys, const QString& notation)
{
    QList<ConsoleKeys::Result> actions;
    for (const KeyStroke& s : keyStrokes(notation)) {
        const ConsoleKeys::Result r = keys.press(s.key, s.modifiers, s.text);
        if (r.action != Action::None)
            actions.append(r);
    }
    return actions;
}

QList<Action> kinds(const QList<ConsoleKeys::Result>& results)
{
    QList<Action> out;
    for (const auto& r : results)
        out.append(r.action);
    return out;
}

// Applies output edits to a screen text as the window does.
void apply(QString& screen, const ConsoleEdit& edit)
{
    screen.chop(edit.erase);
    screen += edit.append;
}

} // namespace

class TestConsoleLogic : public QObject {
    Q_OBJECT
private slots:
    void notation()
    {
        const auto alt = Qt::AltModifier, ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
        const std::pair<const char*, QList<KeyStroke>> cases[] = {
            {"% EP", {stroke(Qt::Key_Space, alt), stroke(Qt::Key_E, shift, "E"), stroke(Qt::Key_P, shift, "P")}},
            {"^V", {stroke(Qt::Key_V, ctrl | shift)}},
            {"^v", {stroke(Qt::Key_V, ctrl)}},
            {"+{ins}", {stroke(Qt::Key_Insert, shift)}},
            {"%(ep)x", {stroke(Qt::Key_E, alt), stroke(Qt::Key_P, alt), stroke(Qt::Key_X, {}, "x")}},
            {"{{}{}}~{ENTER}", {stroke(Qt::Key_BraceLeft, {}, "{"), stroke(Qt::Key_BraceRight, {}, "}"),
                                stroke(Qt::Key_Return, {}, "\r"), stroke(Qt::Key_Return, {}, "\r")}},
            {"{%}{^}{+}{~}{(}", {stroke(Qt::Key_Percent, {}, "%"), stroke(Qt::Key_AsciiCircum, {}, "^"),
                                 stroke(Qt::Key_Plus, {}, "+"), stroke(Qt::Key_AsciiTilde, {}, "~"),
                                 stroke(Qt::Key_ParenLeft, {}, "(")}},
            {"{TAB 2}{BS}{ESC 0}{ESC}%{F1}{F16}", {stroke(Qt::Key_Tab, {}, "\t"), stroke(Qt::Key_Tab, {}, "\t"),
                                                 stroke(Qt::Key_Backspace, {}, "\b"), stroke(Qt::Key_Escape, {}, "\x1b"),
                                                 stroke(Qt::Key_F1, alt), stroke(Qt::Key_F16, {})}},
        };
        for (const auto& [notation, expected] : cases) {
            const KeyNotationResult result = parseKeyNotation(QString::fromLatin1(notation));
            QVERIFY2(result.ok(), qPrintable(result.error));
            QCOMPARE(result.strokes, expected);
        }
        // Malformed notation is refused whole.
        for (const char* bad : {"{FOO}", "%", "^(", "(ab", "ab)", "{ENTER", "}", "{}", "+{F17}", "{F0}"}) {
            const KeyNotationResult result = parseKeyNotation(QString::fromLatin1(bad));
            QVERIFY(!result.ok() && result.strokes.isEmpty());
            QCOMPARE(zep::test::errorOf([&] { keyStrokes(QString::fromLatin1(bad)); }), int(err::InvalidCall));
        }
    }

    void whatTheKeysDo()
    {
        // Window menu, Edit, Paste (in either case, after a menu left with Esc); Ctrl+V; Shift+Insert.
        ConsoleKeys keys;
        for (const char* notation : {"% EP", "% ep", "% E{ESC}% EP", "^V", "+{INSERT}"})
            QVERIFY(kinds(actionsFor(keys, notation)) == QList{Action::Paste} && keys.menu() == ConsoleKeys::Menu::None);
        // A wrong menu key closes the menus; the following keys are typed again.
        QVERIFY(actionsFor(keys, "% EX").isEmpty() && keys.menu() == ConsoleKeys::Menu::None);
        const auto typed = actionsFor(keys, "% {ESC}e");
        QVERIFY(kinds(typed) == QList{Action::Type} && typed.first().text == QString("e"));
        // Alt and Ctrl combinations other than the paste keys type nothing.
        QVERIFY(actionsFor(keys, "%e^c^{INSERT}").isEmpty());
        QCOMPARE(kinds(actionsFor(keys, "a{BS}~{ESC}{TAB}")),
                 (QList{Action::Type, Action::Backspace, Action::Enter, Action::ClearLine, Action::Type}));
        // The window menu's other choices, each named in its hint while open; the Edit menu's hint names Paste.
        QCOMPARE(kinds(actionsFor(keys, "% C% N% X% R")),
                 (QList{Action::Close, Action::Minimize, Action::Maximize, Action::Restore}));
        QVERIFY(keys.menuHint().isEmpty());
        actionsFor(keys, "% ");
        QVERIFY(keys.menuHint().contains("Minimize (N)") && keys.menuHint().contains("Edit (E)"));
        actionsFor(keys, "E");
        QVERIFY(keys.menuHint().startsWith("Edit:") && keys.menuHint().contains("Paste (P)"));
        actionsFor(keys, "{ESC}");
        // Control characters a key may carry are not typed, nor a key without text (an arrow, F5).
        for (const QString& control : {QString(), QStringLiteral("\x01"), QStringLiteral("\x7f"), QStringLiteral("a\x1b")})
            QCOMPARE(keys.press(Qt::Key_A, Qt::NoModifier, control).action, Action::None);
        // Pressing the modifier keys themselves changes nothing.
        keys.press(Qt::Key_Space, Qt::AltModifier, {});
        for (const Qt::Key modifier : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_AltGr,
                                       Qt::Key_Super_L, Qt::Key_Super_R})
            QCOMPARE(keys.press(modifier, Qt::NoModifier, {}).action, Action::None);
        QCOMPARE(keys.menu(), ConsoleKeys::Menu::Window);
    }

    void inputAndOutputLineEnds()
    {
        ConsoleInputLine input;
        input.type("CD ");
        // The input line is sent at CR LF or a lone LF; other control characters vanish.
        QVERIFY(input.type("ZEP\aWork\r\nA\nB\tC") == (QStringList{"CD ZEPWork", "A"}) && input.text() == QString("B\tC"));
        input.backspace();
        QVERIFY(input.take() == QString("B\t") && input.text() == QString());
        // The output: CR LF ends a line, a lone CR returns to its start.
        ConsoleOutput out;
        QString screen = "before\n";
        apply(screen, out.feed("one\r\ntwo"));
        QCOMPARE(screen, QString("before\none\ntwo"));
        // A CR at the end of a read may be the start of CR LF.
        apply(screen, out.feed(" more\r"));
        apply(screen, out.feed("\nthree 10%"));
        QCOMPARE(screen, QString("before\none\ntwo more\nthree 10%"));
        // A lone CR returns to the line's start: the line is written again.
        for (const char* read : {"\rthree 20%", "\r", "three done\n"})
            apply(screen, out.feed(read));
        QCOMPARE(screen, QString("before\none\ntwo more\nthree done\n"));
        apply(screen, out.feed("ab\bc\x01\x7f\n\b"));
        QCOMPARE(screen, QString("before\none\ntwo more\nthree done\nac\n"));
        // A character split between two reads.
        const QByteArray e = QStringLiteral(u"\u00e9").toUtf8();
        for (const QByteArray& read : {e.left(1), e.mid(1) + ">"})
            apply(screen, out.feed(read));
        QCOMPARE(screen, QStringLiteral(u"before\none\ntwo more\nthree done\nac\n\u00e9>"));
        // A CR held back at a read's end counts once, the line rewritten goes on; a letter and its backspace vanish.
        for (const char* read : {"\n1 of 2\r", "2 of 2", " done", "!\b"})
            apply(screen, out.feed(read));
        QVERIFY2(screen.endsWith(QStringLiteral(u"\u00e9>\n2 of 2 done")), qPrintable(screen));
        // A lone CR after a line end in one read; backspaces that take back what an earlier read wrote, and no more.
        for (const char* read : {" ok\nold\rnew", "\b\b\b\b", "nw!"})
            apply(screen, out.feed(read));
        QVERIFY2(screen.endsWith("2 of 2 done ok\nnw!"), qPrintable(screen));
    }
};

QTEST_GUILESS_MAIN(TestConsoleLogic)
#include "test_console_logic.moc"
