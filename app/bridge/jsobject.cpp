#include "app/bridge/jsobject.h"

#include "app/logging/app_log.h"
#include "app/windows/trusted_origin.h"
#include "app/windows/web_page.h"
#include "connectlib/common/common.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTimer>
#include <QWebFrame>
#include <QWebSecurityOrigin>
#include <QWebSettings>

// QNetworkSession is deprecated in Qt 5.15; the bridge keeps one open on the
// default configuration as the view does.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QNetworkConfigurationManager>
#include <QNetworkSession>

using ConnectGlobals::logLine;
using ConnectLib::Common;

namespace {

// The address a main frame's document came from, as the trusted-page rule
// reads it. Port 0 stands for the scheme's default.
QUrl originUrl(const QWebSecurityOrigin& origin)
{
    QUrl url;
    url.setScheme(origin.scheme());
    url.setHost(origin.host());
    if (origin.port() > 0)
        url.setPort(origin.port());
    return url;
}

} // namespace

JsObject::JsObject(QObject* parent)
    : QObject(parent)
    , m_webView(new ConnectLayout::WebView(nullptr))
    , m_contentUrl(Common::getSettingsValue(QStringLiteral("contenturl")))
    , m_closeAfterSync(Common::getSettingsValue(QStringLiteral("closeaftersync")) ==
                       QLatin1String("true"))
{
    initVariables();
    initWebView();
}

JsObject::~JsObject()
{
    // The replies the engine cancels as the view goes find a closing window.
    m_closing = true;
    // An unfinished map leaves no partial file in the offline store.
    if (QNetworkReply* reply = _fileDownloadReply) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
    }
    closeDownloadTarget(false);
    QWebSettings::clearMemoryCaches();
    delete m_webTimer;
    m_webTimer = nullptr;
    m_webTimerId = -1;
    // The view's destroyed() still runs SLOT_quit here, which forgets it;
    // everything SLOT_quit touches is alive until the end of this body.
    delete m_webView;
    m_webView = nullptr;
}

void JsObject::initVariables()
{
    SLOT_saveVariable(QStringLiteral("login_api_encoded_key"),
                      QString::fromLatin1(Common::createBasicAuth(
                          Common::getSettingsValue(QStringLiteral("apploginname")),
                          Common::getSettingsValue(QStringLiteral("apploginapikey")))));
    SLOT_saveVariable(QStringLiteral("avllangcodes"),
                      Common::getAvailableLangCodes().join(QLatin1Char(',')));
    SLOT_saveVariable(QStringLiteral("ravologin"),
                      QString::fromLatin1(Common::createBasicAuth(
                          Common::getSettingsValue(QStringLiteral("ravologinname")),
                          Common::getSettingsValue(QStringLiteral("ravologinpass")))));
}

void JsObject::initWebView()
{
    if (m_webView) {
        disconnect(m_webView, SIGNAL(destroyed()), nullptr, nullptr);
        connect(m_webView, SIGNAL(destroyed()), this, SLOT(SLOT_quit()));

        m_webView->setContent(QByteArray(), QString(), QUrl());
        m_webView->setContextMenuPolicy(Qt::NoContextMenu);

        QWebFrame* frame = m_webView->page()->mainFrame();
        disconnect(frame, SIGNAL(javaScriptWindowObjectCleared()), nullptr, nullptr);
        connect(frame, SIGNAL(javaScriptWindowObjectCleared()), this, SLOT(SLOT_addJSObject()));

        disconnect(m_webView, SIGNAL(SIGNAL_close()), nullptr, nullptr);
        connect(m_webView, SIGNAL(SIGNAL_close()), this, SLOT(SLOT_close()));

        QNetworkAccessManager* manager = m_webView->page()->networkAccessManager();
        disconnect(manager, SIGNAL(sslErrors(QNetworkReply*, QList<QSslError>)), this,
                   SLOT(SLOT_handleSslErrors(QNetworkReply*, QList<QSslError>)));
        connect(manager, SIGNAL(sslErrors(QNetworkReply*, QList<QSslError>)), this,
                SLOT(SLOT_handleSslErrors(QNetworkReply*, QList<QSslError>)));

        // The view keeps its own load handlers (its timing line); only the
        // bridge's earlier ones go.
        disconnect(m_webView, SIGNAL(loadStarted()), this, nullptr);
        disconnect(m_webView, SIGNAL(loadProgress(int)), this, nullptr);
        disconnect(m_webView, SIGNAL(loadFinished(bool)), this, nullptr);
        connect(m_webView, SIGNAL(loadStarted()), this, SLOT(SLOT_loadStart()));
        connect(m_webView, SIGNAL(loadProgress(int)), this, SLOT(SLOT_setProgress(int)));
        connect(m_webView, SIGNAL(loadFinished(bool)), this, SLOT(SLOT_loadFinnished(bool)));

        // Without a network-management daemon the default configuration is
        // the always-open generic one; the session never holds requests back.
        // Its state and errors are only logged when a page asks.
        QNetworkConfigurationManager configurations;
        m_networkSession = new QNetworkSession(configurations.defaultConfiguration(), this);
        if (!m_networkSession->isOpen())
            m_networkSession->open();

        disconnect(manager, SIGNAL(finished(QNetworkReply*)), this, nullptr);
        connect(manager, SIGNAL(finished(QNetworkReply*)), this,
                SLOT(SLOT_replyReceived(QNetworkReply*)));
        disconnect(manager, &QNetworkAccessManager::networkAccessibleChanged, this, nullptr);
        connect(manager, &QNetworkAccessManager::networkAccessibleChanged, this,
                [this](QNetworkAccessManager::NetworkAccessibility accessible) {
                    SLOT_networkAccessibleChanged(int(accessible));
                });

        SLOT_resetProxy();
    }

    QWebSettings* settings = QWebSettings::globalSettings();
    QWebSettings::setMaximumPagesInCache(0);
    QWebSettings::setObjectCacheCapacities(0, 0, 0);
    settings->setDefaultTextEncoding(QStringLiteral("utf-8"));
    settings->setAttribute(QWebSettings::LocalContentCanAccessRemoteUrls, true);
}

void JsObject::SLOT_resetProxy()
{
    if (m_webView && m_webView->page())
        m_webView->page()->networkAccessManager()->setProxy(QNetworkProxy::applicationProxy());
}

void JsObject::SLOT_saveVariable(QString key, QString value)
{
    m_variables.insert(key, value);
}

QString JsObject::SLOT_getVariable(QString key)
{
    return m_variables.value(key);
}

void JsObject::SLOT_addJSObject()
{
    if (!m_webView || !m_webView->page())
        return;
    QWebFrame* frame = m_webView->page()->mainFrame();
    // The new document exists: the replaced page's requests were all
    // cancelled before it.
    m_replacingPage = false;
    // Judged at this moment: the origin is already the new document's.
    const QUrl origin = originUrl(frame->securityOrigin());
    if (!ConnectLayout::isTrustedPageOrigin(origin)) {
        logLine(QStringLiteral("JSObject not offered to an untrusted page: ") + origin.toString());
        return;
    }
    frame->addToJavaScriptWindowObject(QStringLiteral("JSObject"), this);
}

QVariant JsObject::SLOT_evaluateJS(QString jsCommand)
{
    if (!m_webView || !m_webView->page())
        return QVariant(false);
    return m_webView->page()->mainFrame()->evaluateJavaScript(jsCommand);
}

void JsObject::storeShowErrorDialog(const QString& value)
{
    m_showErrorDialog =
        value == QLatin1String("false") ? QStringLiteral("false") : QStringLiteral("true");
}

bool JsObject::isLocalReplyOk(ConnectLib::CPStateFlags flags)
{
    const QString flagsText = Common::stringFromStateFlags(flags);
    // The flags text is made of flag names; the value is "true" or "false".
    const QVariant verdict = SLOT_evaluateJS(
        QStringLiteral("App.Common.parseLocalReply('%0',%1)").arg(flagsText, m_showErrorDialog));
    m_showErrorDialog = QStringLiteral("true");
    return verdict.toBool();
}

void JsObject::SLOT_loadStart() {}

void JsObject::SLOT_setProgress(int progress)
{
    logLine(QStringLiteral("progress: ") + QString::number(progress));
}

void JsObject::SLOT_loadFinnished(bool status)
{
    // The replaced page's own load ends failed while the new one runs: only
    // a load that succeeded (or the new document, SLOT_addJSObject) ends the
    // replacement.
    if (status)
        m_replacingPage = false;
    logLine(QStringLiteral("status: ") + QString::number(status ? 1 : 0));
}

void JsObject::SLOT_closed()
{
    logLine(QStringLiteral("Session closed"));
}

QT_WARNING_POP
