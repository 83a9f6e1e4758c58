#pragma once
// What a key does in the console window, the way a DOS console window
// handles it: Alt+Space opens the window menu, "E" there its Edit menu, "P"
// there pastes; Ctrl+V and Shift+Insert paste; Esc leaves the menus; every
// other key is typed into the input line, and Enter sends that line.
#include <QString>
#include <Qt>

namespace zep {

class ConsoleKeys {
public:
    enum class Menu { None, Window, Edit };
    enum class Action {
        None,       // nothing to do (menu moves, ignored keys)
        Type,       // type `text` into the input line
        Backspace,  // remove the last character of the input line
        Enter,      // send the input line
        ClearLine,  // empty the input line
        Paste,      // type the clipboard's text
        Close,      // close the window (ends the interpreter)
        Minimize,
        Maximize,
        Restore
    };
    struct Result {
        Action action = Action::None;
        QString text;
    };

    // Handles one key press.
    Result press(int key, Qt::KeyboardModifiers modifiers, const QString& text);

    Menu menu() const { return m_menu; }
    // A one-line description of the open menu's choices; empty when none.
    QString menuHint() const;
    void closeMenus() { m_menu = Menu::None; }

private:
    Result pressInWindowMenu(int key);
    Result pressInEditMenu(int key);

    Menu m_menu = Menu::None;
};

} // namespace zep
