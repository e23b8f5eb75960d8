// What the built-in pages refer to is built in too: every picture, script,
// style sheet and font that a page, a style sheet or a page script names, and
// every text key that a page element or a literal text call uses.
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

const QString root = QStringLiteral(":/resources/");

QString read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// Built-in files below root with one of the suffixes, as names relative to
// root ("ui/index.html").
QStringList builtIn(const QStringList& suffixes)
{
    QStringList names;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (suffixes.contains(QFileInfo(path).suffix()))
            names.append(path.mid(root.size()));
    }
    names.sort();
    return names;
}

QStringList captures(const QRegularExpression& re, const QString& text, int group = 1)
{
    QStringList out;
    auto it = re.globalMatch(text);
    while (it.hasNext())
        out.append(it.next().captured(group));
    return out;
}

// The contents of every <tag>…</tag> of a page.
QString blocks(const QString& page, const QString& tag)
{
    const QRegularExpression re(QStringLiteral("<%1\\b[^>]*>(.*?)</%1>").arg(tag),
                                QRegularExpression::DotMatchesEverythingOption |
                                    QRegularExpression::CaseInsensitiveOption);
    return captures(re, page).join(QLatin1Char('\n'));
}

// A fixed name of a file: nothing the script or page builds at run time,
// nothing outside the page tree.
bool isFixedRelativeName(const QString& ref)
{
    static const QRegularExpression external(QStringLiteral("^([a-z]+:|#|//)"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression built(QStringLiteral("[\\s'\"+<>{}()\\[\\]]"));
    return !ref.isEmpty() && !external.match(ref).hasMatch() && !built.match(ref).hasMatch();
}

// ref seen from a file in folder (relative to root), as a name relative to
// root; empty when it leaves the tree.
QString resolve(const QString& folder, QString ref)
{
    const int cut = ref.indexOf(QRegularExpression(QStringLiteral("[?#]")));
    if (cut >= 0)
        ref.truncate(cut);
    const QUrl base(QStringLiteral("qrc:/resources/") + folder);
    const QString path = base.resolved(QUrl(ref)).path();
    const QString prefix = QStringLiteral("/resources/");
    return path.startsWith(prefix) ? path.mid(prefix.size()) : QString();
}

QString folderOf(const QString& name)
{
    const int slash = name.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : name.left(slash + 1);
}

const QRegularExpression cssUrl(QStringLiteral("url\\(\\s*['\"]?([^'\")]+?)['\"]?\\s*\\)"));

// Names in script text: quoted literals ending in a picture, style sheet,
// script or font suffix.
QStringList scriptFileNames(const QString& script)
{
    static const QRegularExpression literal(
        QStringLiteral("[\"']([^\"'\\s]*\\.(?:png|gif|jpg|svg|css|js|ttf|otf|woff))[\"']"));
    QStringList out;
    for (const QString& name : captures(literal, script)) {
        // A bare suffix (".png") is only the end of a name built at run time.
        if (!name.startsWith(QLatin1Char('.')) || name.startsWith(QStringLiteral("../")))
            out.append(name);
    }
    return out;
}

struct Reference {
    QString from;   // the file that names it
    QString target; // relative to root
};

// Every file reference of the built-in pages, style sheets and page scripts.
// Scripts run in the pages of ui/, so their names are seen from there.
QList<Reference> fileReferences()
{
    QList<Reference> refs;
    auto add = [&refs](const QString& from, const QString& folder, const QStringList& names) {
        for (const QString& name : names) {
            if (isFixedRelativeName(name))
                refs.append({from, resolve(folder, name)});
        }
    };
    static const QRegularExpression attribute(
        QStringLiteral("\\b(?:src|href)\\s*=\\s*([\"'])(.*?)\\1"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QString& page : builtIn({QStringLiteral("html")})) {
        const QString text = read(root + page);
        const QString folder = folderOf(page);
        add(page, folder, captures(attribute, text, 2));
        add(page, folder, captures(cssUrl, text));
        add(page, folder, scriptFileNames(blocks(text, QStringLiteral("script"))));
    }
    for (const QString& sheet : builtIn({QStringLiteral("css")}))
        add(sheet, folderOf(sheet), captures(cssUrl, read(root + sheet)));
    for (const QString& script : builtIn({QStringLiteral("js")})) {
        // Only the page library's scripts at the top; jQuery names nothing.
        if (script.contains(QLatin1Char('/')))
            continue;
        add(script, QStringLiteral("ui/"), scriptFileNames(read(root + script)));
    }
    return refs;
}

struct TextKey {
    QString from;
    QString key;
};

// The key a text id names ("i18n.x", "App.syncMain.x" and "x" all name x).
QString keyOf(QString textId)
{
    textId.remove(QStringLiteral("App."));
    textId.remove(QStringLiteral("syncMain."));
    textId.remove(QStringLiteral("i18n."));
    return textId;
}

// Text keys of the i18n elements: the textid attribute, else the element's
// id, else its parent's (as the pages' text setter finds them); the quick
// dialog's button labels are the translations of their buttons' ids.
QList<TextKey> elementKeys(const QString& page, const QString& text)
{
    static const QRegularExpression tag(QStringLiteral("<([a-zA-Z][a-zA-Z0-9]*)\\b([^>]*)>"));
    static const QRegularExpression classes(QStringLiteral("\\bclass\\s*=\\s*\"([^\"]*)\""));
    static const QRegularExpression id(QStringLiteral("\\bid\\s*=\\s*\"([^\"]*)\""));
    static const QRegularExpression textIdAttribute(
        QStringLiteral("\\btextid\\s*=\\s*\"([^\"]*)\""));
    // Buttons whose id is not their key (the page library's label table).
    static const QHash<QString, QString> buttonKeys = {
        {QStringLiteral("button_syncagain"), QStringLiteral("button_retry")}};

    QList<TextKey> keys;
    QString lastId; // the id of the nearest enclosing element seen
    auto it = tag.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString attributes = m.captured(2);
        const QString ownId = id.match(attributes).captured(1);
        const QStringList classList =
            classes.match(attributes).captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (classList.contains(QStringLiteral("i18n"))) {
            const QString textId = textIdAttribute.match(attributes).captured(1);
            QString key;
            if (!textId.isEmpty())
                key = keyOf(textId);
            else if (!ownId.isEmpty())
                key = ownId;
            else
                key = buttonKeys.value(lastId, lastId);
            keys.append({page, key});
        }
        if (!ownId.isEmpty())
            lastId = ownId;
    }
    return keys;
}

// Literal keys of the text calls in script text: getText("k"),
// getTrText("k"), setText(element, "k"), the key of a quick dialog (a
// literal with an underscore among its arguments) and any "i18n.k" literal.
QList<TextKey> scriptKeys(const QString& from, const QString& script)
{
    static const QRegularExpression get(
        QStringLiteral("\\b(?:getText|getTrText)\\(\\s*[\"']([^\"']+)[\"']"));
    static const QRegularExpression set(
        QStringLiteral("\\bsetText\\(\\s*[^,()]+,\\s*[\"']([^\"']+)[\"']"));
    static const QRegularExpression i18n(QStringLiteral("[\"'](i18n\\.[A-Za-z0-9_]+)[\"']"));
    static const QRegularExpression quick(QStringLiteral("\\bloadQuickDialog\\(([^;]*)"));
    static const QRegularExpression keyLiteral(QStringLiteral("[\"']([a-z][a-z0-9]*_[a-z0-9_]*)[\"']"));
    QList<TextKey> keys;
    for (const QRegularExpression* re : {&get, &set, &i18n}) {
        for (const QString& key : captures(*re, script))
            keys.append({from, keyOf(key)});
    }
    for (const QString& arguments : captures(quick, script)) {
        for (const QString& key : captures(keyLiteral, arguments))
            keys.append({from, key});
    }
    return keys;
}

QList<TextKey> textKeys()
{
    QList<TextKey> keys;
    for (const QString& page : builtIn({QStringLiteral("html")})) {
        QString text = read(root + page);
        keys += elementKeys(page, text);
        keys += scriptKeys(page, blocks(text, QStringLiteral("script")));
        // Handlers in attributes (onclick="…getText('…')").
        keys += scriptKeys(
            page, text.remove(QRegularExpression(QStringLiteral("<script\\b.*?</script>"),
                                                 QRegularExpression::DotMatchesEverythingOption)));
    }
    for (const QString& script : builtIn({QStringLiteral("js")})) {
        if (!script.contains(QLatin1Char('/')))
            keys += scriptKeys(script, read(root + script));
    }
    return keys;
}

TEST(BuiltInReferences, EveryNamedFileIsBuiltIn)
{
    const QList<Reference> refs = fileReferences();
    QSet<QString> seen;
    QStringList missing;
    for (const Reference& ref : refs) {
        seen.insert(ref.target);
        if (ref.target.isEmpty() || !QFile::exists(root + ref.target))
            missing.append(ref.from + QStringLiteral(" names ") + ref.target);
    }
    missing.removeDuplicates();
    EXPECT_TRUE(missing.isEmpty()) << missing.join(QLatin1Char('\n')).toStdString();

    // The scan finds each kind of reference.
    const QStringList expected = {
        QStringLiteral("lib/jquery.min.js"),                            // script src
        QStringLiteral("ui/css/styles.css"),                            // link href
        QStringLiteral("img/zarvo_logo.png"),                           // img src
        QStringLiteral("img/settings_button.png"),                      // CSS url()
        QStringLiteral("ui/css/webfonts/DejaVuSansCondensed-Bold.ttf"), // font
        QStringLiteral("img/usb2_plugged.png"),                         // picture in a script
        QStringLiteral("ui/css/fonts_asia.css"),                        // style sheet in a script
    };
    for (const QString& name : expected)
        EXPECT_TRUE(seen.contains(name)) << name.toStdString();
}

TEST(BuiltInReferences, EveryTextKeyIsInTheEnglishFile)
{
    const QJsonObject english =
        QJsonDocument::fromJson(read(root + QStringLiteral("tr/translations_en.json")).toUtf8())
            .object();
    ASSERT_FALSE(english.isEmpty());

    const QList<TextKey> keys = textKeys();
    QSet<QString> seen;
    QStringList missing;
    for (const TextKey& key : keys) {
        seen.insert(key.key);
        if (key.key.isEmpty() || !english.contains(key.key))
            missing.append(key.from + QStringLiteral(" uses ") + key.key);
    }
    missing.removeDuplicates();
    EXPECT_TRUE(missing.isEmpty()) << missing.join(QLatin1Char('\n')).toStdString();

    const QStringList expected = {
        QStringLiteral("generalsettings_header"),        // textid of an i18n element
        QStringLiteral("button_retry"),                  // the quick dialog's button label
        QStringLiteral("button_cancel"),                 // the same, by the button's id
        QStringLiteral("sync_tcconnectedheader"),        // setText
        QStringLiteral("button_help_tooltip"),           // getText
        QStringLiteral("error_message_libgeneralerror"), // "i18n." literal
        QStringLiteral("APPHELPURL"),                    // getText in a handler
    };
    for (const QString& key : expected)
        EXPECT_TRUE(seen.contains(key)) << key.toStdString();
}

} // namespace
