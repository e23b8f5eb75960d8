// Data tests of the built-in translation files: format, key sequence, shared
// values, placeholders, length limits, that every language is really
// translated, and how the native readers see the files.
#include "connectlib/common/common.h"
#include "resources/tr/translation_resources.h"
#include "tests/connectlib/support/ktlib_test_support.h"
#include "tests/resources/json_key_scanner.h"
#include "tests/support/temp_dir.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTextCodec>
#include <gtest/gtest.h>

#include <map>
#include <set>

using ConnectLayout::Test::KeyValueList;
using ConnectLayout::Test::scanFlatStringObject;
using ConnectLib::Common;
using namespace ConnectLib::Test;

namespace {

// Keys that may keep the English text in a translation: product names and
// words that are the same in that language.
struct Language {
    const char* code;
    std::set<QString> sameAsEnglish;
};

const Language kLanguages[] = {
    {"en", {}},
    {"cs",
     {QStringLiteral("button_ok"), QStringLiteral("networksettings_proxy"),
      QStringLiteral("networksettings_port")}},
    {"da",
     {QStringLiteral("app_menu_support"), QStringLiteral("button_ok"),
      QStringLiteral("networksettings_port")}},
    {"de",
     {QStringLiteral("app_menu_support"), QStringLiteral("button_ok"),
      QStringLiteral("networksettings_port")}},
    {"es", {QStringLiteral("button_no"), QStringLiteral("generalsettings_header")}},
    {"fi", {QStringLiteral("button_ok")}},
    {"fr", {QStringLiteral("button_ok"), QStringLiteral("networksettings_port")}},
    {"id",
     {QStringLiteral("button_ok"), QStringLiteral("networksettings_port"),
      QStringLiteral("login_username")}},
    {"it",
     {QStringLiteral("button_ok"), QStringLiteral("button_no"),
      QStringLiteral("networksettings_password"), QStringLiteral("login_password")}},
    {"ja", {QStringLiteral("button_ok")}},
    {"nl",
     {QStringLiteral("app_menu_help"), QStringLiteral("button_ok"), QStringLiteral("button_help"),
      QStringLiteral("button_later")}},
    {"no", {QStringLiteral("button_ok"), QStringLiteral("networksettings_port")}},
    {"pl", {QStringLiteral("button_ok"), QStringLiteral("networksettings_port")}},
    {"pt", {QStringLiteral("button_ok")}},
    {"ru", {}},
    {"sv",
     {QStringLiteral("app_menu_support"), QStringLiteral("button_ok"),
      QStringLiteral("networksettings_port")}},
    {"tr", {}},
    {"zh_CN", {}},
};

// Text keys of the files, by group; every one but the ones in kWithoutNote
// has a translator's note "<key>_comment".
// clang-format off
const char* const kTextKeys[] = {
    // Constants (8)
    "LANG_CODE", "APPNAME", "WEBSERVICENAME", "WEBSERVICEURL", "COMPANYURL", "CUSTOMERCAREURL",
    "APPHELPURL", "APPDOWNLOADURL",
    // Application and tray (15)
    "app_name", "app_menu_sync", "app_menu_settings", "app_menu_networksettings",
    "app_menu_showlog", "app_menu_language", "app_menu_help", "app_menu_support", "app_menu_quit",
    "app_menu_state_idle", "app_menu_state_tcfound", "app_menu_state_syncon",
    "app_menu_state_syncdone", "app_menu_state_syncerror", "app_menu_state_info",
    // Buttons (25)
    "button_ok", "button_retry", "button_networksettings", "button_save", "button_saveandclose",
    "button_close", "button_cancel", "button_synchronize", "button_syncagain", "button_help",
    "button_help_tooltip", "button_yes", "button_no", "button_Device_carging_tip", "button_signin",
    "button_settings", "button_settings_show_tooltip", "button_settings_hide_tooltip",
    "button_openweb", "button_openweb_tooltip", "button_factoryreset", "button_syncreset",
    "button_later", "button_updatenow", "button_copy",
    // General settings (15)
    "generalsettings_header", "generalsettings_language", "generalsettings_openaftersync",
    "generalsettings_startwithos", "generalsettings_quickhelp_tooltip", "generalsettings_quickhelp",
    "generalsettings_factoryreset", "generalsettings_factoryreset_prompt",
    "generalsettings_factoryreset_done", "generalsettings_factoryreset_unplug",
    "generalsettings_factoryreset_done2", "generalsettings_factoryreset_langcopy",
    "generalsettings_factoryreset_resetting", "generalsettings_factoryreset_header",
    "generalsettings_syncreset",
    // Language names (19)
    "language_en", "language_fi", "language_ja", "language_zh_CN", "language_de", "language_es",
    "language_fr", "language_it", "language_nl", "language_no", "language_pl", "language_pt",
    "language_ru", "language_sv", "language_da", "language_cs", "language_id", "language_ko",
    "language_tr",
    // Network settings (10)
    "networksettings_header", "networksettings_noproxy", "networksettings_autoproxy",
    "networksettings_manualproxy", "networksettings_proxy", "networksettings_port",
    "networksettings_username", "networksettings_password", "networksettings_quickhelp_tooltip",
    "networksettings_quickhelp",
    // About (6)
    "about_header", "about_appname", "about_copyright", "about_companyurl", "about_webserviceurl",
    "about_apphelpurl",
    // Device list (5)
    "devicelist_header", "devicelist_header_preconnect", "devicelist_connectusb",
    "devicelist_notcavailable", "devicelist_zarvoproduct",
    // Sign-in (5)
    "login_header", "login_username", "login_password", "login_link_register", "login_link_forgot",
    // Device connection (2)
    "sync_tcconnectedheader", "sync_tcdisconnectedheader",
    // Progress and summary (61)
    "progress_firsttimeuseheader", "progress_syncongoingheader", "progress_firsttimeuse",
    "progress_synccompleted", "progress_productsynccompleted", "progress_info_summary",
    "progress_info_notsynchronized", "progress_info_user", "progress_info_userfail",
    "progress_info_exercises", "progress_info_exercisesfail", "progress_info_programs",
    "progress_info_programsfail", "progress_info_activities", "progress_info_activitiesfail",
    "progress_info_maps", "progress_info_mapsfail", "progress_info_physical_info",
    "progress_info_physical_info_fail", "progress_info_routes", "progress_info_routesfail",
    "progress_info_sensors", "progress_info_sensorsfail", "progress_info_trainingload",
    "progress_info_trainingloadfail", "progress_info_tests", "progress_info_testsfail",
    "progress_info_sports", "progress_info_sportsfail", "progress_info_sportprofiles",
    "progress_info_sportprofilesfail", "progress_info_events", "progress_info_eventsfail",
    "progress_info_fwupdate", "progress_info_fwupdatefail", "progress_info_readytogo",
    "progress_info_syncproblems", "progress_moreinfo_filelist_error", "progress_connecting",
    "progress_connecting_wait", "progress_syncing_user", "progress_syncing_exercise",
    "progress_syncing_activities", "progress_syncing_downloads", "progress_syncing_maps",
    "progress_syncing_physicalinfo", "progress_syncing_programs", "progress_syncing_routes",
    "progress_syncing_sensors", "progress_syncing_trainingload", "progress_syncing_tests",
    "progress_syncing_sports", "progress_syncing_sportprofiles", "progress_syncing_events",
    "progress_syncing_general", "progress_syncing_fwupdate", "progress_info_agps",
    "progress_info_agpsfail", "progress_syncing_agps", "progress_charging",
    "progress_charging_full",
    // Maps (3)
    "maps_downloading_takes_x_minutes", "maps_storing_takes_few_minutes",
    "maps_storing_takes_x_minutes",
    // Firmware update (24)
    "fwupdate_header", "fwupdate_checkheader", "fwupdate_headerupdating",
    "fwupdate_donotdisconnect", "fwupdate_headerdone", "fwupdate_headerfailed",
    "fwupdate_newavailable", "fwupdate_newmandatory", "fwupdate_newupdate",
    "fwupdate_questionupdateorsync", "fwupdate_question", "fwupdate_resethappens",
    "fwupdate_question_still", "fwupdate_mandatoryquestion", "fwupdate_takesminutes",
    "fwupdate_takesmoreminutes", "fwupdate_downloading", "fwupdate_updating",
    "fwupdate_waitingrestart", "fwupdate_reset", "fwupdate_resetunplug", "fwupdate_pleaseunplug",
    "fwupdate_fwupdated", "fwupdate_tryfwupdateagain",
    // Program update (8)
    "ktupdate_header", "ktupdate_headerupdating", "ktupdate_versioncheck",
    "ktupdate_info_mustupdate", "ktupdate_info_downloadingandinstalling", "ktupdate_rights",
    "ktupdate_downloading", "ktupdate_installing",
    // Errors (35)
    "error_header", "error_loginfailed", "error_ktiniterror", "error_ktcrasherror",
    "error_nonetworkconnection", "error_message_302", "error_message_305", "error_message_400",
    "error_message_401", "error_message_407", "error_message_408", "error_message_503",
    "error_message_504", "error_message_sslfail", "error_message_sslhandshakefailed",
    "error_message_mandatoryupdate", "error_message_openbrowser", "error_message_copyaddress",
    "error_message_libcancel", "error_message_libtcnotfound", "error_message_libtcconnfail",
    "error_message_libtcconnbusy_1", "error_message_libtcconnbusy_2",
    "error_message_libtcconnbusy_3", "error_message_libtcconnlost", "error_message_libfileopfail",
    "error_message_libgeneralerror", "error_message_fwupdatedownloaderror",
    "error_message_fwupdatefailed", "error_message_osnotsupported", "error_message_ktupdate_rights",
    "error_message_corrupteddevice", "error_message_customercare",
    "error_message_resource_updatedownloaderror", "error_message_resource_updatestoringfailed",
};
// clang-format on

// Texts the program and the pages show that the groups above lack.
const char* const kAddedTextKeys[] = {
    "error_message_libtcconnbusy", "error_message_libfactoryresetfail",
    "filewrite_updating",          "filewrite_waitingrestart",
    "updator_error_install",       "maps_downloading_received"};

const char* const kWithoutNote[] = {"LANG_CODE",
                                    "APPNAME",
                                    "WEBSERVICENAME",
                                    "WEBSERVICEURL",
                                    "COMPANYURL",
                                    "CUSTOMERCAREURL",
                                    "APPHELPURL",
                                    "APPDOWNLOADURL",
                                    "button_Device_carging_tip",
                                    "about_companyurl",
                                    "about_webserviceurl",
                                    "about_apphelpurl",
                                    "devicelist_zarvoproduct"};

// Notes that occur twice in every file; the later one counts.
const std::map<QString, QString> kRepeatedNotes = {
    {QStringLiteral("button_help_tooltip_comment"), QStringLiteral("Max length 100")},
    {QStringLiteral("devicelist_notcavailable_comment"), QStringLiteral("Max length 100")},
};

// The same in every file.
const std::map<QString, QString> kShared = {
    {QStringLiteral("APPNAME"), QStringLiteral("RavoSync")},
    {QStringLiteral("WEBSERVICENAME"), QStringLiteral("Ravo")},
    {QStringLiteral("WEBSERVICEURL"), QStringLiteral("www.ravo.test")},
    {QStringLiteral("COMPANYURL"), QStringLiteral("www.zarvo.test")},
    {QStringLiteral("APPHELPURL"), QStringLiteral("support.zarvo.test/ravosync")},
    {QStringLiteral("APPDOWNLOADURL"), QStringLiteral("www.zarvo.test/ravosync/download")},
    {QStringLiteral("CUSTOMERCAREURL"),
     QStringLiteral("JSObject.SLOT_openExternalLink('https://support.zarvo.test/customercare')")},
    {QStringLiteral("about_copyright"), QString::fromUtf8("Copyright \xc2\xa9 Zarvo")},
    {QStringLiteral("language_cs"), QString::fromUtf8("\xc4\x8c"
                                                      "e\xc5\xa1tina")},
    {QStringLiteral("language_da"), QStringLiteral("Dansk")},
    {QStringLiteral("language_de"), QStringLiteral("Deutsch")},
    {QStringLiteral("language_en"), QStringLiteral("English")},
    {QStringLiteral("language_es"), QString::fromUtf8("Espa\xc3\xb1ol")},
    {QStringLiteral("language_fi"), QStringLiteral("Suomi")},
    {QStringLiteral("language_fr"), QString::fromUtf8("Fran\xc3\xa7"
                                                      "ais")},
    {QStringLiteral("language_id"), QStringLiteral("Bahasa Indonesia")},
    {QStringLiteral("language_it"), QStringLiteral("Italiano")},
    {QStringLiteral("language_ja"), QString::fromUtf8("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e")},
    {QStringLiteral("language_nl"), QStringLiteral("Nederlands")},
    {QStringLiteral("language_no"), QStringLiteral("Norsk")},
    {QStringLiteral("language_pl"), QStringLiteral("Polski")},
    {QStringLiteral("language_pt"), QString::fromUtf8("Portugu\xc3\xaas")},
    {QStringLiteral("language_ru"),
     QString::fromUtf8("\xd0\xa0\xd1\x83\xd1\x81\xd1\x81\xd0\xba\xd0\xb8\xd0\xb9")},
    {QStringLiteral("language_sv"), QStringLiteral("Svenska")},
    {QStringLiteral("language_tr"), QString::fromUtf8("T\xc3\xbcrk\xc3\xa7"
                                                      "e")},
    {QStringLiteral("language_zh_CN"),
     QString::fromUtf8("\xe7\xae\x80\xe4\xbd\x93\xe4\xb8\xad\xe6\x96\x87")},
    {QStringLiteral("language_ko"), QString::fromUtf8("\xed\x95\x9c\xea\xb5\xad\xec\x96\xb4")},
};

// Keys whose text is a name or an address, the same in every language.
const std::set<QString> kNamesEverywhere = {
    QStringLiteral("app_name"),
    QStringLiteral("app_menu_state_idle"),
    QStringLiteral("about_appname"),
    QStringLiteral("about_companyurl"),
    QStringLiteral("about_webserviceurl"),
    QStringLiteral("about_apphelpurl"),
    QStringLiteral("devicelist_zarvoproduct"),
};

// The English texts the native code shows.
const std::map<QString, QString> kEnglishExact = {
    {QStringLiteral("app_name"), QStringLiteral("Zarvo [APPNAME]")},
    {QStringLiteral("app_menu_sync"), QStringLiteral("Sync")},
    {QStringLiteral("app_menu_settings"), QStringLiteral("Settings")},
    {QStringLiteral("app_menu_help"), QStringLiteral("Help")},
    {QStringLiteral("app_menu_support"), QStringLiteral("Support")},
    {QStringLiteral("about_header"), QStringLiteral("About")},
    {QStringLiteral("app_menu_showlog"), QStringLiteral("Open log")},
    {QStringLiteral("app_menu_quit"), QStringLiteral("Close")},
    {QStringLiteral("app_menu_state_idle"), QStringLiteral("Zarvo [APPNAME]")},
    {QStringLiteral("app_menu_state_tcfound"), QStringLiteral("Zarvo product found")},
    {QStringLiteral("app_menu_state_syncon"), QStringLiteral("Syncing...")},
    {QStringLiteral("app_menu_state_syncdone"), QStringLiteral("Syncing completed.")},
    {QStringLiteral("app_menu_state_syncerror"), QStringLiteral("Some problems in syncing.")},
    {QStringLiteral("app_menu_state_info"), QStringLiteral("Unread message")},
    {QStringLiteral("progress_syncongoingheader"), QStringLiteral("Syncing")},
    {QStringLiteral("APPHELPURL"), QStringLiteral("support.zarvo.test/ravosync")},
};

// Translations checked against what the English text means: code, key, text.
const char* const kReviewed[][3] = {
    {"de", "progress_charging", "Akku wird geladen [LEVEL]"},
    {"de", "generalsettings_factoryreset_header", "Auf Werkseinstellungen zurücksetzen"},
    {"nl", "progress_charging", "Bezig met opladen [LEVEL]"},
    {"nl", "generalsettings_factoryreset_header", "Fabrieksinstellingen herstellen"},
};

// The tray's texts (menu entries and tooltips).
const char* const kTrayKeys[] = {"app_menu_help",
                                 "app_menu_sync",
                                 "app_menu_settings",
                                 "app_menu_support",
                                 "about_header",
                                 "app_menu_showlog",
                                 "app_menu_quit",
                                 "app_menu_state_tcfound",
                                 "app_menu_state_syncdone",
                                 "app_menu_state_syncerror",
                                 "app_menu_state_info",
                                 "app_menu_state_syncon",
                                 "app_menu_state_idle",
                                 "progress_syncongoingheader"};

const QByteArray kBom("\xef\xbb\xbf");

QString resourcePath(const QString& code)
{
    return QStringLiteral(":/resources/tr/translations_") + code + QStringLiteral(".json");
}

QByteArray readResource(const QString& code)
{
    QFile file(resourcePath(code));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray withoutBom(QByteArray data)
{
    if (data.startsWith(kBom))
        data.remove(0, kBom.size());
    return data;
}

bool isNote(const QString& key)
{
    return key.endsWith(QStringLiteral("_comment"));
}

// One file as read: its members in order and, of a repeated key, the later value.
struct File {
    KeyValueList members;
    QHash<QString, QString> values;
};

const File& file(const QString& code)
{
    static std::map<QString, File> cache;
    auto it = cache.find(code);
    if (it == cache.end()) {
        File f;
        if (auto members = scanFlatStringObject(withoutBom(readResource(code)))) {
            f.members = *members;
            for (const auto& [key, value] : f.members)
                f.values.insert(key, value);
        }
        it = cache.emplace(code, std::move(f)).first;
    }
    return it->second;
}

QString codeOf(const Language& language)
{
    return QString::fromLatin1(language.code);
}

// "[NAME]" and "%n" marks, sorted, repeats kept.
QStringList placeholders(const QString& text)
{
    static const QRegularExpression mark(QStringLiteral("\\[[A-Z_]+\\]|%[0-9]"));
    QStringList found;
    auto it = mark.globalMatch(text);
    while (it.hasNext())
        found.append(it.next().captured());
    found.sort();
    return found;
}

// The limit a note gives; -1 for none.
int maxLength(const QString& note)
{
    static const QRegularExpression limit(QStringLiteral("^Max length ([0-9]+)$"));
    const auto match = limit.match(note);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

class Translations : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ConnectLayout::initTranslationResources(); }
};

TEST_F(Translations, EveryFileIsOneStrictObjectOfStrings)
{
    for (const Language& language : kLanguages) {
        const QString code = codeOf(language);
        SCOPED_TRACE(code.toStdString());
        const QByteArray raw = readResource(code);
        ASSERT_FALSE(raw.isEmpty());
        EXPECT_EQ(raw.startsWith(kBom), code != QStringLiteral("en"));
        const QByteArray body = withoutBom(raw);
        EXPECT_FALSE(body.startsWith(kBom));

        QTextCodec::ConverterState state;
        const QString text =
            QTextCodec::codecForName("UTF-8")->toUnicode(body.constData(), body.size(), &state);
        EXPECT_EQ(state.invalidChars, 0);
        // Legal in JSON, but a line end for the script engine that reads the files.
        EXPECT_FALSE(text.contains(QChar(0x2028)) || text.contains(QChar(0x2029)));

        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(body, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
        ASSERT_TRUE(document.isObject());
        const QJsonObject object = document.object();
        for (auto it = object.begin(); it != object.end(); ++it)
            EXPECT_TRUE(it.value().isString()) << it.key().toStdString();

        ASSERT_FALSE(file(code).members.empty());
        EXPECT_EQ(file(code).values.size(), object.size());
        // Of a repeated key QJsonDocument keeps one value, not necessarily the later.
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!kRepeatedNotes.count(it.key())) {
                EXPECT_EQ(file(code).values.value(it.key()), it.value().toString());
            }
        }
    }
}

TEST_F(Translations, EnglishHoldsExactlyTheTextKeysAndTheirNotes)
{
    QStringList expected;
    const std::set<QString> withoutNote(std::begin(kWithoutNote), std::end(kWithoutNote));
    auto add = [&](const char* key) {
        const QString text = QString::fromLatin1(key);
        expected.append(text);
        if (!withoutNote.count(text))
            expected.append(text + QStringLiteral("_comment"));
    };
    for (const char* key : kTextKeys)
        add(key);
    for (const char* key : kAddedTextKeys)
        add(key);
    EXPECT_EQ(std::size(kTextKeys), 241u);
    EXPECT_EQ(expected.size(), 481);

    const KeyValueList& members = file(QStringLiteral("en")).members;
    QStringList keys;
    std::map<QString, int> occurrences;
    for (const auto& [key, value] : members) {
        if (!keys.contains(key))
            keys.append(key);
        ++occurrences[key];
    }
    keys.sort();
    expected.sort();
    EXPECT_EQ(keys, expected);

    std::map<QString, int> repeated;
    for (const auto& [key, count] : occurrences)
        if (count > 1)
            repeated[key] = count;
    const std::map<QString, int> twice{{QStringLiteral("button_help_tooltip_comment"), 2},
                                       {QStringLiteral("devicelist_notcavailable_comment"), 2}};
    EXPECT_EQ(repeated, twice);
    for (const auto& [key, value] : kRepeatedNotes)
        EXPECT_EQ(file(QStringLiteral("en")).values.value(key), value);
}

TEST_F(Translations, EveryFileHasTheEnglishKeySequence)
{
    QStringList english;
    for (const auto& [key, value] : file(QStringLiteral("en")).members)
        english.append(key);
    for (const Language& language : kLanguages) {
        QStringList keys;
        for (const auto& [key, value] : file(codeOf(language)).members)
            keys.append(key);
        EXPECT_EQ(keys, english) << language.code;
    }
}

TEST_F(Translations, LangCodeIsTheFilesCode)
{
    for (const Language& language : kLanguages)
        EXPECT_EQ(file(codeOf(language)).values.value(QStringLiteral("LANG_CODE")),
                  codeOf(language));
}

TEST_F(Translations, SharedValuesAreTheSameEverywhere)
{
    for (const Language& language : kLanguages) {
        const File& f = file(codeOf(language));
        for (const auto& [key, value] : kShared)
            EXPECT_EQ(f.values.value(key), value) << language.code << " " << key.toStdString();
        // Translator notes are written in English for every language.
        for (const auto& [key, value] : file(QStringLiteral("en")).members) {
            if (isNote(key)) {
                EXPECT_EQ(f.values.value(key), file(QStringLiteral("en")).values.value(key))
                    << language.code << " " << key.toStdString();
            }
        }
    }
    for (const auto& [key, value] : kEnglishExact)
        EXPECT_EQ(file(QStringLiteral("en")).values.value(key), value) << key.toStdString();
}

TEST_F(Translations, EveryTextKeepsTheEnglishPlaceholders)
{
    const File& english = file(QStringLiteral("en"));
    EXPECT_EQ(placeholders(english.values.value(QStringLiteral("ktupdate_downloading"))),
              QStringList({QStringLiteral("[NUMBER]"), QStringLiteral("[NUMBER]")}));
    const QSet<QString> known{QStringLiteral("[APPNAME]"),
                              QStringLiteral("[WEBSERVICENAME]"),
                              QStringLiteral("[WEBSERVICEURL]"),
                              QStringLiteral("[COMPANYURL]"),
                              QStringLiteral("[APPHELPURL]"),
                              QStringLiteral("[APPDOWNLOADURL]"),
                              QStringLiteral("[CUSTOMERCAREURL]"),
                              QStringLiteral("[DEVICENAME]"),
                              QStringLiteral("[LEVEL]"),
                              QStringLiteral("[NUMBER]"),
                              QStringLiteral("%0")};
    for (const auto& [key, value] : english.members)
        for (const QString& mark : placeholders(value))
            EXPECT_TRUE(known.contains(mark)) << key.toStdString() << " " << mark.toStdString();

    // The customer-care constant is a script: it only works as a quoted onclick value.
    static const QRegularExpression careLink(QStringLiteral("onclick=\"\\[CUSTOMERCAREURL\\]\""));
    for (const Language& language : kLanguages) {
        const File& f = file(codeOf(language));
        for (const auto& [key, value] : english.members) {
            if (isNote(key))
                continue;
            const QString text = f.values.value(key);
            EXPECT_EQ(placeholders(text), placeholders(value))
                << language.code << " " << key.toStdString();
            EXPECT_EQ(text.count(careLink), text.count(QStringLiteral("[CUSTOMERCAREURL]")))
                << language.code << " " << key.toStdString();
        }
    }
}

TEST_F(Translations, EveryTextFitsItsNote)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    const QSet<QString> unlimited{QStringLiteral("Context menu text. No max length."),
                                  QStringLiteral("Taskbar tooltip text. No max length.")};
    const File& english = file(QStringLiteral("en"));
    for (const auto& [key, note] : english.members) {
        if (!isNote(key))
            continue;
        const QString value = english.values.value(key);
        EXPECT_TRUE(maxLength(value) > 0 || unlimited.contains(value)) << key.toStdString();
    }
    for (const Language& language : kLanguages) {
        const File& f = file(codeOf(language));
        for (const auto& [key, value] : f.members) {
            if (isNote(key))
                continue;
            const int limit = maxLength(f.values.value(key + QStringLiteral("_comment")));
            if (limit < 0)
                continue;
            QString shown = f.values.value(key);
            shown.remove(tag);
            EXPECT_LE(shown.size(), limit)
                << language.code << " " << key.toStdString() << ": " << shown.toStdString();
        }
    }
}

TEST_F(Translations, NoTranslationKeepsAnEnglishTextUnlessListed)
{
    const File& english = file(QStringLiteral("en"));
    for (const Language& language : kLanguages) {
        const QString code = codeOf(language);
        if (code == QStringLiteral("en"))
            continue;
        const File& f = file(code);
        for (const auto& [key, value] : english.members) {
            if (isNote(key) || kShared.count(key) || key == QStringLiteral("LANG_CODE"))
                continue;
            const bool same = f.values.value(key) == english.values.value(key);
            const bool allowed = kNamesEverywhere.count(key) || language.sameAsEnglish.count(key);
            EXPECT_EQ(same, allowed) << code.toStdString() << " " << key.toStdString() << ": "
                                     << f.values.value(key).toStdString();
        }
    }
}

TEST_F(Translations, ReviewedTextsSayWhatTheEnglishSays)
{
    for (const auto& row : kReviewed) {
        EXPECT_EQ(file(QString::fromUtf8(row[0])).values.value(QString::fromUtf8(row[1])),
                  QString::fromUtf8(row[2]))
            << row[0] << " " << row[1];
    }
}

TEST_F(Translations, NativeReaderSeesEveryKeyAndTheLaterNote)
{
    for (const Language& language : kLanguages) {
        const QHash<QString, QString> table = Common::parseJSONFile(resourcePath(codeOf(language)));
        EXPECT_EQ(table.size(), 481) << language.code;
        EXPECT_EQ(table, file(codeOf(language)).values) << language.code;
        for (const auto& [key, value] : kRepeatedNotes)
            EXPECT_EQ(table.value(key), value) << language.code;
    }
}

TEST_F(Translations, BuiltInLanguagesAreTheEighteenFiles)
{
    zarvo::test::temp_dir empty;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(qpath(empty.path())));
    const QStringList codes = Common::getAvailableLangCodes();
    QDir::setCurrent(previous);

    QStringList expected;
    for (const Language& language : kLanguages)
        expected.append(codeOf(language));
    expected.sort(Qt::CaseSensitive);
    EXPECT_EQ(codes, expected);
}

TEST_F(Translations, TrayTextsAreFilledInEveryLanguage)
{
    const QHash<QString, QString> english =
        Common::parseJSONFile(resourcePath(QStringLiteral("en")));
    EXPECT_EQ(Common::getText(english, QStringLiteral("app_menu_state_idle")),
              QStringLiteral("Zarvo RavoSync"));
    for (const Language& language : kLanguages) {
        const QHash<QString, QString> table = Common::parseJSONFile(resourcePath(codeOf(language)));
        for (const char* key : kTrayKeys) {
            const QString text = Common::getText(table, QString::fromLatin1(key));
            EXPECT_FALSE(text.isEmpty()) << language.code << " " << key;
            EXPECT_FALSE(text.contains(QLatin1Char('['))) << language.code << " " << key;
        }
    }
}

} // namespace
