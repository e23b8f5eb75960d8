// The page timer: each page load gives the page a minute before the bridge
// stops waiting for it.
#include "app/bridge/jsobject.h"

#include <QTimer>

namespace {

constexpr int pageTimeoutMs = 60000;

} // namespace

void JsObject::startPageTimer()
{
    if (!m_webTimer) {
        m_webTimer = new QTimer(this);
        m_webTimer->setSingleShot(true);
        connect(m_webTimer, SIGNAL(timeout()), this, SLOT(SLOT_webTimerEvent()));
    }
    m_webTimer->start(pageTimeoutMs);
    m_webTimerId = m_webTimer->timerId();
}

// Each web transfer has a time-out of its own (web_transfers.cpp), which
// none of these touch.
void JsObject::stopTimers()
{
    if (m_webTimer)
        m_webTimer->stop();
    m_webTimerId = -1;
}

void JsObject::SLOT_stopReqTimer()
{
    stopTimers();
}

void JsObject::SLOT_stopWebReqTimer(int)
{
    stopTimers();
}

void JsObject::SLOT_webTimerEvent()
{
    stopTimers();
}
