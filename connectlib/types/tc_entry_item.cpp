#include "connectlib/types/tc_entry_item.h"

#include <utility>

namespace ConnectLib {

TCEntryItem::TCEntryItem()
    : m_parent(nullptr)
    , m_type(EntryType(0))
    , m_size(0)
{
}

TCEntryItem::TCEntryItem(QString path, TCEntryItem* parent)
    : m_parent(parent)
    , m_absolutePath(std::move(path))
    , m_size(0)
{
    m_name = m_absolutePath.mid(m_absolutePath.lastIndexOf(QLatin1Char('/')) + 1);
    if (m_name.isEmpty())
        m_name = QStringLiteral("/");
    m_type = m_name.contains(QLatin1Char('.')) ? File : Directory;
}

TCEntryItem::TCEntryItem(QString name, EntryType type, QString absolutePath, QDateTime modified,
                         QDateTime touched, QDateTime created, qint64 size, TCEntryItem* parent)
    : m_name(std::move(name))
    , m_parent(parent)
    , m_type(type)
    , m_absolutePath(std::move(absolutePath))
    , m_modified(std::move(modified))
    , m_touched(std::move(touched))
    , m_created(std::move(created))
    , m_size(size)
{
}

TCEntryItem::TCEntryItem(const TCEntryItem& other)
    : m_parent(nullptr)
{
    other.copyChildren(*this);
    copyFieldsFrom(other);
}

TCEntryItem& TCEntryItem::operator=(const TCEntryItem& other)
{
    if (this == &other)
        return *this;
    // Copy first: other may live inside the subtree about to be deleted.
    TCEntryItem copy(other);
    deleteChildren();
    m_children.swap(copy.m_children);
    for (TCEntryItem* child : qAsConst(m_children))
        child->m_parent = this;
    copyFieldsFrom(copy);
    m_parent = nullptr;
    return *this;
}

TCEntryItem::~TCEntryItem()
{
    deleteChildren();
}

TCEntryItem* TCEntryItem::child(int row) const
{
    return row >= 0 && row < m_children.size() ? m_children.at(row) : nullptr;
}

int TCEntryItem::hasChild(const QString& name) const
{
    for (int i = 0; i < m_children.size(); ++i) {
        if (m_children.at(i)->m_name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int TCEntryItem::indexOfParent() const
{
    if (!m_parent)
        return 0;
    return m_parent->m_children.indexOf(const_cast<TCEntryItem*>(this));
}

void TCEntryItem::appendChild(TCEntryItem* item)
{
    m_children.append(item);
}

void TCEntryItem::removeChild(TCEntryItem* item)
{
    m_children.removeOne(item);
}

void TCEntryItem::copyChildren(TCEntryItem& target) const
{
    // A snapshot, so copying into this node or below it terminates.
    const QList<TCEntryItem*> children = m_children;
    for (const TCEntryItem* source : children) {
        auto* copy = new TCEntryItem(source->m_name, source->m_type, source->m_absolutePath,
                                     source->m_modified, source->m_touched, source->m_created,
                                     source->m_size, &target);
        target.appendChild(copy);
        source->copyChildren(*copy);
    }
}

void TCEntryItem::copyFieldsFrom(const TCEntryItem& other)
{
    m_name = other.m_name;
    m_type = other.m_type;
    m_absolutePath = other.m_absolutePath;
    m_modified = other.m_modified;
    m_touched = other.m_touched;
    m_created = other.m_created;
    m_size = other.m_size;
}

void TCEntryItem::deleteChildren()
{
    qDeleteAll(m_children);
    m_children.clear();
}

} // namespace ConnectLib
