#include "connectlib/worker/local_entry_tree.h"

#include "connectlib/types/tc_entry_item.h"
#include "connectlib/worker/local_root_path.h"

#include <QDir>
#include <QFileInfo>

namespace ConnectLib {

void appendLocalEntries(TCEntryItem* node, const QString& directory, const QString& rootPath)
{
    const QFileInfoList entries = QDir(directory).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
        QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& info : entries) {
        if (info.isSymLink() || !(info.isFile() || info.isDir()))
            continue;
        auto* child = new TCEntryItem(
            info.fileName(), info.isDir() ? TCEntryItem::Directory : TCEntryItem::File,
            pathBelowRoot(rootPath, info.absoluteFilePath()), info.lastModified(), info.lastRead(),
            info.birthTime(), info.isDir() ? 0 : info.size(), node);
        if (info.isDir())
            appendLocalEntries(child, info.absoluteFilePath(), rootPath);
        node->appendChild(child);
    }
}

} // namespace ConnectLib
