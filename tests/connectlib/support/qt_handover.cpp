// How Qt hands data between threads, told to ThreadSanitizer.
//
// Qt orders a queued call by its per-thread event queue, guarded by Qt's own
// mutex inside the uninstrumented library: the race checker sees the poster
// write the arguments and the receiver read them, but not the queue between,
// and reports every queued call as a race. Here the entry points our code
// calls to hand work over are wrapped (the executable's definition comes
// before Qt's; each calls Qt's own through dlsym(RTLD_NEXT)), each one a
// release before the post, and TestApplication::notify an acquire before the
// delivery. The keys:
// - a queued invocation of a function object: the call itself; a blocking
//   one is also a release after the call and an acquire when the caller
//   resumes;
// - an invocation by name or a posted event: the receiving object;
// - a signal, and the copies Qt makes of a queued call's arguments: one key
//   for all, as the emitter does not know where its queued connections lead
//   and a copy does not know its call; every queued slot call acquires it;
// - a QThread: its end (a direct connection to finished, on the thread) is a
//   release, a wait that sees the thread finished an acquire (Qt joins no
//   detached thread the checker could see).
// Races inside a slot, or between a slot and a thread that hands nothing
// over, stay visible.
#include "tests/connectlib/support/qt_handover.h"

#if defined(__SANITIZE_THREAD__)

#include <QByteArray>
#include <QMetaObject>
#include <QMetaType>
#include <QThread>

#include <array>
#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <sanitizer/tsan_interface.h>
#include <utility>

namespace {

char queuedKey;

// The copies Qt makes of a queued call's arguments: the registered copy
// constructor of a type runs on the poster's thread after the event has been
// made, just before Qt queues it. Each registered constructor is replaced by
// a trampoline that copies and then releases.
constexpr std::size_t copySlots = 512;
std::array<std::atomic<QMetaType::Constructor>, copySlots> copyConstructors;
std::mutex copyMutex;
std::size_t copyCount = 0;

template <std::size_t N>
void* copyAndRelease(void* where, const void* from)
{
    void* made = copyConstructors[N].load(std::memory_order_acquire)(where, from);
    __tsan_release(&queuedKey);
    return made;
}

template <std::size_t... N>
constexpr std::array<QMetaType::Constructor, sizeof...(N)>
makeTrampolines(std::index_sequence<N...>)
{
    return {{&copyAndRelease<N>...}};
}

const std::array<QMetaType::Constructor, copySlots> trampolines =
    makeTrampolines(std::make_index_sequence<copySlots>());

QMetaType::Constructor releasingCopy(QMetaType::Constructor constructor)
{
    if (!constructor)
        return constructor;
    std::lock_guard<std::mutex> lock(copyMutex);
    for (std::size_t i = 0; i < copyCount; ++i) {
        if (copyConstructors[i].load(std::memory_order_relaxed) == constructor)
            return trampolines[i];
    }
    if (copyCount == copySlots)
        return constructor;
    copyConstructors[copyCount].store(constructor, std::memory_order_release);
    return trampolines[copyCount++];
}

template <typename F>
F next(const char* symbol)
{
    void* found = dlsym(RTLD_NEXT, symbol);
    if (!found)
        std::abort();
    return reinterpret_cast<F>(found);
}

// Wraps a queued function object: acquires at the call what the poster
// released at the post; for a blocking call, releases what the caller
// acquires when it resumes.
class HandOverSlot : public QtPrivate::QSlotObjectBase {
public:
    HandOverSlot(QtPrivate::QSlotObjectBase* inner, void* doneKey)
        : QSlotObjectBase(&impl)
        , m_inner(inner)
        , m_doneKey(doneKey)
    {
    }

private:
    static void impl(int which, QSlotObjectBase* base, QObject* receiver, void** args, bool* ret)
    {
        auto* self = static_cast<HandOverSlot*>(base);
        switch (which) {
        case Destroy:
            __tsan_acquire(self);
            self->m_inner->destroyIfLastRef();
            delete self;
            break;
        case Call: {
            __tsan_acquire(self);
            void* doneKey = self->m_doneKey;
            self->m_inner->call(receiver, args);
            if (doneKey)
                __tsan_release(doneKey);
            // Qt may destroy the call on the caller's thread: nothing here
            // touches it after this.
            __tsan_release(self);
            break;
        }
        case Compare:
            if (ret)
                *ret = false;
            break;
        default:
            break;
        }
    }

    QtPrivate::QSlotObjectBase* m_inner;
    void* m_doneKey;
};

} // namespace

void QMetaObject::activate(QObject* sender, const QMetaObject* m, int localSignalIndex, void** argv)
{
    static const auto qt = next<void (*)(QObject*, const QMetaObject*, int, void**)>(
        "_ZN11QMetaObject8activateEP7QObjectPKS_iPPv");
    __tsan_release(&queuedKey);
    qt(sender, m, localSignalIndex, argv);
}

int QMetaType::registerNormalizedType(const ::QByteArray& normalizedTypeName, Destructor destructor,
                                      Constructor constructor, int size, QMetaType::TypeFlags flags,
                                      const QMetaObject* metaObject)
{
    static const auto qt = next<int (*)(const ::QByteArray&, Destructor, Constructor, int,
                                        QMetaType::TypeFlags, const QMetaObject*)>(
        "_ZN9QMetaType22registerNormalizedTypeERK10QByteArrayPFvPvEPFS3_S3_PKvEi6QFlagsINS_"
        "8TypeFlagEEPK11QMetaObject");
    return qt(normalizedTypeName, destructor, releasingCopy(constructor), size, flags, metaObject);
}

bool QMetaObject::invokeMethodImpl(QObject* object, QtPrivate::QSlotObjectBase* slot,
                                   Qt::ConnectionType type, void* ret)
{
    static const auto qt =
        next<bool (*)(QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, void*)>(
            "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14"
            "ConnectionTypeEPv");
    char done = 0;
    const bool blocking = type == Qt::BlockingQueuedConnection;
    auto* wrapped = new HandOverSlot(slot, blocking ? &done : nullptr);
    __tsan_release(wrapped);
    const bool result = qt(object, wrapped, type, ret);
    if (blocking)
        __tsan_acquire(&done);
    return result;
}

bool QMetaObject::invokeMethod(QObject* obj, const char* member, Qt::ConnectionType type,
                               QGenericReturnArgument ret, QGenericArgument val0,
                               QGenericArgument val1, QGenericArgument val2, QGenericArgument val3,
                               QGenericArgument val4, QGenericArgument val5, QGenericArgument val6,
                               QGenericArgument val7, QGenericArgument val8, QGenericArgument val9)
{
    static const auto qt = next<bool (*)(
        QObject*, const char*, Qt::ConnectionType, QGenericReturnArgument, QGenericArgument,
        QGenericArgument, QGenericArgument, QGenericArgument, QGenericArgument, QGenericArgument,
        QGenericArgument, QGenericArgument, QGenericArgument, QGenericArgument)>(
        "_ZN11QMetaObject12invokeMethodEP7QObjectPKcN2Qt14ConnectionTypeE22QGenericReturnArgument"
        "16QGenericArgumentS7_S7_S7_S7_S7_S7_S7_S7_S7_");
    __tsan_release(obj);
    return qt(obj, member, type, ret, val0, val1, val2, val3, val4, val5, val6, val7, val8, val9);
}

void QCoreApplication::postEvent(QObject* receiver, QEvent* event, int priority)
{
    static const auto qt = next<void (*)(QObject*, QEvent*, int)>(
        "_ZN16QCoreApplication9postEventEP7QObjectP6QEventi");
    __tsan_release(receiver);
    qt(receiver, event, priority);
}

void QThread::start(Priority priority)
{
    static const auto qt = next<void (*)(QThread*, Priority)>("_ZN7QThread5startENS_8PriorityE");
    // Emitted on the thread itself, after its event loop and before Qt marks
    // it finished.
    connect(
        this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
    qt(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto qt =
        next<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool finished = qt(this, deadline);
    if (finished)
        __tsan_acquire(this);
    return finished;
}

bool QThread::wait(unsigned long time)
{
    static const auto qt = next<bool (*)(QThread*, unsigned long)>("_ZN7QThread4waitEm");
    const bool finished = qt(this, time);
    if (finished)
        __tsan_acquire(this);
    return finished;
}

bool ConnectLib::Test::TestApplication::notify(QObject* receiver, QEvent* event)
{
    __tsan_acquire(receiver);
    if (event->type() == QEvent::MetaCall)
        __tsan_acquire(&queuedKey);
    return QCoreApplication::notify(receiver, event);
}

#else

bool ConnectLib::Test::TestApplication::notify(QObject* receiver, QEvent* event)
{
    return QCoreApplication::notify(receiver, event);
}

#endif
