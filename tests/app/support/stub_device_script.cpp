#include "tests/app/support/stub_device_script.h"

#include "app/bridge/jsobject.h"
#include "connectlib/common/common.h"
#include "tests/app/support/stub_synchroniser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>

namespace RavoSync::Test {

namespace {

// The flags a text names, by the names the pages see.
ConnectLib::CPStateFlags flagsFromText(const QString& text)
{
    ConnectLib::CPStateFlags flags;
    const QStringList names = text.split(QLatin1Char(','));
    for (int bit = 0; bit < 31; ++bit) {
        const auto flag = static_cast<ConnectLib::CPStateFlag>(1 << bit);
        const QString name = ConnectLib::Common::stringFromStateFlags(flag);
        if (name.isEmpty())
            continue;
        for (const QString& wanted : names) {
            if (wanted.trimmed() == name)
                flags |= flag;
        }
    }
    return flags;
}

// Reads QObject's protected isSignalConnected through a member pointer
// named in a derived class.
struct SignalProbe : QObject {
    static bool isConnected(const QObject* object, const QMetaMethod& signal)
    {
        bool (QObject::*connected)(const QMetaMethod&) const = &SignalProbe::isSignalConnected;
        return (object->*connected)(signal);
    }
};

QJsonValue argumentJson(const QVariant& value)
{
    if (value.userType() == QMetaType::QByteArray)
        return QJsonObject{{"bytes", QString::fromLatin1(value.toByteArray().toBase64())}};
    if (value.userType() == QMetaType::QStringList)
        return QJsonArray::fromStringList(value.toStringList());
    if (value.userType() == QMetaType::Bool)
        return value.toBool();
    return value.toString();
}

} // namespace

StubDeviceScript::StubDeviceScript(JsObject* bridge, StubSynchroniser* stub)
    : m_bridge(bridge)
    , m_stub(stub)
{
}

QString StubDeviceScript::calls() const
{
    QJsonArray list;
    for (const StubSynchroniser::Call& call : m_stub->calls()) {
        QJsonArray arguments;
        for (const QVariant& argument : call.arguments)
            arguments.append(argumentJson(argument));
        list.append(QJsonObject{{"name", call.name}, {"args", arguments}});
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

bool StubDeviceScript::connected(const QString& signalName) const
{
    const QMetaObject* meta = m_bridge->metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal &&
            QString::fromLatin1(method.name()) == signalName &&
            SignalProbe::isConnected(m_bridge, method))
            return true;
    }
    return false;
}

void StubDeviceScript::clear()
{
    m_stub->clearCalls();
}

void StubDeviceScript::play(const QString& answersJson)
{
    const QJsonObject given = QJsonDocument::fromJson(answersJson.toUtf8()).object();
    StubSynchroniser::DeviceAnswers answers;
    answers.flags =
        flagsFromText(given.value(QStringLiteral("flags")).toString(QStringLiteral("OK")));
    const QJsonObject own = given.value(QStringLiteral("flagsFor")).toObject();
    for (auto it = own.begin(); it != own.end(); ++it)
        answers.flagsFor[it.key()] = flagsFromText(it.value().toString());
    answers.fileData = given.value(QStringLiteral("fileData")).toString();
    answers.offlineData = given.value(QStringLiteral("offlineData")).toString();
    answers.freeSpace =
        static_cast<qulonglong>(given.value(QStringLiteral("freeSpace")).toDouble());
    for (const QJsonValue& entry : given.value(QStringLiteral("entries")).toArray())
        answers.entries.append(entry.toString());
    m_stub->playDevice(StubSynchroniser::When::Later, answers);
}

void StubDeviceScript::silence()
{
    m_stub->clearAnswers();
}

void StubDeviceScript::answerReset(const QString& deviceId, const QString& flagsText)
{
    const ConnectLib::CPStateFlags flags = flagsFromText(flagsText);
    m_stub->answer(QStringLiteral("doReset"), StubSynchroniser::When::Later,
                   [deviceId, flags](JsObject* bridge, const QVariantList&) {
                       bridge->SLOT_continueWithDevice(deviceId, flags);
                   });
}

} // namespace RavoSync::Test
