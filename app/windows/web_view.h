#pragma once

#include <QElapsedTimer>
#include <QWebView>

class QCloseEvent;
class QHideEvent;
class QShowEvent;
class QNetworkSession;

namespace ConnectLayout {

class WebPage;

// The window that shows a page: a fixed frame (title, minimise, close), no
// scroll bars, a close notice the bridge may hold back, and a log line per
// page load. The bridge owns a sync window's main view; the viewer owns the
// quick dialog's.
class WebView : public QWebView {
    Q_OBJECT
public:
    explicit WebView(QWidget* parent = nullptr);
    ~WebView() override;

    // While false, a close request is ignored and SIGNAL_close stays quiet.
    bool closingAllowed() const { return m_closingAllowed; }
    void setClosingAllowed(bool allowed) { m_closingAllowed = allowed; }

    WebPage* webPage() const { return m_page; }
    // The view's one network session, made at construction.
    QNetworkSession* networkSession() const { return m_networkSession; }

public slots:
    void newPageLoading();
    void pageLoaded(bool ok);

signals:
    void SIGNAL_close();

protected:
    void closeEvent(QCloseEvent* event) override;
    // The page hears (document.hidden) whether the window can be seen, so
    // that it stops what only moves for the eye.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setPageShown(bool shown);

    // Opens the view's session again when it is not open; one per view, so a
    // long-lived window does not grow with every load.
    void openNetworkSession();

    bool m_closingAllowed = true;
    WebPage* m_page = nullptr;
    QElapsedTimer m_loadTime;
    QNetworkSession* m_networkSession = nullptr;
};

} // namespace ConnectLayout
