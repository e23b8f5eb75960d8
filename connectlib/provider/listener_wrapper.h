#pragma once

#include <QObject>

namespace ConnectLib {

class LZ2Listener;

// Stops the listener adapter and deletes it when destroyed; the provider
// destroys one while it closes. The adapter must have been started.
class ListenerWrapper : public QObject {
    Q_OBJECT
public:
    explicit ListenerWrapper(ConnectLib::LZ2Listener* listener, QObject* parent = nullptr);
    // Blocks until the device library has ended the adapter's callbacks.
    ~ListenerWrapper() override;

private:
    ConnectLib::LZ2Listener* m_listener;
};

} // namespace ConnectLib
