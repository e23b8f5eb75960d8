// Entry point of the page benchmarks: as the program's tests do, the
// offscreen platform, private folders, the program's resources and
// recording URL handlers (no browser starts), then Google Benchmark's run.
#include "app/network/trusted_roots.h"
#include "app/sync_state/sync_state.h"
#include "bench/app/app_bench_env.h"
#include "connectlib/types/meta_types.h"
#include "resources/tr/translation_resources.h"
#include "tests/app/support/url_handlers.h"
#include "tests/connectlib/support/private_folders.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ConnectGlobals::addTrustedRootsFromEnvironment();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    zarvo::test::temp_dir root;
    ConnectLib::Test::usePrivateFolders(root);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    {
        QApplication app(argc, argv);
        Q_INIT_RESOURCE(images);
        Q_INIT_RESOURCE(pages);
        ConnectLayout::initTranslationResources();
        RavoSync::Test::installRecordingUrlHandlers();
        ConnectLib::registerMetaTypes();
        ConnectGlobals::SyncState::registerSyncProcessState();
        benchmark::RunSpecifiedBenchmarks();
        RavoSync::Bench::releaseFakeWeb();
        RavoSync::Test::removeRecordingUrlHandlers();
    }
    benchmark::Shutdown();
    return 0;
}
