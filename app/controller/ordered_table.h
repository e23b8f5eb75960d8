#pragma once

#include <QList>
#include <QPair>
#include <QtGlobal>

namespace ConnectGlobals {

// A table keyed by device id whose "first" entry is the earliest inserted
// one still present: an entry replaced under its key keeps its place, an
// entry taken out and inserted again goes to the end. (A hash's order would
// change from one process to the next.)
template <typename Value>
class OrderedTable {
public:
    bool isEmpty() const { return m_entries.isEmpty(); }
    int size() const { return m_entries.size(); }
    bool contains(quint64 key) const { return indexOf(key) >= 0; }

    // The entry under key, or a default value.
    Value value(quint64 key) const
    {
        const int index = indexOf(key);
        return index >= 0 ? m_entries.at(index).second : Value();
    }
    quint64 firstKey() const { return m_entries.first().first; }
    Value first() const { return m_entries.first().second; }

    void insert(quint64 key, const Value& value)
    {
        const int index = indexOf(key);
        if (index >= 0)
            m_entries[index].second = value;
        else
            m_entries.append(qMakePair(key, value));
    }
    Value take(quint64 key)
    {
        const int index = indexOf(key);
        return index >= 0 ? m_entries.takeAt(index).second : Value();
    }
    // Takes out every entry holding value; true when there was one.
    bool removeValue(const Value& value)
    {
        bool removed = false;
        for (int i = m_entries.size() - 1; i >= 0; --i) {
            if (m_entries.at(i).second == value) {
                m_entries.removeAt(i);
                removed = true;
            }
        }
        return removed;
    }
    QList<quint64> keys() const
    {
        QList<quint64> result;
        for (const auto& entry : m_entries)
            result.append(entry.first);
        return result;
    }
    QList<Value> values() const
    {
        QList<Value> result;
        for (const auto& entry : m_entries)
            result.append(entry.second);
        return result;
    }

private:
    int indexOf(quint64 key) const
    {
        for (int i = 0; i < m_entries.size(); ++i) {
            if (m_entries.at(i).first == key)
                return i;
        }
        return -1;
    }

    QList<QPair<quint64, Value>> m_entries;
};

} // namespace ConnectGlobals
