#pragma once

#include <QObject>

#include <initializer_list>

namespace ConnectGlobals {

// One signal-to-slot link by signature (SIGNAL() and SLOT() texts).
struct Link {
    const QObject* sender;
    const char* signal;
    const QObject* receiver;
    const char* method;
};

// Makes the links in order with the automatic connection type and stops at
// the first that fails, so a group is either whole or cut short at a known
// place; true when every link was made.
inline bool connectInOrder(std::initializer_list<Link> links)
{
    for (const Link& link : links) {
        if (!QObject::connect(link.sender, link.signal, link.receiver, link.method))
            return false;
    }
    return true;
}

} // namespace ConnectGlobals
