#include "tests/connectlib/worker/worker_harness.h"

namespace ConnectLib::Test {

WorkerThread::WorkerThread(TCWorker* worker)
    : m_worker(worker)
{
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

WorkerThread::~WorkerThread()
{
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

} // namespace ConnectLib::Test
