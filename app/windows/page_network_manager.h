#pragma once

#include <QNetworkAccessManager>

namespace ConnectLayout {

// The network manager of every web page. The engine follows a redirect by
// sending the first request's headers to the new address; a request that
// carries its own credentials (a page's Authorization header with the
// application key) is redirected here instead, and only within its origin:
// a redirect to another scheme, host or port fails the request.
class PageNetworkManager : public QNetworkAccessManager {
    Q_OBJECT
public:
    explicit PageNetworkManager(QObject* parent = nullptr);

protected:
    QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request,
                                 QIODevice* outgoingData) override;
};

} // namespace ConnectLayout
