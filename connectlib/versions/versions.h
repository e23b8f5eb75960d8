#pragma once

#include "connectlib/export.h"

#include <QObject>
#include <QString>

namespace ConnectLib {

// Versions of the libraries this program runs with. Never instantiated.
class KTLIB_EXPORT Versions : public QObject {
    Q_OBJECT
public:
    ~Versions() override;

    // The device library's version text, such as "5.2.2-r990"; empty when
    // it reports none.
    static QString libzarvo2();

private:
    Versions();
};

} // namespace ConnectLib
