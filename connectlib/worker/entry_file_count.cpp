#include "connectlib/worker/entry_file_count.h"

#include "connectlib/types/tc_entry_item.h"

namespace ConnectLib {

int countEntryFiles(const TCEntryItem* node)
{
    int count = 0;
    for (int i = 0; i < node->childCount(); ++i) {
        const TCEntryItem* child = node->child(i);
        count += child->type() == TCEntryItem::File ? 1 : countEntryFiles(child);
    }
    return count;
}

} // namespace ConnectLib
