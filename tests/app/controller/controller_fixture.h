#pragma once

#include "app/controller/connect_client_main.h"
#include "app/platform/systemhooks.h"
#include "connectlib/common/common.h"
#include "tests/app/controller/controller_provider.h"
#include "tests/connectlib/support/log_lines.h"
#include "tests/support/temp_dir.h"

#include <QDir>
#include <QNetworkProxy>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <memory>

namespace RavoSync::Test {

// A controller made on demand over an empty settings store, with the
// system's locale, proxies and desktop replaced by the test's own.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Translation files below the working directory win over the
        // built-in ones: start from a folder without any.
        m_previousDirectory = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(m_workingDirectory.path().string())));
        // The first settings call sets the store's identity.
        ConnectLib::Common::getSettingsValue(QStringLiteral("language"));
        QSettings settings;
        settings.clear();
        settings.sync();
        QDir(autostartFolder()).removeRecursively();
        QNetworkProxy::setApplicationProxy(QNetworkProxy());

        // No test reaches the machine's devices.
        ConnectClientMain::setProviderFactory([this](QObject* parent) -> QObject* {
            auto* provider = new ControllerProvider;
            provider->setParent(parent);
            m_provider = provider;
            return provider;
        });
        SystemHooks::setSystemLocaleName([this] { return m_locale; });
        SystemHooks::setSystemProxies([this](const QNetworkProxyQuery& query) {
            m_proxyQueries.append(query);
            return m_systemProxies;
        });
        SystemHooks::setOpenUrl([this](const QUrl& url) {
            m_opened.append(url);
            return m_openerAnswer;
        });
    }
    void TearDown() override
    {
        m_controller.reset();
        ConnectClientMain::setProviderFactory(nullptr);
        SystemHooks::setSystemLocaleName(nullptr);
        SystemHooks::setSystemProxies(nullptr);
        SystemHooks::setOpenUrl(nullptr);
        QDir::setCurrent(m_previousDirectory);
    }

    ConnectClientMain& makeController()
    {
        m_controller = std::make_unique<ConnectClientMain>();
        return *m_controller;
    }
    static QString setting(const char* key)
    {
        return ConnectLib::Common::getSettingsValue(QLatin1String(key));
    }
    static void setSetting(const char* key, const QString& value)
    {
        ConnectLib::Common::setSettingsValue(QLatin1String(key), value);
    }
    static QString autostartFolder()
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
               QStringLiteral("/autostart");
    }

    zarvo::test::temp_dir m_workingDirectory;
    QString m_previousDirectory;
    ConnectLib::Test::LogLines m_log;
    QString m_locale = QStringLiteral("en_US");
    QList<QNetworkProxy> m_systemProxies;
    QList<QNetworkProxyQuery> m_proxyQueries;
    QList<QUrl> m_opened;
    bool m_openerAnswer = true;
    // The controller's provider, valid while the controller lives.
    ControllerProvider* m_provider = nullptr;
    std::unique_ptr<ConnectClientMain> m_controller;
};

} // namespace RavoSync::Test
