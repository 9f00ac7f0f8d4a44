#include "discovery/kproductcatalog.h"

#include "core/kfiletypemanager.h"
#include "discovery/kdiscoverylog.h"
#include "discovery/kproductinfo.h"
#include "platform/kfileio.h"

#include <QFile>
#include <QHash>
#include <QVector>
#include <QXmlStreamReader>

#include <algorithm>
#include <cerrno>
#include <utility>

// The catalog lives in a static library, whose resource initialiser the linker would drop
// unless something refers to it.
static void initCatalogResource()
{
    Q_INIT_RESOURCE(catalog);
}

static void registerCatalogResource()
{
    static const bool registered = (initCatalogResource(), true);
    Q_UNUSED(registered)
}

namespace {

using TextSetter = void (KProductInfo::*)(const QString&);
using FlagSetter = void (KProductInfo::*)(bool);

const QHash<QString, TextSetter>& textElements()
{
    static const QHash<QString, TextSetter> setters {
        { QStringLiteral("InfoName"), &KProductInfo::setInfoName },
        { QStringLiteral("RootKey"), &KProductInfo::setRootKey },
        { QStringLiteral("VersionKey"), &KProductInfo::setVersionKey },
        { QStringLiteral("PathKey"), &KProductInfo::setPathKey },
        { QStringLiteral("MainApp"), &KProductInfo::setMainApp },
        { QStringLiteral("Icon"), &KProductInfo::setIcon },
        { QStringLiteral("ID"), &KProductInfo::setId },
        { QStringLiteral("RecentFile"), &KProductInfo::setRecentFile },
        { QStringLiteral("FileExt"), &KProductInfo::setFileExt },
        { QStringLiteral("StudyCode"), &KProductInfo::setStudyCode },
        { QStringLiteral("Introduction"), &KProductInfo::setIntroduction },
        { QStringLiteral("Link"), &KProductInfo::setLink },
        { QStringLiteral("OrderLink"), &KProductInfo::setOrderLink },
        { QStringLiteral("Introduce"), &KProductInfo::setIntroduce },
    };
    return setters;
}

// "ShowInHomePage" is recognised but not kept, like every tag missing from both tables.
const QHash<QString, FlagSetter>& flagElements()
{
    static const QHash<QString, FlagSetter> setters {
        { QStringLiteral("Visible"), &KProductInfo::setVisible },
        { QStringLiteral("CanInstall"), &KProductInfo::setCanInstall },
        { QStringLiteral("QuickStart"), &KProductInfo::setQuickStart },
    };
    return setters;
}

// The products of a catalog in document order, or none when the catalog is unusable.
class CatalogReader
{
public:
    explicit CatalogReader(int maxDepth)
        : m_maxDepth(maxDepth)
    {
        m_xml.setNamespaceProcessing(false); // names are compared as written, prefix and all
    }
    ~CatalogReader() { qDeleteAll(m_products); }

    // Reads the catalog from `device`, as far as `maxBytes`. False when it does not parse,
    // declares a document type, nests deeper than allowed or is longer than `maxBytes`.
    bool read(QIODevice* device, qint64 maxBytes);
    // The products read, handed over.
    QList<KProductInfo*> take() { return std::exchange(m_products, {}); }

private:
    void startElement();
    void endElement();

    QXmlStreamReader m_xml;
    const int m_maxDepth;
    int m_depth = 0;
    bool m_wrongRoot = false;
    QList<KProductInfo*> m_products;
    // The products open at the current place, by the depth of their element.
    QVector<QPair<int, KProductInfo*>> m_open;
    // The product field being read: its tag, and its text so far.
    QString m_field;
    QString m_text;
};

bool CatalogReader::read(QIODevice* device, qint64 maxBytes)
{
    // Fed by hand, so that no more than `maxBytes` is ever read, however the file grows.
    QByteArray chunk;
    for (qint64 left = maxBytes + 1;;) {
        chunk = device->read(std::min<qint64>(left, 64 * 1024));
        if (!chunk.isEmpty()) {
            left -= chunk.size();
            if (left <= 0)
                return false;
            m_xml.addData(chunk);
        }
        const bool last = chunk.isEmpty();
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::DTD:
                return false;
            case QXmlStreamReader::StartElement:
                if (++m_depth > m_maxDepth)
                    return false;
                startElement();
                break;
            case QXmlStreamReader::EndElement:
                endElement();
                --m_depth;
                break;
            case QXmlStreamReader::Characters:
                if (!m_field.isEmpty())
                    m_text += m_xml.text();
                break;
            default:
                break;
            }
        }
        if (m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            return !m_xml.hasError();
        if (last)
            return false;
    }
}

void CatalogReader::startElement()
{
    const QStringRef tag = m_xml.qualifiedName();
    if (m_depth == 1) {
        m_wrongRoot = tag != QLatin1String("Products");
        return;
    }
    if (m_wrongRoot)
        return;
    if (!m_open.isEmpty() && m_open.last().first == m_depth - 1 && m_field.isEmpty()) {
        const QString name = tag.toString();
        if (textElements().contains(name) || flagElements().contains(name)) {
            m_field = name;
            m_text.clear();
        }
    }
    if (tag == QLatin1String("Product")) {
        const QXmlStreamAttributes attributes = m_xml.attributes();
        auto* product = new KProductInfo;
        product->setName(attributes.value(QLatin1String("Name")).toString());
        product->setCode(attributes.value(QLatin1String("Code")).toString());
        product->setDescription(attributes.value(QLatin1String("Description")).toString());
        product->setGroup(attributes.value(QLatin1String("Group")).toString());
        product->setClassification(attributes.value(QLatin1String("Classification")).toString());
        product->setKjImg(attributes.value(QLatin1String("KJImg")).toString());
        m_products.append(product);
        m_open.append({ m_depth, product });
    }
}

void CatalogReader::endElement()
{
    if (!m_open.isEmpty() && m_open.last().first == m_depth) {
        m_open.removeLast();
        return;
    }
    // A field's text is all the text inside its element, as the document model gives it.
    if (!m_field.isEmpty() && !m_open.isEmpty() && m_open.last().first == m_depth - 1) {
        KProductInfo* product = m_open.last().second;
        if (const TextSetter set = textElements().value(m_field))
            (product->*set)(m_text);
        else if (const FlagSetter flag = flagElements().value(m_field))
            (product->*flag)(m_text == QLatin1String("True")); // "true" is false
        m_field.clear();
    }
}

} // namespace

KProductCatalog::KProductCatalog(KFileTypeManager* kinds)
    : m_kinds(kinds ? kinds : KFileTypeManager::instance())
{
    registerCatalogResource();
}

KProductCatalog::~KProductCatalog()
{
    clear();
}

QString KProductCatalog::builtInPath()
{
    registerCatalogResource();
    return QStringLiteral(":/files/ProductList.xml");
}

int KProductCatalog::kindOfCode(const QString& code)
{
    // Civil first: its codes are tested before the others wherever products are told apart.
    if (code.contains(QLatin1String("CVA")))
        return int(FileTypeKind::Civil);
    if (code.contains(QLatin1String("PRA4")))
        return int(FileTypeKind::Pricing);
    if (code.contains(QLatin1String("RBA")))
        return int(FileTypeKind::Rebar);
    if (code.contains(QLatin1String("INA")))
        return int(FileTypeKind::Installation);
    return int(FileTypeKind::Other);
}

bool KProductCatalog::load(const QString& path)
{
    // The built-in catalog is compiled into the library; any other is a file, read only when it
    // is a regular one.
    std::unique_ptr<QFile> file;
    if (path.startsWith(QLatin1Char(':'))) {
        file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::ReadOnly))
            return false;
    } else {
        file = KFileIO::openRegularFile(path, MaxBytes);
        if (!file) {
            if (errno == EFBIG || errno == EINVAL)
                qCWarning(lcDiscovery).noquote()
                    << path << "is not a regular file of at most" << MaxBytes << "bytes; it is not read";
            return false;
        }
    }
    CatalogReader reader(MaxDepth);
    if (!reader.read(file.get(), MaxBytes))
        return true;
    const QList<KProductInfo*> products = reader.take();
    for (KProductInfo* product : products) {
        insert(product);
        m_kinds->addFileExts(kindOfCode(product->code()), product->fileExt());
    }
    return true;
}

void KProductCatalog::insert(KProductInfo* product)
{
    KProductInfo*& slot = m_products[product->name()];
    delete slot;
    slot = product;
}

void KProductCatalog::clear()
{
    qDeleteAll(m_products);
    m_products.clear();
}
