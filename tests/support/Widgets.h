// Reaches a window's child by its object name, as the forms name them.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <stdexcept>
#include <string>

namespace halcyra::test {

// Throws unless there is exactly one such child, so a renamed control fails the test instead of crashing
// it, and a dialog's control of the same name is never taken for the window's.
template <typename T>
T* Widget(const QObject& root, const char* name)
{
    const QList<T*> children = root.findChildren<T*>(QString::fromLatin1(name));
    if (children.size() != 1)
        throw std::logic_error(std::to_string(children.size()) + " children named " + std::string(name));
    return children.front();
}

}  // namespace halcyra::test
