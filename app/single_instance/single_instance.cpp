#include "app/single_instance/single_instance.h"

#include "app/logging/app_log.h"
#include "connectlib/common/common.h"
#include "connectlib/common/private_temp_dir.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTextCodec>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <sys/stat.h>
#include <unistd.h>

using ConnectGlobals::logLine;

namespace {

// A client that has not sent a whole message by then is dropped, so a
// stalled peer never holds a connection.
constexpr int clientTimeoutMs = 2000;
// Pause between two attempts to lock or deliver.
constexpr int retryPauseMs = 20;
constexpr int lengthBytes = 4;

// XDG_RUNTIME_DIR when it names a real folder of this user that nobody else
// may enter.
QString runtimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !runtime.startsWith('/'))
        return QString();
    struct stat st {};
    if (::lstat(runtime.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
        return QString();
    return QFile::decodeName(runtime);
}

QString instanceFolder()
{
    const QString runtime = runtimeFolder();
    if (!runtime.isEmpty()) {
        const QString folder = runtime + QStringLiteral("/ravosync");
        if (ConnectLib::ensurePrivateDirectory(folder))
            return folder;
    }
    const QString base = ConnectLib::Common::getTempFilesDataPath();
    if (base.isEmpty())
        return QString();
    const QString folder = base + QStringLiteral("/instance");
    return ConnectLib::ensurePrivateDirectory(folder) ? folder : QString();
}

// One name per program file, short enough for a socket path.
QString instanceName(QString path)
{
    if (path.isEmpty())
        path = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    if (path.isEmpty())
        path = QCoreApplication::applicationFilePath();
    return QString::fromLatin1(
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

QByteArray frame(const QString& message)
{
    const QByteArray text = message.toUtf8().left(SingleInstance::maxMessageBytes);
    QByteArray bytes(lengthBytes, '\0');
    qToBigEndian<quint32>(quint32(text.size()), bytes.data());
    return bytes + text;
}

// The text of valid UTF-8, or nothing.
bool decodeUtf8(const QByteArray& bytes, QString* text)
{
    QTextCodec::ConverterState state;
    *text = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

} // namespace

SingleInstance::SingleInstance(QObject* parent, const QString& key)
    : QObject(parent)
    , m_folder(instanceFolder())
    , m_name(instanceName(key))
{
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

QString SingleInstance::lockPath() const
{
    return m_folder.isEmpty() ? QString() : m_folder + QLatin1Char('/') + m_name + ".lock";
}

QString SingleInstance::socketPath() const
{
    return m_folder.isEmpty() ? QString() : m_folder + QLatin1Char('/') + m_name + ".sock";
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::sendMessage(const QString& message, int timeoutMs)
{
    if (m_folder.isEmpty()) {
        logLine(QStringLiteral("Single instance: no private folder; running without the "
                               "instance channel."));
        return false;
    }
    if (isListening())
        return false;

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (tryBecomeFirst())
            return false;
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        if (deliver(message, left))
            return true;
        const int rest = timeoutMs - int(clock.elapsed());
        if (rest <= 0)
            break;
        QThread::msleep(qMin(retryPauseMs, rest));
    }
    logLine(QStringLiteral("Single instance: the running instance did not answer within ") +
            QString::number(timeoutMs) +
            QStringLiteral(" ms; running without the instance channel."));
    return false;
}

bool SingleInstance::tryBecomeFirst()
{
    if (!m_lock) {
        m_lock = std::make_unique<QLockFile>(lockPath());
        // A live holder's lock is never taken; a dead holder's is stale at
        // once.
        m_lock->setStaleLockTime(0);
    }
    if (!m_lock->tryLock(0))
        return false;

    // Only the holder of the lock replaces the socket file.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    if (!m_server->listen(socketPath())) {
        logLine(QStringLiteral("Single instance: cannot listen on ") + socketPath() +
                QStringLiteral(": ") + m_server->errorString());
        delete m_server;
        m_server = nullptr;
    }
    return true;
}

bool SingleInstance::deliver(const QString& message, int timeoutMs) const
{
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return qMax(1, timeoutMs - int(clock.elapsed())); };

    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(left()))
        return false;
    const QByteArray bytes = frame(message);
    if (socket.write(bytes) != bytes.size())
        return false;
    while (socket.bytesToWrite() > 0) {
        if (clock.elapsed() >= timeoutMs || !socket.waitForBytesWritten(left()))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (clock.elapsed() >= timeoutMs || !socket.waitForReadyRead(left()))
            return false;
    }
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        m_pending.insert(client, QByteArray());
        connect(client, &QLocalSocket::readyRead, this, [this, client] { readClient(client); });
        connect(client, &QLocalSocket::disconnected, this, [this, client] { dropClient(client); });
        QTimer::singleShot(clientTimeoutMs, client, [this, client] { dropClient(client); });
        readClient(client);
    }
}

void SingleInstance::readClient(QLocalSocket* client)
{
    auto it = m_pending.find(client);
    if (it == m_pending.end())
        return;
    // Never more than one whole message is held.
    const qint64 room = lengthBytes + maxMessageBytes - it->size();
    it->append(client->read(qMax<qint64>(room, 0)));

    while (it->size() >= lengthBytes) {
        const quint32 length = qFromBigEndian<quint32>(it->constData());
        if (length > quint32(maxMessageBytes)) {
            dropClient(client);
            return;
        }
        if (it->size() < lengthBytes + int(length)) {
            // A full buffer that still lacks its message is not one.
            if (client->bytesAvailable() > 0 && it->size() >= lengthBytes + maxMessageBytes)
                dropClient(client);
            return;
        }
        QString text;
        if (!decodeUtf8(it->mid(lengthBytes, int(length)), &text)) {
            dropClient(client);
            return;
        }
        it->remove(0, lengthBytes + int(length));
        client->write("\1", 1);
        client->flush();
        emit messageReceived(text);
        // A receiver may have quit the dispatch or dropped the client.
        it = m_pending.find(client);
        if (it == m_pending.end())
            return;
        it->append(client->read(qMax<qint64>(lengthBytes + maxMessageBytes - it->size(), 0)));
    }
}

void SingleInstance::dropClient(QLocalSocket* client)
{
    if (!m_pending.remove(client))
        return;
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}
