#include "connectlib/provider/listener_wrapper.h"

#include "connectlib/provider/lz2_listener.h"

namespace ConnectLib {

ListenerWrapper::ListenerWrapper(ConnectLib::LZ2Listener* listener, QObject* parent)
    : QObject(parent)
    , m_listener(listener)
{
}

ListenerWrapper::~ListenerWrapper()
{
    if (m_listener)
        m_listener->stop();
    delete m_listener;
}

} // namespace ConnectLib
