#pragma once

#include <QList>
#include <QObject>
#include <QString>

class JsObject;

namespace RavoSync::Test {

class FakeWeb;

// What a page's flow did outside the page, as a page-script object
// ("Probe"), so that script tables can set the fake web service's answers
// per row and see what reached the desktop and the window: the addresses the
// recording URL handlers took, the bridge's put-on-top requests and the
// clipboard. The desktop opener can be made to refuse; the destructor puts
// the default opener back.
class PageProbeScript : public QObject {
    Q_OBJECT
public:
    PageProbeScript(JsObject* bridge, FakeWeb* web);
    ~PageProbeScript() override;

    // Replaces the fake's answer rules with the JSON array given.
    Q_INVOKABLE void setRoutes(const QString& routesJson);
    // The fake's request log: [{"method", "host", "path", "query",
    // "headers": {...}, "body"}], oldest first.
    Q_INVOKABLE QString requests() const;

    // Addresses the desktop took (the recording handlers), as a JSON array.
    Q_INVOKABLE QString opened() const;
    // The desktop opener refuses the next count addresses (answers false,
    // records nothing).
    Q_INVOKABLE void refuseOpens(int count);
    Q_INVOKABLE int refusedOpens() const { return m_refused; }

    // The bridge's put-on-top requests, true or false each, as a JSON array.
    Q_INVOKABLE QString onTop() const;

    Q_INVOKABLE QString clipboard() const;

    // Forgets the addresses, refusals, put-on-top requests and clipboard.
    Q_INVOKABLE void clear();

private:
    FakeWeb* m_web;
    QList<bool> m_onTop;
    int m_refuse = 0;
    int m_refused = 0;
};

} // namespace RavoSync::Test
