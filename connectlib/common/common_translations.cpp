#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QScriptEngine>
#include <QScriptValue>
#include <QScriptValueIterator>
#include <QTextStream>

namespace ConnectLib {

namespace {
void log(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(text));
}
} // namespace

QString Common::getText(const QHash<QString, QString>& table, QString key)
{
    QString result = table.value(key);
    const int firstOpen = result.indexOf(QLatin1Char('['));
    const int firstClose = result.indexOf(QLatin1Char(']'));
    if (firstOpen < 0 || firstClose < 0 || firstOpen > firstClose)
        return result;

    // One level only: a value brought in by a substitution is not looked
    // into again, and each pass takes the first bracket of the text, so an
    // unresolved one stops the rest.
    const int passes = result.count(QLatin1Char('['));
    for (int pass = 0; pass < passes; ++pass) {
        const int open = result.indexOf(QLatin1Char('['));
        const int close = result.indexOf(QLatin1Char(']'));
        const QString tag = result.mid(open + 1, close > open ? close - open - 1 : -1);
        const QString value = table.value(tag);
        if (!value.isEmpty())
            result.replace(QLatin1Char('[') + tag + QLatin1Char(']'), value);
    }
    return result;
}

QHash<QString, QString> Common::parseJSONFile(const QString& file)
{
    QHash<QString, QString> table;
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text)) {
        log(QStringLiteral("Unable to open JSON file: ") + file);
        return table;
    }
    QTextStream stream(&input);
    stream.setCodec("UTF-8"); // a byte-order mark still selects its own encoding
    const QString text = stream.readAll();
    input.close();

    // Only a JSON object reaches the script engine: anything else could be a
    // program (a file in the working folder that loops for ever would hang
    // the start-up), and an array's properties are its indexes and length.
    // Such a text is refused like a syntax error.
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return table;

    QScriptEngine engine;
    const QScriptValue result =
        engine.evaluate(QLatin1Char('(') + text + QLatin1Char(')'), file, 1);
    if (engine.hasUncaughtException())
        return table;
    if (!result.isValid()) {
        log(QStringLiteral("JSON not valid!"));
        return table;
    }
    QScriptValueIterator it(result);
    while (it.hasNext()) {
        it.next();
        if (!it.value().isValid()) {
            log(QStringLiteral("Scriptvalue not valid. Aborting!"));
            table.clear();
            break;
        }
        table.insert(it.name(), it.value().toString());
    }
    return table;
}

QStringList Common::getAvailableLangCodes()
{
    const QStringList pattern{QStringLiteral("*.json")};
    QStringList names = QDir(QStringLiteral("resources/tr")).entryList(pattern, QDir::Files);
    if (names.isEmpty())
        names = QDir(QStringLiteral(":/resources/tr")).entryList(pattern, QDir::Files);

    QStringList codes;
    for (QString name : qAsConst(names)) {
        name.remove(QStringLiteral(".json"));
        if (name.indexOf(QLatin1Char('_')) <= 0)
            codes.append(QStringLiteral("en"));
        else
            codes.append(name.remove(QStringLiteral("translations_")));
    }
    codes.sort(Qt::CaseSensitive);
    return codes;
}

} // namespace ConnectLib
