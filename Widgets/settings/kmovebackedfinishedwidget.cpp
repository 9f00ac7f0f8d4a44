#include "Widgets/settings/kmovebackedfinishedwidget.h"

#include "core/kcommon.h"
#include "ui_kmovebackedfinishedwidget.h"

KMoveBackedFinishedWidget::KMoveBackedFinishedWidget(QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::KMoveBackedFinishedWidget)
{
    m_ui->setupUi(this);
    QPalette white = palette();
    white.setColor(QPalette::Window, QColor(QStringLiteral("#ffffff")));
    setPalette(white);
    setAutoFillBackground(true);
    const QPixmap done(KCommon::skinImagePath(QStringLiteral("迁移完成_正确.png")));
    m_ui->lblTextImage->setPixmap(done);
    m_ui->lblTextImage->setFixedSize(done.size());
    m_ui->btnFinish->setPicName(KCommon::skinImagePath(QStringLiteral("move_folder_button.png")), 4);
    connect(m_ui->btnFinish, &QPushButton::clicked, this, &KMoveBackedFinishedWidget::finish);
}

KMoveBackedFinishedWidget::~KMoveBackedFinishedWidget() = default;
