#include "connectlib/provider/listener_wrapper.h"

#include "connectlib/provider/lz2_listener.h"

#include <QDebug>

namespace ConnectLib {

ListenerWrapper::ListenerWrapper(ConnectLib::LZ2Listener* listener, QObject* parent)
    : QObject(parent)
    , m_listener(listener)
{
}

ListenerWrapper::~ListenerWrapper()
{
    qDebug() << "About to stop listener...";
    if (m_listener)
        m_listener->stop();
    qDebug() << "Listener stopped";
    delete m_listener;
    qDebug() << "deleted";
}

} // namespace ConnectLib
