#include "Widgets/miscode/ktablewidgetfileitem.h"

#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "core/kcommon.h"
#include "ui_ktablewidgetfileitem.h"

#include <QFileInfo>

KTableWidgetFileItem::KTableWidgetFileItem(const KServices& services, QWidget* parent)
    : KTableWidgetItemBase(parent)
    , m_services(services)
    , m_ui(new Ui::KTableWidgetFileItem)
{
    m_ui->setupUi(this);
    setItemType(ITEM_FILE);
    setHoverBackground(m_ui->lblBG);
    m_ui->lblFileName->setTextColor(QColor(QStringLiteral("#333333")));
    m_ui->lblFileName->setHoverTextColor(Qt::blue);
    const QString hover = KCommon::skinImagePath(QStringLiteral("版本恢复_鼠标移上去.png"));
    m_ui->lblBackBtn->setImages(
        KCommon::skinImagePath(QStringLiteral("版本恢复.png")), hover, hover, QString());
    connect(m_ui->lblFileName, &KClickLabel::clicked, this, &KTableWidgetFileItem::onOpenFileVersionDlg);
    connect(m_ui->lblBackBtn, &KLabel::clicked, this, &KTableWidgetFileItem::onOpenFileVersionDlg);
}

KTableWidgetFileItem::~KTableWidgetFileItem() = default;

void KTableWidgetFileItem::setData(const QStringList& texts)
{
    m_fileName = texts.value(0);
    const QString name = QFileInfo(m_fileName).fileName();
    m_ui->lblIcon->setPixmap(KFileIconProvider::instance()->iconForFile(name).pixmap(32, 32));
    m_ui->lblFileName->setElidedText(name);
    m_ui->lblFileName->setToolTip(m_fileName);
    m_ui->lblBackedNumber->setText(texts.value(1));
    m_ui->lblLastBackedTime->setText(texts.value(2));
}

void KTableWidgetFileItem::onOpenFileVersionDlg()
{
    KFileVersionDlg dialog(m_fileName, m_services, window());
    dialog.exec();
}
