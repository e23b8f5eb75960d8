#include "connectlib/types/meta_types.h"

#include "connectlib/types/cp_state_flags.h"
#include "connectlib/types/tc_data.h"
#include "connectlib/types/tc_entry_item.h"

#include <QMetaType>

namespace ConnectLib {

void registerMetaTypes()
{
    qRegisterMetaType<ConnectLib::TCData>("ConnectLib::TCData");
    qRegisterMetaType<ConnectLib::CPStateFlags>("ConnectLib::CPStateFlags");
    qRegisterMetaType<ConnectLib::TCEntryItem>("ConnectLib::TCEntryItem");
}

} // namespace ConnectLib
