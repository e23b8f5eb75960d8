#include "tests/resources/json_key_scanner.h"

namespace ConnectLayout::Test {

namespace {

class Scanner {
public:
    explicit Scanner(const QString& text)
        : m_text(text)
    {
    }

    std::optional<KeyValueList> object()
    {
        KeyValueList members;
        skipSpace();
        if (!take(QLatin1Char('{')))
            return std::nullopt;
        skipSpace();
        if (!take(QLatin1Char('}'))) {
            for (;;) {
                std::optional<QString> key = string();
                skipSpace();
                if (!key || !take(QLatin1Char(':')))
                    return std::nullopt;
                skipSpace();
                std::optional<QString> value = string();
                if (!value)
                    return std::nullopt;
                members.emplace_back(*key, *value);
                skipSpace();
                if (take(QLatin1Char('}')))
                    break;
                if (!take(QLatin1Char(',')))
                    return std::nullopt;
                skipSpace();
            }
        }
        skipSpace();
        if (m_pos != m_text.size())
            return std::nullopt;
        return members;
    }

private:
    bool take(QChar c)
    {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    void skipSpace()
    {
        while (m_pos < m_text.size() &&
               (m_text[m_pos] == QLatin1Char(' ') || m_text[m_pos] == QLatin1Char('\t') ||
                m_text[m_pos] == QLatin1Char('\n') || m_text[m_pos] == QLatin1Char('\r')))
            ++m_pos;
    }

    std::optional<QString> string()
    {
        if (!take(QLatin1Char('"')))
            return std::nullopt;
        QString result;
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos++];
            if (c == QLatin1Char('"'))
                return result;
            if (c.unicode() < 0x20)
                return std::nullopt;
            if (c != QLatin1Char('\\')) {
                result.append(c);
                continue;
            }
            if (m_pos >= m_text.size())
                return std::nullopt;
            const QChar e = m_text[m_pos++];
            switch (e.unicode()) {
            case '"':
                result.append(QLatin1Char('"'));
                break;
            case '\\':
                result.append(QLatin1Char('\\'));
                break;
            case '/':
                result.append(QLatin1Char('/'));
                break;
            case 'b':
                result.append(QChar(0x08));
                break;
            case 'f':
                result.append(QChar(0x0c));
                break;
            case 'n':
                result.append(QLatin1Char('\n'));
                break;
            case 'r':
                result.append(QLatin1Char('\r'));
                break;
            case 't':
                result.append(QLatin1Char('\t'));
                break;
            case 'u': {
                bool ok = false;
                const ushort unit = m_text.mid(m_pos, 4).toUShort(&ok, 16);
                if (!ok || m_pos + 4 > m_text.size())
                    return std::nullopt;
                m_pos += 4;
                result.append(QChar(unit));
                break;
            }
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    QString m_text;
    int m_pos = 0;
};

} // namespace

std::optional<KeyValueList> scanFlatStringObject(const QByteArray& utf8)
{
    return Scanner(QString::fromUtf8(utf8)).object();
}

} // namespace ConnectLayout::Test
