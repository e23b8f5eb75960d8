#pragma once

#include <QUrl>

namespace ConnectLayout {

// True for a page the program trusts with its script object and its main
// frame: the built-in resources ("qrc:") and the origin of the content
// server (setting "contenturl": same scheme, host and port, an absent port
// meaning the scheme's default). Everything else — other ports, schemes or
// hosts, "file:", "data:", "about:blank" — is not trusted.
bool isTrustedPageOrigin(const QUrl& url);

} // namespace ConnectLayout
