#pragma once

#include "connectlib/export.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

namespace ConnectLib {

// One node of a directory tree read from a device or a local folder. A node
// owns its children; the parent pointer is a plain back link. Copying a node
// copies its whole subtree, and the copy is a root (null parent).
class KTLIB_EXPORT TCEntryItem {
public:
    enum EntryType { Directory = 1, File = 2 }; // 0: not set

    TCEntryItem();
    // A node named after the last path component ("/" for the root or an
    // empty path); a file when that name has a ".". Not added to parent.
    TCEntryItem(QString path, TCEntryItem* parent);
    // Not added to parent either.
    TCEntryItem(QString name, EntryType type, QString absolutePath, QDateTime modified,
                QDateTime touched, QDateTime created, qint64 size, TCEntryItem* parent);
    TCEntryItem(const TCEntryItem& other);
    TCEntryItem& operator=(const TCEntryItem& other);
    ~TCEntryItem();

    QString entryName() const { return m_name; }
    EntryType type() const { return m_type; }
    QString absolutePath() const { return m_absolutePath; }
    QDateTime modified() const { return m_modified; }
    QDateTime touched() const { return m_touched; }
    QDateTime created() const { return m_created; }
    qint64 size() const { return m_size; }
    TCEntryItem* parent() { return m_parent; }

    int childCount() const { return m_children.size(); }
    // Null when row is out of range.
    TCEntryItem* child(int row) const;
    // Position of the first child named name (case-insensitive), or -1.
    int hasChild(const QString& name) const;
    // Position in the parent's children; 0 without parent, -1 when the
    // parent does not list this node.
    int indexOfParent() const;

    // Takes ownership; the item's parent pointer is left as it was made.
    void appendChild(TCEntryItem* item);
    // Gives ownership back to the caller; does not delete.
    void removeChild(TCEntryItem* item);
    // Appends deep copies of this node's children to target.
    void copyChildren(TCEntryItem& target) const;

private:
    void copyFieldsFrom(const TCEntryItem& other);
    void deleteChildren();

    QList<TCEntryItem*> m_children;
    QString m_name;
    TCEntryItem* m_parent;
    EntryType m_type;
    QString m_absolutePath;
    QDateTime m_modified;
    QDateTime m_touched;
    QDateTime m_created;
    qint64 m_size;
};

} // namespace ConnectLib

Q_DECLARE_METATYPE(ConnectLib::TCEntryItem)
