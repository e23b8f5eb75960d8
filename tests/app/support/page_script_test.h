#pragma once

#include "app/bridge/jsobject.h"
#include "tests/app/support/fake_web.h"
#include "tests/app/support/stub_device_script.h"
#include "tests/app/support/stub_synchroniser.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <gtest/gtest.h>

#include <memory>

class QWebFrame;

namespace RavoSync::Test {

// Runs page-script tables (tests/app/pages/runner.js) in the real web
// engine: the fake web service serves tests/app/pages/www/ under the content
// server's "/contentserver/test/", a real bridge with the stub synchroniser
// loads a host page from there (the content origin, so the page gets
// "JSObject" and "../" reaches the real page tree), the runner and one suite
// file read from the source tree are evaluated in it, and every failed row
// becomes a test failure that names its table and row.
class PageScriptTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Loads hostPage (a file name in tests/app/pages/www/) through the
    // bridge; true once its scripts are ready and "JSObject" is there.
    bool loadHostPage(const QString& hostPage);
    // Loads hostPage, then runs the tables of suiteFile (a path below
    // tests/app/pages/).
    void runSuite(const QString& hostPage, const QString& suiteFile);
    // Runs the tables of suiteFile in the page already loaded.
    void runLoadedSuite(const QString& suiteFile);

    // Gives every document the window loads the script object name.
    void exposeObject(const QString& name, QObject* object);
    // Gives every document the stub synchroniser as the script object
    // "StubDevice" (stub_device_script.h).
    void exposeStubDevice();

    QWebFrame* frame() const;
    QVariant js(const QString& expression) const;
    // Evaluates a file below tests/app/pages/ at the page's top level; the
    // script error, or an empty text.
    QString evaluateFile(const QString& relativePath) const;

    // Folders the content server serves before the page tree (such as
    // FakeWeb::syncFixturesDir()); set before SetUp.
    QStringList m_firstContent;
    std::unique_ptr<FakeWeb> m_web;
    std::unique_ptr<JsObject> m_bridge;
    std::unique_ptr<StubSynchroniser> m_stub;
    std::unique_ptr<StubDeviceScript> m_device;
};

} // namespace RavoSync::Test
