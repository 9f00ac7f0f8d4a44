#pragma once

#include <QFrame>
#include <QString>

class KWindowMessaging;
class QVariant;

// The frame of a top-level window that the host and its sibling programs drive with window
// messages: the plug-in's main window derives from it, and so may the host's. Messages sent to
// a property the window carries arrive at its nativeEvent as "windows_generic_MSG".
class AtriumMsgFrame : public QFrame
{
    Q_OBJECT

public:
    // Its properties and messages go through `messaging`.
    explicit AtriumMsgFrame(KWindowMessaging* messaging, QWidget* parent = nullptr);
    // Through the process's platform: for the host, which has no other.
    explicit AtriumMsgFrame(QWidget* parent = nullptr);
    ~AtriumMsgFrame() override;

    // For the host; the plug-in neither calls nor overrides them.
    virtual void setHostData(const QVariant& data);
    virtual void onHostCommand(const QString& command);

    // Lets the window carry the property `name`, so that other programs find it and send it
    // messages. False when another live window carries it already (the first one keeps it) or
    // the message folder cannot be used; `error` then says what is wrong, and where.
    bool setWindowProperty(const QString& name, QString* error = nullptr);

signals:
    // Part of what the host sees of the frame; the plug-in never emits them.
    void sendMsg(QString strMsg);
    void postMsg(QString strMsg);
    void sigLogin();

private:
    KWindowMessaging* const m_messaging;

    Q_DISABLE_COPY(AtriumMsgFrame)
};
