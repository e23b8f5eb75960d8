// The tray program; for now it only proves that the libraries load.
#include "resources/tr/translation_resources.h"

#include <QtGlobal>

int main()
{
    // The program's pictures are compiled into a static library: registering
    // them here also keeps them in the link.
    Q_INIT_RESOURCE(images);
    ConnectLayout::initTranslationResources();
    return 0;
}
