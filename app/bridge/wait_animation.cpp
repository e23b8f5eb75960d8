// The logo and the turning wheel a window shows while its first page loads.
#include "app/bridge/jsobject.h"

#include "app/animation/kantrel_movie.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

void JsObject::SLOT_runWaitAnimation()
{
    if (!m_webView)
        return;
    if (m_logoLabel && m_waitingLabel) {
        m_logoLabel->show();
        m_waitingLabel->show();
    } else {
        auto* layout = new QVBoxLayout(m_webView);
        layout->setContentsMargins(0, 0, 0, 0);

        m_logoLabel = new QLabel(m_webView);
        m_logoLabel->setPixmap(QPixmap(QStringLiteral(":/resources/img/ravosync.png")));
        m_logoLabel->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        m_logoLabel->setFixedSize(m_webView->width(), int(m_webView->height() / 1.8));

        m_waitingLabel = new QLabel(m_webView);
        m_waitingLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        m_waitingLabel->setFixedSize(m_webView->width(), 80);

        m_waitingMovie =
            new KantrelMovie(QStringLiteral(":/resources/img/waiting/waiting.png"), m_webView);
        connect(m_waitingMovie, SIGNAL(SIGNAL_frameChanged(int)), this,
                SLOT(SLOT_changeFrame(int)));
        m_waitingLabel->setPixmap(m_waitingMovie->currentPixmap());

        layout->addWidget(m_logoLabel);
        layout->addWidget(m_waitingLabel);
    }
    m_waitingMovie->SLOT_startAnimation();
}

void JsObject::SLOT_changeFrame(int)
{
    if (m_waitingLabel && m_waitingMovie)
        m_waitingLabel->setPixmap(m_waitingMovie->currentPixmap());
}

void JsObject::SLOT_stopWaitingAnim()
{
    if (m_waitingMovie)
        m_waitingMovie->SLOT_stopAnimation();
    if (m_waitingLabel)
        m_waitingLabel->hide();
    if (m_logoLabel)
        m_logoLabel->hide();
}
