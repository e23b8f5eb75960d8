#pragma once

#include <QObject>
#include <QString>

class JsObject;

namespace RavoSync::Test {

class StubSynchroniser;

// The stub synchroniser as a page-script object ("StubDevice"), so that
// script tables can play the device and read what reached it: the calls as
// JSON, the device's answers from JSON, a reset that ends with a device id.
class StubDeviceScript : public QObject {
    Q_OBJECT
public:
    StubDeviceScript(JsObject* bridge, StubSynchroniser* stub);

    // [{"name": ..., "args": [...]}] in order; a byte array argument comes
    // as {"bytes": <Base64>}, a list as an array.
    Q_INVOKABLE QString calls() const;
    Q_INVOKABLE void clear();
    // Answers every request with a result after control returns to the
    // event loop: {"flags": "OK", "flagsFor": {"getEntries": "..."},
    // "fileData", "offlineData", "freeSpace", "entries": [...]}; a flags
    // text lists flag names as the pages see them.
    Q_INVOKABLE void play(const QString& answersJson);
    // No answers at all: requests only record.
    Q_INVOKABLE void silence();
    // A reset request is answered with the device coming back as deviceId
    // with flagsText.
    Q_INVOKABLE void answerReset(const QString& deviceId, const QString& flagsText);

    // Whether the bridge's signal of that name (a page signal such as
    // "SIGNAL_fileRead") has any receiver left.
    Q_INVOKABLE bool connected(const QString& signalName) const;

private:
    JsObject* m_bridge;
    StubSynchroniser* m_stub;
};

} // namespace RavoSync::Test
