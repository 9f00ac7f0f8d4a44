#pragma once

#include "platform/kfileio.h"

#include <QByteArray>
#include <QString>

// A FileID, "{uuid}_<modified yyyyMMddhhmmss>_<backup date yyyyMMdd>", held in 24 bytes: a
// protected file may have thousands of versions, and every one is in memory. A FileID of another
// form (renamed by hand, say) keeps its text in place of the uuid. Ordered as the texts are.
class KVersionKey
{
public:
    KVersionKey() = default;
    explicit KVersionKey(const QString& fileId);
    // The same from UTF-8, without a QString for the engine's own form.
    static KVersionKey fromUtf8(const char* text, int length);
    KVersionKey(const KVersionKey& other);
    KVersionKey(KVersionKey&& other) noexcept;
    KVersionKey& operator=(const KVersionKey& other);
    KVersionKey& operator=(KVersionKey&& other) noexcept;
    ~KVersionKey();

    QString text() const;
    // The text, in UTF-8, appended to `out`.
    void appendText(QByteArray* out) const;
    // Writes the text of a FileID of the engine's own form to `text`, which has room for
    // TextLength characters, and returns TextLength; -1, writing nothing, for any other.
    int writeText(char* text) const;
    static constexpr int TextLength = 62;

    // The source's modification as the number yyyyMMddhhmmss, which orders as the time; -1 when
    // the FileID holds no valid one.
    qint64 stamp() const;
    // The backup date as the number yyyyMMdd; -1 when the FileID holds no valid one.
    int backupDate() const;

    bool operator==(const KVersionKey& other) const;
    bool operator!=(const KVersionKey& other) const { return !(*this == other); }
    bool operator<(const KVersionKey& other) const;

private:
    static constexpr quint64 ForeignBit = quint64(1) << 63;

    bool isForeign() const { return m_when & ForeignBit; }
    void release();

    // The uuid's 32 hex digits, or for another form its text.
    union Key {
        Key() { }
        ~Key() { }
        quint64 uuid[2] = { 0, 0 };
        QString text;
    } m_key;
    // The modification's fields above the backup date's, each field 0 when not valid: so the
    // number orders as the pair of times. The top bit tells the other form.
    quint64 m_when = 0;
};
Q_DECLARE_TYPEINFO(KVersionKey, Q_MOVABLE_TYPE);

// A version as handed out: its FileID and, for a copy made by this engine, the copy's size and
// content hash, which take no part in comparisons.
class KVersionId : public KVersionKey
{
public:
    KVersionId() = default;
    explicit KVersionId(const QString& fileId)
        : KVersionKey(fileId)
    { }
    explicit KVersionId(const KVersionKey& key, const KContentSum& sum = KContentSum())
        : KVersionKey(key)
    {
        setSum(sum);
    }

    KContentSum sum() const { return { qint64(m_bits & SizeMask) - 1, m_hash, (m_bits & HashBit) != 0 }; }
    void setSum(const KContentSum& sum);

private:
    // The size plus one (0: not known), and whether there is a hash.
    static constexpr quint64 HashBit = quint64(1) << 62;
    static constexpr quint64 SizeMask = HashBit - 1;
    quint64 m_bits = 0;
    quint64 m_hash = 0;
};
Q_DECLARE_TYPEINFO(KVersionId, Q_MOVABLE_TYPE);
