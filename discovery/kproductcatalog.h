#pragma once

#include <QMap>
#include <QString>

class KFileTypeManager;
class KProductInfo;

// The product table read from the catalog, keyed by product name. It owns its products. While
// reading, every product's extensions are registered under the kind its code names.
// The scanner owns one and uses it from one thread at a time.
class KProductCatalog final
{
public:
    // Registers extensions with `kinds`, or with the process-wide table when null.
    explicit KProductCatalog(KFileTypeManager* kinds = nullptr);
    ~KProductCatalog();

    // The catalog compiled into the library.
    static QString builtInPath();

    // Reads the catalog at `path`. False only when the file cannot be opened: it is missing, or
    // not a regular file of at most MaxBytes. Malformed content, content nested deeper than
    // MaxDepth or declaring a document type, or a root other than "Products" leaves the table as
    // it was. A product whose name is already in the table replaces the earlier one.
    [[nodiscard]] bool load(const QString& path);

    static constexpr int MaxDepth = 16;
    static constexpr qint64 MaxBytes = 64 * 1024 * 1024;

    const QMap<QString, KProductInfo*>& products() const { return m_products; }
    KProductInfo* product(const QString& name) const { return m_products.value(name); }
    void clear();

    // The kind (0 to 4) of the files of a product with this code.
    static int kindOfCode(const QString& code);

private:
    void insert(KProductInfo* product);

    KFileTypeManager* const m_kinds;
    QMap<QString, KProductInfo*> m_products;

    Q_DISABLE_COPY(KProductCatalog)
};
