#include "app/ConsoleKeys.h"

namespace zep {

namespace {

bool isModifierKey(int key)
{
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt
           || key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_Super_L
           || key == Qt::Key_Super_R;
}

bool isTypable(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

} // namespace

ConsoleKeys::Result ConsoleKeys::press(int key, Qt::KeyboardModifiers modifiers,
                                       const QString& text)
{
    if (isModifierKey(key))
        return {};
    const Qt::KeyboardModifiers held =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);

    if (key == Qt::Key_Space && held == Qt::AltModifier) {
        m_menu = Menu::Window;
        return {};
    }
    if (m_menu == Menu::Window)
        return pressInWindowMenu(key);
    if (m_menu == Menu::Edit)
        return pressInEditMenu(key);

    if (key == Qt::Key_F4 && held == Qt::AltModifier)
        return {Action::Close, {}};
    if (key == Qt::Key_V && (held & Qt::ControlModifier) && !(held & Qt::AltModifier))
        return {Action::Paste, {}};
    if (key == Qt::Key_Insert && held == Qt::ShiftModifier)
        return {Action::Paste, {}};
    if (held & (Qt::ControlModifier | Qt::AltModifier))
        return {};
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return {Action::Enter, {}};
    case Qt::Key_Backspace:
        return {Action::Backspace, {}};
    case Qt::Key_Escape:
        return {Action::ClearLine, {}};
    case Qt::Key_Tab:
        return {Action::Type, QStringLiteral("\t")};
    default:
        break;
    }
    if (isTypable(text))
        return {Action::Type, text};
    return {};
}

// The window menu: Restore, Move, Size, Minimize, Maximize, Close, Edit.
// A key that chooses nothing closes the menus.
ConsoleKeys::Result ConsoleKeys::pressInWindowMenu(int key)
{
    m_menu = Menu::None;
    switch (key) {
    case Qt::Key_E:
        m_menu = Menu::Edit;
        return {};
    case Qt::Key_C:
        return {Action::Close, {}};
    case Qt::Key_N:
        return {Action::Minimize, {}};
    case Qt::Key_X:
        return {Action::Maximize, {}};
    case Qt::Key_R:
        return {Action::Restore, {}};
    default:
        return {};
    }
}

// The Edit menu: Mark, Copy, Paste, Select All, Scroll, Find. Only Paste
// does something here; any key closes the menus.
ConsoleKeys::Result ConsoleKeys::pressInEditMenu(int key)
{
    m_menu = Menu::None;
    if (key == Qt::Key_P)
        return {Action::Paste, {}};
    return {};
}

QString ConsoleKeys::menuHint() const
{
    switch (m_menu) {
    case Menu::Window:
        return QStringLiteral("Restore (R)  Minimize (N)  Maximize (X)  Close (C)  Edit (E)  "
                              "- Esc leaves");
    case Menu::Edit:
        return QStringLiteral("Edit: Mark (K)  Copy (Y)  Paste (P)  Select All (S)  "
                              "Scroll (L)  Find (F)  - Esc leaves");
    case Menu::None:
        break;
    }
    return {};
}

} // namespace zep
