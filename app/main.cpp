// The tray program; for now it only proves that the libraries load.
#include "app/network/trusted_roots.h"
#include "connectlib/types/meta_types.h"
#include "resources/tr/translation_resources.h"

#include <QtGlobal>

int main()
{
    // Before any network object exists, so that each starts from this trust.
    ConnectGlobals::addTrustedRootsFromEnvironment();
    // The program's pictures and pages are compiled into static libraries:
    // registering them here also keeps them in the link.
    Q_INIT_RESOURCE(images);
    Q_INIT_RESOURCE(pages);
    ConnectLayout::initTranslationResources();
    ConnectLib::registerMetaTypes();
    return 0;
}
