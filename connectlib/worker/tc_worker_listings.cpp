#include "connectlib/worker/tc_worker.h"

#include "connectlib/common/common.h"
#include "connectlib/logging/log_prefix.h"
#include "connectlib/logging/logger.h"
#include "connectlib/worker/daily_root_path.h"
#include "connectlib/worker/device_entry_name.h"
#include "connectlib/worker/file_catch_families.h"
#include "connectlib/worker/local_entry_tree.h"
#include "connectlib/worker/local_root_path.h"
#include "connectlib/worker/session_guard.h"
#include "connectlib/worker/worker_frame.h"
#include "devicelib/values/path.h"

#include <limits>
#include <set>

namespace ConnectLib {

namespace {

void logText(const QString& text)
{
    Logger::instance()->logPrint(appendLogPrefix(text));
}

QDateTime fromMilliseconds(qint64 milliseconds)
{
    return QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC);
}

// A name as the log may show it: bytes that are not printable in hex.
QString printableName(const std::string& name)
{
    QString out;
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7f)
            out += QLatin1Char(char(c));
        else
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    }
    return out;
}

QString joinPath(const QString& path, const QString& name)
{
    return path.endsWith(QLatin1Char('/')) ? path + name : path + QLatin1Char('/') + name;
}

CPStateFlags readFailure(CPStateFlags flags)
{
    return flags | GET_ENTRIES_FAILED;
}

const QString dateTagMissing =
    QStringLiteral(" ERROR: No daily \"YYYYMMDD\" folder name in root dir exist: ");

} // namespace

ConnectLib::CPStateFlags TCWorker::readEntryTree(ConnectLib::TCEntryItem* node)
{
    if (m_local) {
        const QString directory = confinedLocalPath(m_rootPath, node->absolutePath());
        if (directory.isEmpty())
            logText(QStringLiteral("Refused to list a path outside the local folder: ") +
                    node->absolutePath());
        else
            readLocalEntries(node, QDir(directory));
        return OK;
    }
    return readEntries(node, zarvo::path(node->absolutePath().toUtf8().toStdString()), m_guard);
}

ConnectLib::CPStateFlags TCWorker::readEntries(ConnectLib::TCEntryItem* node, zarvo::path path,
                                               ConnectLib::SessionGuard* guard, int depth)
{
    CPStateFlags flags;
    runDeviceCall(*guard, listingFamily(), flags, [&](zarvo::session& session) {
        std::set<zarvo::entry> entries;
        session.fetch(path.name(), entries);
        const QString directory = QString::fromStdString(path.name());
        for (const zarvo::entry& entry : entries) {
            // Checked on the raw bytes: a NUL would cut the converted name.
            if (!isUsableEntryName(entry.name())) {
                logText(QStringLiteral("Skipped a device entry with an unusable name \"") +
                        printableName(entry.name()) + QStringLiteral("\" in ") + directory);
                continue;
            }
            const QString name = QString::fromStdString(entry.name());
            if (!entry.is_file() && !entry.is_directory()) {
                logText(QStringLiteral("Unknown entry ") + name + QLatin1Char(' ') +
                        QString::number(entry.size()));
                continue;
            }
            const QString childPath = joinPath(directory, name);
            auto* child = new TCEntryItem(
                name, entry.is_file() ? TCEntryItem::File : TCEntryItem::Directory, childPath,
                fromMilliseconds(entry.modified()), fromMilliseconds(entry.touched()),
                fromMilliseconds(entry.created()), qint64(entry.size()), node);
            if (entry.is_directory()) {
                if (depth >= maxTreeDepth) {
                    logText(QStringLiteral("Stopped reading the device tree, too deep at: ") +
                            childPath);
                    delete child;
                    return CPStateFlags(GENERAL_ERROR);
                }
                const CPStateFlags below = readEntries(
                    child, zarvo::path(childPath.toUtf8().toStdString()), guard, depth + 1);
                if (below != OK) {
                    delete child;
                    return below;
                }
            }
            node->appendChild(child);
        }
        return CPStateFlags(OK);
    });
    return flags;
}

int TCWorker::readLocalEntries(ConnectLib::TCEntryItem* node, QDir directory)
{
    appendLocalEntries(node, directory.path(), m_rootPath);
    return 1;
}

QStringList TCWorker::collectEntryPaths(ConnectLib::TCEntryItem* node)
{
    QStringList paths;
    for (int i = 0; i < node->childCount(); ++i) {
        TCEntryItem* child = node->child(i);
        paths.append(child->absolutePath());
        paths.append(collectEntryPaths(child));
    }
    return paths;
}

void TCWorker::SLOT_getEntries(ConnectLib::TCData data, QString rootPath)
{
    const bool whole = rootPath == QLatin1String("/");
    QString base = QStringLiteral("/");
    QString name;
    if (!whole) {
        const int slash = rootPath.lastIndexOf(QLatin1Char('/'));
        base = slash > 0 ? rootPath.left(slash) : QStringLiteral("/");
        name = rootPath.mid(slash + 1);
    }
    TCEntryItem node(base, nullptr);
    CPStateFlags flags = readEntryTree(&node);
    if (!flags.testFlag(OK)) {
        Common::logStateFlags(flags);
        emit SIGNAL_entriesReceived(data, node, readFailure(flags));
        return;
    }
    if (whole) {
        Common::logStateFlags(flags);
        emit SIGNAL_entriesReceived(data, node, flags);
        return;
    }
    TCEntryItem result;
    const int row = node.hasChild(name);
    if (row < 0) {
        logText(QStringLiteral("No child was found."));
        flags = GET_ENTRIES_FAILED | GENERAL_ERROR;
    } else {
        result = *node.child(row);
    }
    Common::logStateFlags(flags);
    emit SIGNAL_entriesReceived(data, result, flags);
}

namespace {

// Names of the directory children of node that pass keep.
template <typename Keep>
QStringList directoryNames(TCEntryItem& node, Keep keep)
{
    QStringList names;
    for (int i = 0; i < node.childCount(); ++i) {
        TCEntryItem* child = node.child(i);
        if (child->type() == TCEntryItem::Directory && keep(child))
            names.append(child->entryName());
    }
    return names;
}

} // namespace

void TCWorker::SLOT_getSubdirectories(ConnectLib::TCData data, QString rootPath)
{
    TCEntryItem node(rootPath, nullptr);
    const CPStateFlags flags = readEntryTree(&node);
    if (!flags.testFlag(OK)) {
        emit SIGNAL_subdirectoriesReceived(data, QStringList(), readFailure(flags));
        return;
    }
    emit SIGNAL_subdirectoriesReceived(data,
                                       directoryNames(node, [](TCEntryItem*) { return true; }), OK);
}

void TCWorker::SLOT_getSubdirectoriesWithoutFile(ConnectLib::TCData data, QString rootPath,
                                                 QString fileName)
{
    TCEntryItem node(rootPath, nullptr);
    const CPStateFlags flags = readEntryTree(&node);
    if (!flags.testFlag(OK)) {
        emit SIGNAL_subdirectoriesReceived(data, QStringList(), readFailure(flags));
        return;
    }
    emit SIGNAL_subdirectoriesReceived(
        data,
        directoryNames(node, [&](TCEntryItem* child) { return !hasFileChild(child, fileName); }),
        OK);
}

namespace {

// The tree below a per-day root path's base, read into node, and the day
// folders in it. On failure (no date tag, logged; or a failed read) the flags
// to answer with, and no day folders.
struct DailyTree {
    DailyRootPath path;
    QList<TCEntryItem*> days;
    CPStateFlags failure;
};

DailyTree readDailyTree(TCWorker& worker, const QString& rootPath, TCEntryItem& node)
{
    DailyTree tree;
    tree.path = parseDailyRootPath(rootPath);
    if (!tree.path.valid) {
        logText(dateTagMissing + rootPath);
        tree.failure = FILE_OR_DIR_NOT_FOUND | FILE_OPERATION_FAILED;
        return tree;
    }
    node = TCEntryItem(tree.path.base, nullptr);
    const CPStateFlags flags = worker.readEntryTree(&node);
    Common::logStateFlags(flags);
    if (!flags.testFlag(OK)) {
        tree.failure = readFailure(flags);
        return tree;
    }
    for (int i = 0; i < node.childCount(); ++i) {
        TCEntryItem* day = node.child(i);
        if (day->type() == TCEntryItem::Directory && worker.isDailyFolderName(day->entryName()))
            tree.days.append(day);
    }
    return tree;
}

} // namespace

void TCWorker::SLOT_getDailySubdirectoriesWithoutFile(ConnectLib::TCData data, QString rootPath,
                                                      QString fileName)
{
    TCEntryItem node;
    const DailyTree tree = readDailyTree(*this, rootPath, node);
    if (tree.failure) {
        emit SIGNAL_subdirectoriesReceived(data, QStringList(), tree.failure);
        return;
    }
    const DailyRootPath& daily = tree.path;
    QStringList list;
    for (TCEntryItem* day : tree.days) {
        for (int j = 0; j < day->childCount(); ++j) {
            TCEntryItem* sub = day->child(j);
            if (sub->type() != TCEntryItem::Directory ||
                !sub->entryName().endsWith(daily.subFolder, Qt::CaseInsensitive))
                continue;
            if (!daily.extraLevel) {
                if (!hasFileChild(sub, fileName))
                    list.append(QStringLiteral("%0/%1").arg(day->entryName(), daily.subFolder));
                continue;
            }
            for (int k = 0; k < sub->childCount(); ++k) {
                TCEntryItem* inner = sub->child(k);
                if (!hasFileChild(inner, fileName))
                    list.append(QStringLiteral("%0/%1/%2")
                                    .arg(day->entryName(), daily.subFolder, inner->entryName()));
            }
        }
    }
    emit SIGNAL_subdirectoriesReceived(data, list, OK);
}

void TCWorker::SLOT_getDailyEntries(ConnectLib::TCData data, QString rootPath)
{
    TCEntryItem node;
    const DailyTree tree = readDailyTree(*this, rootPath, node);
    if (tree.failure) {
        emit SIGNAL_getDailyEntriesReceived(data, QStringList(), tree.failure);
        return;
    }
    QStringList list;
    for (TCEntryItem* day : tree.days) {
        list.append(day->entryName());
        for (const QString& path : collectEntryPaths(day))
            list.append(stripBasePrefix(path, tree.path.base));
    }
    emit SIGNAL_getDailyEntriesReceived(data, list, OK);
}

void TCWorker::SLOT_getTCDirSize(ConnectLib::TCData data, QString rootPath)
{
    TCEntryItem node(rootPath, nullptr);
    const CPStateFlags flags = readEntryTree(&node);
    if (!flags.testFlag(OK)) {
        emit SIGNAL_tcDirSizeReceived(data, std::numeric_limits<quint64>::max(),
                                      readFailure(flags));
        return;
    }
    // Fragment size 0: the plain sum of the file sizes, never a division.
    emit SIGNAL_tcDirSizeReceived(data, occupiedSpace(&node, 0), OK);
}

} // namespace ConnectLib
