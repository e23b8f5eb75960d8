#pragma once

#include "connectlib/cp_state_flags.h"
#include "connectlib/export.h"

#include <QDomDocument>
#include <QDomElement>
#include <QString>

namespace ConnectLib {

// Static helpers shared by the library and the program. Never instantiated.
class KTLIB_EXPORT Common {
public:
    // Settings. Values are texts. A key the user store does not hold (or holds
    // as the empty text) reads as its default from the built-in config.xml;
    // the server addresses come only from hosts.conf. The built-in
    // configuration and the host table are loaded once per process, on the
    // first of these calls, from whichever thread makes it.
    static QString getSettingsValue(const QString& key);
    // Stores a value unless the key is empty or marked read-only.
    static void setSettingsValue(const QString& key, const QString& value);

    // Parses an XML file into doc; false (with a warning on the debug output
    // for a parse error) when it cannot be read or parsed.
    static bool initRunConfig(QDomDocument& doc, QString file);
    // Fills the host table from hosts.conf beside the program, or from the
    // built-in copy when there is none; true when it holds a key afterwards.
    static bool initHostConfig();
    // The element named tag when the document holds exactly one, else null.
    static QDomElement getNode(const QDomDocument& doc, QString tag);
    // That element's text, or the empty text.
    static QString getNodeValue(const QDomDocument& doc, QString tag);

    // Names of the set flags joined by ", ", in a fixed order; OK included,
    // TC_EXPORT_FAILED and GET_ENTRIES_FAILED never named.
    static QString stringFromStateFlags(CPStateFlags flags);
    // One log line "CPStateFlag: NAME" per set flag other than OK.
    static void logStateFlags(CPStateFlags flags);

    // Working folders below the private per-user temporary base (mode 0700),
    // created on demand, without a final "/". Empty when no private folder
    // could be made, so nothing is ever written to a shared location.
    static QString getTempFilesDataPath();
    static QString getLogPath();

private:
    Common();
};

} // namespace ConnectLib
