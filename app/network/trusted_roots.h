#pragma once

namespace ConnectGlobals {

// Qt on Linux reads its trust anchors from the system store only and ignores
// SSL_CERT_FILE and SSL_CERT_DIR. This adds the certificates of the PEM
// bundle SSL_CERT_FILE and of the PEM files in the ":"-separated folders of
// SSL_CERT_DIR to the default TLS configuration's CA list, beside the
// system's, and logs how many it added (when either variable is set). It only
// adds anchors; it never turns a check off. Call it before any network object
// exists. Returns the number of certificates added.
int addTrustedRootsFromEnvironment();

} // namespace ConnectGlobals
