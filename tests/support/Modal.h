#pragma once
// Answers the next modal dialog from the event loop: waits (without spinning)
// until a modal widget is up, then runs `act` on it.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace zep::test {

inline void onNextModal(std::function<void(QWidget*)> act, int triesLeft = 500)
{
    QTimer::singleShot(10, qApp, [act = std::move(act), triesLeft]() mutable {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible()) {
            act(w);
            return;
        }
        if (triesLeft > 0)
            onNextModal(std::move(act), triesLeft - 1);
    });
}

// Answers the modal window named `name` once it is up (an outer modal
// window that is still in front is passed over).
inline void onModal(const char* name, std::function<void(QWidget*)> act, int triesLeft = 500)
{
    QTimer::singleShot(10, qApp, [name, act = std::move(act), triesLeft]() mutable {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible() && w->objectName() == QLatin1String(name)) {
            act(w);
            return;
        }
        if (triesLeft > 0)
            onModal(name, std::move(act), triesLeft - 1);
    });
}

// Finds a child by object name, failing loudly when there is none.
template <class T>
T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no control %s in %s", name, qPrintable(w->objectName()));
    return c;
}

} // namespace zep::test
