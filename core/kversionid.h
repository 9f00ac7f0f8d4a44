#pragma once

#include "platform/kfileio.h"

#include <QByteArray>
#include <QString>

// A FileID, "{uuid}_<modified yyyyMMddhhmmss>_<backup date yyyyMMdd>", held in a few bytes: a
// protected file may have thousands of versions, and every one is in memory. A FileID of another
// form (renamed by hand, say) keeps its text. Ordered as the texts are. A version made by this
// engine also carries its copy's size and content hash; they take no part in comparisons.
class KVersionId
{
public:
    KVersionId() = default;
    explicit KVersionId(const QString& fileId);

    QString text() const;
    // The text, in UTF-8, appended to `out`.
    void appendText(QByteArray* out) const;
    // Writes the text of a FileID of the engine's own form to `text`, which has room for
    // TextLength characters, and returns TextLength; -1, writing nothing, for any other.
    int writeText(char* text) const;
    static constexpr int TextLength = 62;

    // The source's modification as the number yyyyMMddhhmmss, which orders as the time; -1 when
    // the FileID holds no valid one.
    qint64 stamp() const { return m_stamp; }
    // The backup date as the number yyyyMMdd; -1 when the FileID holds no valid one.
    int backupDate() const { return m_date; }

    KContentSum sum() const { return { m_size, m_hash, m_hasHash }; }
    void setSum(const KContentSum& sum)
    {
        m_size = sum.size;
        m_hash = sum.hash;
        m_hasHash = sum.hasHash;
    }

    bool operator==(const KVersionId& other) const;
    bool operator!=(const KVersionId& other) const { return !(*this == other); }
    bool operator<(const KVersionId& other) const;

private:
    bool isCompact() const { return m_text.isNull(); }

    quint64 m_high = 0; // the uuid's 32 hex digits
    quint64 m_low = 0;
    qint64 m_stamp = -1;
    qint32 m_date = -1;
    bool m_hasHash = false;
    qint64 m_size = -1;
    quint64 m_hash = 0;
    QString m_text; // null for the engine's own form
};
