// Reaches a window's child by its object name, as the forms name them.
#pragma once

#include <QObject>
#include <QString>

#include <stdexcept>
#include <string>

namespace halcyra::test {

// Throws when there is no such child, so a renamed control fails the test instead of crashing it.
template <typename T>
T* Widget(const QObject& root, const char* name)
{
    T* child = root.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) throw std::logic_error(std::string("no child named ") + name);
    return child;
}

}  // namespace halcyra::test
