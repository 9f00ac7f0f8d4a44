#include "discovery/kproductcatalog.h"

#include "core/kxmlguard.h"
#include "discovery/kfiletypemanager.h"
#include "discovery/kproductinfo.h"

#include <QDomDocument>
#include <QFile>
#include <QHash>

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

KProductInfo* readProduct(const QDomElement& element)
{
    auto* product = new KProductInfo;
    product->setName(element.attribute(QStringLiteral("Name")));
    product->setCode(element.attribute(QStringLiteral("Code")));
    product->setDescription(element.attribute(QStringLiteral("Description")));
    product->setGroup(element.attribute(QStringLiteral("Group")));
    product->setClassification(element.attribute(QStringLiteral("Classification")));
    product->setKjImg(element.attribute(QStringLiteral("KJImg")));
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString tag = child.tagName();
        if (const TextSetter set = textElements().value(tag))
            (product->*set)(child.text());
        else if (const FlagSetter flag = flagElements().value(tag))
            (product->*flag)(child.text() == QLatin1String("True")); // "true" is false
    }
    return product;
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    file.close();
    // Products may sit at any depth, but no catalog needs more than a few levels; anything
    // deeper, or with a document type declaration, is refused before the document model can
    // recurse through it.
    QDomDocument document;
    if (!KXmlGuard::isPlain(content, MaxDepth) || !document.setContent(content))
        return true;

    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("Products"))
        return true;
    // Products may sit at any depth below the root.
    const QDomNodeList elements = root.elementsByTagName(QStringLiteral("Product"));
    for (int i = 0; i < elements.size(); ++i) {
        KProductInfo* product = readProduct(elements.at(i).toElement());
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
