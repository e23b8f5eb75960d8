#pragma once

#include <QWebPage>

namespace ConnectLayout {

class WebView;

// The page of every web view. Page scripts' debug lines ("-D ...") go to
// the program's log, and the main frame only ever shows trusted pages
// (isTrustedPageOrigin); links elsewhere open in the desktop's browser.
class WebPage : public QWebPage {
    Q_OBJECT
public:
    explicit WebPage(WebView* view);
    ~WebPage() override;

protected:
    void javaScriptConsoleMessage(const QString& message, int lineNumber,
                                  const QString& sourceID) override;
    bool acceptNavigationRequest(QWebFrame* frame, const QNetworkRequest& request,
                                 NavigationType type) override;
};

} // namespace ConnectLayout
