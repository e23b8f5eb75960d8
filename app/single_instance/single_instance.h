#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// Keeps one running program per user and program file. The first start
// holds a lock file and listens on a local socket beside it; a later start
// hands its message over that socket and ends. Both live in a private
// folder of the user: "$XDG_RUNTIME_DIR/ravosync" when that folder is the
// user's own and closed to others, else "instance" below the private
// working folder.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // Largest message text in bytes (UTF-8).
    static constexpr int maxMessageBytes = 1024;

    // key names the instance; by default the program file's canonical path.
    explicit SingleInstance(QObject* parent = nullptr, const QString& key = QString());
    ~SingleInstance() override;

    // Until timeoutMs is spent: takes the lock (this is the first instance:
    // it listens and the answer is false) or delivers message to the
    // instance that holds it (true). When neither works in time, a live
    // holder is not answering: the answer is false and this process runs on
    // without the channel, leaving the holder's files alone.
    bool sendMessage(const QString& message, int timeoutMs);

    // True while this instance takes messages.
    bool isListening() const;
    // The folder and the two file names; empty when no private folder could
    // be made.
    QString folder() const { return m_folder; }
    QString lockPath() const;
    QString socketPath() const;

signals:
    // On the user interface thread, once per message taken.
    void messageReceived(QString message);

private:
    bool tryBecomeFirst();
    bool deliver(const QString& message, int timeoutMs) const;
    void acceptConnections();
    void readClient(QLocalSocket* client);
    void dropClient(QLocalSocket* client);

    QString m_folder;
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    // Bytes received but not yet taken, per client.
    QHash<QLocalSocket*, QByteArray> m_pending;
};
