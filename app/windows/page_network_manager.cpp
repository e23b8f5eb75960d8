#include "app/windows/page_network_manager.h"

#include <QNetworkRequest>

namespace ConnectLayout {

PageNetworkManager::PageNetworkManager(QObject* parent)
    : QNetworkAccessManager(parent)
{
}

QNetworkReply* PageNetworkManager::createRequest(Operation operation,
                                                 const QNetworkRequest& request,
                                                 QIODevice* outgoingData)
{
    if (!request.hasRawHeader("Authorization"))
        return QNetworkAccessManager::createRequest(operation, request, outgoingData);
    QNetworkRequest confined(request);
    confined.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                          QNetworkRequest::SameOriginRedirectPolicy);
    return QNetworkAccessManager::createRequest(operation, confined, outgoingData);
}

} // namespace ConnectLayout
