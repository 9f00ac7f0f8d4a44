#pragma once

#include <QObject>
#include <QString>

// One product of the catalog: where it keeps its recent-file list, which file extensions it
// owns, and descriptive fields that are kept as read. Fields are named after the catalog's
// attributes and elements.
class KProductInfo final : public QObject
{
    Q_OBJECT

public:
    explicit KProductInfo(QObject* parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    QString group() const { return m_group; }
    void setGroup(const QString& group) { m_group = group; }
    QString code() const { return m_code; }
    void setCode(const QString& code) { m_code = code; }
    QString description() const { return m_description; }
    void setDescription(const QString& description) { m_description = description; }
    QString classification() const { return m_classification; }
    void setClassification(const QString& classification) { m_classification = classification; }
    QString kjImg() const { return m_kjImg; }
    void setKjImg(const QString& kjImg) { m_kjImg = kjImg; }
    QString infoName() const { return m_infoName; }
    void setInfoName(const QString& infoName) { m_infoName = infoName; }
    QString rootKey() const { return m_rootKey; }
    void setRootKey(const QString& rootKey) { m_rootKey = rootKey; }
    QString versionKey() const { return m_versionKey; }
    void setVersionKey(const QString& versionKey) { m_versionKey = versionKey; }
    QString pathKey() const { return m_pathKey; }
    void setPathKey(const QString& pathKey) { m_pathKey = pathKey; }
    QString mainApp() const { return m_mainApp; }
    void setMainApp(const QString& mainApp) { m_mainApp = mainApp; }
    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    QString recentFile() const { return m_recentFile; }
    void setRecentFile(const QString& recentFile) { m_recentFile = recentFile; }
    QString fileExt() const { return m_fileExt; }
    void setFileExt(const QString& fileExt) { m_fileExt = fileExt; }
    bool quickStart() const { return m_quickStart; }
    void setQuickStart(bool quickStart) { m_quickStart = quickStart; }
    bool canInstall() const { return m_canInstall; }
    void setCanInstall(bool canInstall) { m_canInstall = canInstall; }
    QString id() const { return m_id; }
    void setId(const QString& id) { m_id = id; }
    QString introduce() const { return m_introduce; }
    void setIntroduce(const QString& introduce) { m_introduce = introduce; }
    QString icon() const { return m_icon; }
    void setIcon(const QString& icon) { m_icon = icon; }
    QString studyCode() const { return m_studyCode; }
    void setStudyCode(const QString& studyCode) { m_studyCode = studyCode; }
    QString introduction() const { return m_introduction; }
    void setIntroduction(const QString& introduction) { m_introduction = introduction; }
    QString link() const { return m_link; }
    void setLink(const QString& link) { m_link = link; }
    QString orderLink() const { return m_orderLink; }
    void setOrderLink(const QString& orderLink) { m_orderLink = orderLink; }
    QString showInHomePage() const { return m_showInHomePage; }
    void setShowInHomePage(const QString& showInHomePage) { m_showInHomePage = showInHomePage; }

private:
    QString m_name;
    QString m_group;
    QString m_code;
    QString m_description;
    QString m_classification;
    QString m_kjImg;
    QString m_infoName;
    QString m_rootKey;
    QString m_versionKey;
    QString m_pathKey;
    QString m_mainApp;
    bool m_visible = false;
    QString m_recentFile;
    QString m_fileExt;
    bool m_quickStart = false;
    bool m_canInstall = false;
    QString m_id;
    QString m_introduce;
    QString m_icon;
    QString m_studyCode;
    QString m_introduction;
    QString m_link;
    QString m_orderLink;
    QString m_showInHomePage;

    Q_DISABLE_COPY(KProductInfo)
};
