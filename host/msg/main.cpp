// vaultkeep-msg: finds the window that carries a property and sends it a window message, the
// way the host and its sibling programs drive the plug-in.
//
//   vaultkeep-msg list <property>...
//   vaultkeep-msg post <property> <message> [<wParam> [<lParam>]]
//   vaultkeep-msg copydata <property> <id> [<text>]
//
// See usage() for the details. Exit status: 0 done, 1 no live window carries the property,
// 2 bad arguments, 3 the message could not be delivered or got no answer.

#include "AtriumCommon/atriummessages.h"
#include "platform/kmessageframe.h"
#include "platform/kplatform.h"
#include "platform/kwindowmessaging.h"

#include <QCoreApplication>
#include <QHash>
#include <QLoggingCategory>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace {

enum ExitCode
{
    Done = 0,
    NoWindow = 1,
    BadArguments = 2,
    NotDelivered = 3,
};

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usage()
{
    err() << "usage: vaultkeep-msg list <property>...\n"
             "       vaultkeep-msg post <property> <message> [<wParam> [<lParam>]]\n"
             "       vaultkeep-msg copydata <property> <id> [<text>]\n"
             "\n"
             "list      prints each property that a live window carries, with where it listens\n"
             "post      queues a message for the window and returns at once\n"
             "copydata  sends <text> as UTF-8 followed by a zero byte (no <text>: an empty block),\n"
             "          waits for the window and prints its answer\n"
             "\n"
             "Numbers are decimal or 0x hexadecimal; lParam may be negative. Names instead of numbers:\n"
             "  messages     skin 2025, quit 2027, activate 2029, show-deleted 2054, backup-now 2055,\n"
             "               protection 2056 (wParam 1 on, 0 off), state 2053\n"
             "  copy-data    show-versions 27, show 28\n"
             "  properties   main (KVAULTKEEP_MAIN_FRAME), skin-sync (SKIN_SYNC_WITH_ATRIUM),\n"
             "               host (ATRIUM_MAIN_FRAME)\n"
             "\n"
             "Windows listen in $ATRIUM_MESSAGES, else in $XDG_RUNTIME_DIR/atrium, else in\n"
             "/tmp/atrium-<uid>: a folder of the user's own that nobody else may enter (0700).\n";
    return BadArguments;
}

std::optional<qint64> number(const QString& text, const QHash<QString, qint64>& names = {})
{
    const auto named = names.constFind(text);
    if (named != names.constEnd())
        return *named;
    bool ok = false;
    const qint64 value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
        ? qint64(text.mid(2).toULongLong(&ok, 16))
        : text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QString property(const QString& text)
{
    static const QHash<QString, QString> names {
        { QStringLiteral("main"), QString::fromLatin1(AtriumWindowProperty::VaultkeepMainFrame) },
        { QStringLiteral("skin-sync"), QString::fromLatin1(AtriumWindowProperty::SkinSyncWithAtrium) },
        { QStringLiteral("host"), QString::fromLatin1(AtriumWindowProperty::AtriumMainFrame) },
    };
    return names.value(text, text);
}

QString lastError()
{
    return KPlatform::instance()->windowMessaging()->lastError();
}

HWND findWindow(const QString& name)
{
    const HWND window = findWindowByProperty(name);
    if (!window)
        err() << "vaultkeep-msg: " << lastError() << '\n';
    return window;
}

int list(const QStringList& names)
{
    int found = 0;
    for (const QString& name : names) {
        const HWND window = findWindowByProperty(property(name));
        if (!window) {
            err() << "vaultkeep-msg: " << lastError() << '\n';
            continue;
        }
        ++found;
        out() << property(name) << '\t' << KPlatform::instance()->windowMessaging()->windowAddress(window)
              << '\n';
    }
    return found > 0 ? Done : NoWindow;
}

int post(const QStringList& arguments)
{
    static const QHash<QString, qint64> messages {
        { QStringLiteral("skin"), AtriumMessage::SkinChanged },
        { QStringLiteral("quit"), AtriumMessage::Quit },
        { QStringLiteral("activate"), AtriumMessage::Activate },
        { QStringLiteral("show-deleted"), AtriumMessage::ShowDeletedFiles },
        { QStringLiteral("backup-now"), AtriumMessage::BackUpNow },
        { QStringLiteral("protection"), AtriumMessage::SetProtection },
        { QStringLiteral("state"), AtriumMessage::VaultkeepState },
    };
    if (arguments.size() < 2 || arguments.size() > 4)
        return usage();
    const std::optional<qint64> message = number(arguments.at(1), messages);
    const std::optional<qint64> wParam = number(arguments.value(2, QStringLiteral("0")));
    const std::optional<qint64> lParam = number(arguments.value(3, QStringLiteral("0")));
    if (!message || !wParam || !lParam || *message < 1 || *message > qint64(KMessageFrame::LastMessage)
        || *message == qint64(WM_COPYDATA) || *wParam < 0) {
        err() << "vaultkeep-msg: a message is a number from 1 to 65535 other than WM_COPYDATA (74), "
                 "wParam is not negative\n";
        return BadArguments;
    }
    const HWND window = findWindow(property(arguments.at(0)));
    if (!window)
        return NoWindow;
    if (!postWindowMessage(window, UINT(*message), WPARAM(*wParam), LPARAM(*lParam))) {
        err() << "vaultkeep-msg: " << lastError() << '\n';
        return NotDelivered;
    }
    return Done;
}

int copyData(const QStringList& arguments)
{
    static const QHash<QString, qint64> ids {
        { QStringLiteral("show-versions"), qint64(AtriumMessage::ShowFileVersions) },
        { QStringLiteral("show"), qint64(AtriumMessage::ShowWindow) },
    };
    if (arguments.size() < 2 || arguments.size() > 3)
        return usage();
    const std::optional<qint64> id = number(arguments.at(1), ids);
    if (!id || *id < 0) {
        err() << "vaultkeep-msg: a copy-data id is a number of 0 or more\n";
        return BadArguments;
    }
    QByteArray block;
    if (arguments.size() == 3)
        block = arguments.at(2).toUtf8() + '\0';
    if (block.size() > KMessageFrame::MaxPayloadSize) {
        err() << "vaultkeep-msg: the text is longer than " << KMessageFrame::MaxPayloadSize << " bytes\n";
        return BadArguments;
    }
    const HWND window = findWindow(property(arguments.at(0)));
    if (!window)
        return NoWindow;
    LRESULT answer = 0;
    if (!sendCopyData(window, ULONG_PTR(*id), block, &answer)) {
        err() << "vaultkeep-msg: " << lastError() << '\n';
        return NotDelivered;
    }
    out() << answer << '\n';
    return Done;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // What goes wrong is said once, below, as this tool's own message.
    QLoggingCategory::setFilterRules(QStringLiteral("vaultkeep.messages.warning=false"));
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty())
        return usage();
    const QString command = arguments.takeFirst();
    int status = BadArguments;
    if (command == QLatin1String("list") && !arguments.isEmpty())
        status = list(arguments);
    else if (command == QLatin1String("post"))
        status = post(arguments);
    else if (command == QLatin1String("copydata"))
        status = copyData(arguments);
    else
        return usage();
    out().flush();
    err().flush();
    return status;
}
