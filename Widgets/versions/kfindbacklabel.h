#pragma once

#include <QLabel>

class KLabel;
class KMenuButton;

// The restore control of a version row and a deleted-file row. Its state decides what shows:
// 0 a plain recover button, 1 the restore button with its pull-down menu (ready), 2 a busy
// text, 3 the result in green with a button that opens the folder of the restored copy.
class KFindBackLabel : public QLabel
{
    Q_OBJECT

public:
    explicit KFindBackLabel(QWidget* parent = nullptr);

    int state() const { return m_state; }
    void setState(int state);
    // Shows `text` as the result, in bold green, shortened to the room beside the open button;
    // `toolTip` (the place written) shows over it.
    void setResultText(const QString& text, const QString& toolTip = QString());
    // The result as set, before it was shortened.
    QString resultText() const;
    // Adds an entry to the pull-down menu of the restore button.
    void addMenuEntry(const QString& text);

    KMenuButton* menuButton() const { return m_menuButton; }

signals:
    void recoverClicked();
    void openFolder();
    // The restore button's face: restore to the desktop.
    void sigRecoverdToDesk();
    // The pull-down menu's first entry: restore to the source place.
    void sigRecoverdToSrcPalce();
    // Its second entry, where there is one: choose among the versions.
    void sigOtherVersions();
    void stateChanged(int state);

public slots:
    void onPullDownButtonClicked(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeChildren(int state);
    void placeChildren();

    int m_state = 1;
    KMenuButton* m_menuButton;
    KLabel* m_recoverButton = nullptr;
    QLabel* m_busyLabel = nullptr;
    QLabel* m_resultLabel = nullptr;
    KLabel* m_openButton = nullptr;
    QString m_result;
    Q_DISABLE_COPY(KFindBackLabel)
};
