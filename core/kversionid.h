#pragma once

#include "platform/kfileio.h"

#include <QByteArray>
#include <QString>

// A FileID, "{uuid}_<modified yyyyMMddhhmmss>_<backup date yyyyMMdd>", held in 40 bytes: a
// protected file may have thousands of versions, and every one is in memory. A FileID of another
// form (renamed by hand, say) keeps its text in place of the uuid. Ordered as the texts are. A
// version made by this engine also carries its copy's size and content hash; they take no part
// in comparisons.
class KVersionId
{
public:
    KVersionId() = default;
    explicit KVersionId(const QString& fileId);
    KVersionId(const KVersionId& other);
    KVersionId(KVersionId&& other) noexcept;
    KVersionId& operator=(const KVersionId& other);
    KVersionId& operator=(KVersionId&& other) noexcept;
    ~KVersionId();

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

    KContentSum sum() const;
    void setSum(const KContentSum& sum);

    bool operator==(const KVersionId& other) const;
    bool operator!=(const KVersionId& other) const { return !(*this == other); }
    bool operator<(const KVersionId& other) const;

private:
    // m_bits: the size plus one in the low bits (0: not known), and two flags.
    static constexpr quint64 ForeignBit = quint64(1) << 63;
    static constexpr quint64 HashBit = quint64(1) << 62;
    static constexpr quint64 SizeMask = HashBit - 1;

    bool isForeign() const { return m_bits & ForeignBit; }
    QString& foreignText() { return m_key.text; }
    const QString& foreignText() const { return m_key.text; }
    void release();

    // The uuid's 32 hex digits, or for another form its text.
    union Key {
        Key() { }
        ~Key() { }
        quint64 uuid[2] = { 0, 0 };
        QString text;
    } m_key;
    // The modification's fields above the backup date's, each field 0 when not valid: so the
    // number orders as the pair of times.
    quint64 m_when = 0;
    quint64 m_bits = 0;
    quint64 m_hash = 0;
};
Q_DECLARE_TYPEINFO(KVersionId, Q_MOVABLE_TYPE);
