#include "resources/tr/translation_resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a global function, so it is called outside any namespace.
static void initTranslationsQrc()
{
    Q_INIT_RESOURCE(translations);
}

namespace ConnectLayout {

void initTranslationResources()
{
    initTranslationsQrc();
}

} // namespace ConnectLayout
