// Showing, raising, resizing and closing the window through the window
// object, and the end of the window's life.
#include "app/bridge/jsobject.h"

using ConnectGlobals::SyncState;

void JsObject::SLOT_showDialog(bool visible)
{
    emit m_requests->SIGNAL_showDialog(visible ? m_webView : nullptr);
}

void JsObject::SLOT_putOnTop(bool onTop)
{
    emit m_requests->SIGNAL_putOnTop(onTop ? m_webView : nullptr);
}

void JsObject::SLOT_resizeme()
{
    emit m_requests->SIGNAL_resizeView(m_webView);
}

void JsObject::SLOT_showQuickDialog(int dlgType, QString helpContent, QString script)
{
    emit m_requests->SIGNAL_showQuickDialog(m_dialogState, SyncState::DialogType(dlgType),
                                            helpContent, script);
}

void JsObject::SLOT_disableClose()
{
    if (!m_webView)
        return;
    disconnect(m_webView, SIGNAL(SIGNAL_close()), nullptr, nullptr);
    m_webView->setClosingAllowed(false);
}

void JsObject::SLOT_enableClose()
{
    if (!m_webView)
        return;
    disconnect(m_webView, SIGNAL(SIGNAL_close()), nullptr, nullptr);
    connect(m_webView, SIGNAL(SIGNAL_close()), this, SLOT(SLOT_close()));
    m_webView->setClosingAllowed(true);
}

void JsObject::endRunningSync()
{
    if (m_lastSyncState != SyncState::SyncOn)
        return;
    m_lastSyncState = SyncState::SyncDone;
    emit m_requests->SIGNAL_syncProcessStateChanged(0, SyncState::SyncDone);
    emit m_requests->SIGNAL_stopSync(false);
}

void JsObject::SLOT_close()
{
    m_closing = true;
    endRunningSync();
    if (m_webView) {
        // Its deletion runs SLOT_quit through destroyed().
        m_webView->hide();
        m_webView->deleteLater();
    } else {
        SLOT_quit();
    }
}

void JsObject::SLOT_quit()
{
    // Once: a page that answers the quit with another (or the view's
    // destroyed() after a page's quit) finds it done.
    if (m_quitting)
        return;
    m_quitting = true;
    m_closing = true;
    endRunningSync();
    // Called by a page (not by the view's own end): the view must not stay
    // on screen once forgotten.
    if (m_webView && sender() != static_cast<QObject*>(m_webView)) {
        disconnect(m_webView, SIGNAL(destroyed()), this, SLOT(SLOT_quit()));
        m_webView->hide();
        m_webView->deleteLater();
    }
    m_webView = nullptr;
    emit m_requests->SIGNAL_quit();
}

void JsObject::SLOT_webViewDestroyed()
{
    // The view's end is the window's end: a page calling this gets the
    // quit, never a window left on screen without its bridge.
    SLOT_quit();
}
