// The tray program: one instance per user, a controller that owns the
// device connections, the tray icon and the sync windows, and the event
// dispatch until the user quits.
#include "app/controller/connect_client_main.h"
#include "app/logging/app_log.h"
#include "app/network/trusted_roots.h"
#include "app/single_instance/single_instance.h"
#include "app/startup/graphical_session.h"
#include "app/startup/startup.h"
#include "connectlib/types/meta_types.h"
#include "resources/tr/translation_resources.h"

#include <QApplication>
#include <QWebSettings>

#include <cstdio>

int main(int argc, char** argv)
{
    // Without a display Qt ends the process with an abort and a hint to
    // reinstall; the user is told what is missing instead.
    const std::string noDisplay = ConnectGlobals::missingDisplay(argc, argv);
    if (!noDisplay.empty()) {
        std::fprintf(stderr,
                     "RavoSync needs a graphical session: %s.\n"
                     "Start it from your desktop session or a terminal in it.\n",
                     noDisplay.c_str());
        return 1;
    }
    ConnectGlobals::keepTerminalToWarnings();
    // Before any network object exists, so that each starts from this trust.
    ConnectGlobals::addTrustedRootsFromEnvironment();
    // The program's pictures and pages are compiled into static libraries:
    // registering them here also keeps them in the link.
    Q_INIT_RESOURCE(images);
    Q_INIT_RESOURCE(pages);
    ConnectLayout::initTranslationResources();
    ConnectLib::registerMetaTypes();

    int result = 0;
    {
        QApplication app(argc, argv);
        SingleInstance instance;
        if (instance.sendMessage(QStringLiteral("wakeup"), 5000)) {
            ConnectGlobals::logLine(QStringLiteral("Application already running. Waking up..."));
            return 0;
        }
        ConnectGlobals::prepareApplication();
        ConnectGlobals::QuitOnSignals quitOnSignals;
        {
            ConnectClientMain controller;
            QObject::connect(&instance, SIGNAL(messageReceived(QString)), &controller,
                             SLOT(SLOT_singleAppMessage(QString)));
            result = app.exec();
            QWebSettings::clearMemoryCaches();
        }
    }
    return result;
}
