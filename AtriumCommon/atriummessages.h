#pragma once

#include "platform/knativemessage.h"

#include <QByteArray>
#include <QString>

// The window properties and messages through which the host, its sibling programs and the
// plug-in find and drive each other's windows.

// Properties carried by top-level windows.
namespace AtriumWindowProperty {
// The plug-in's main window: other programs send it the messages below.
constexpr char VaultkeepMainFrame[] = "KVAULTKEEP_MAIN_FRAME";
// Windows that follow the host's skin.
constexpr char SkinSyncWithAtrium[] = "SKIN_SYNC_WITH_ATRIUM";
// The host's main window, to which the plug-in posts its state.
constexpr char AtriumMainFrame[] = "ATRIUM_MAIN_FRAME";
} // namespace AtriumWindowProperty

namespace AtriumMessage {
// To the plug-in's main window. Copy-data ids first (WM_COPYDATA's dwData).
constexpr ULONG_PTR ShowFileVersions = 27; // the block: a file's path, zero-terminated UTF-8
constexpr ULONG_PTR ShowWindow = 28;
constexpr UINT SkinChanged = 0x7E9; // 2025
constexpr UINT Quit = 0x7EB; // 2027: hides the window; the plug-in stays loaded
constexpr UINT Activate = 0x7ED; // 2029; sent to the host's window, by a second start of it
constexpr UINT ShowDeletedFiles = 0x806; // 2054
constexpr UINT BackUpNow = 0x807; // 2055: runs a cycle that backs up at once
constexpr UINT SetProtection = 0x808; // 2056: wParam 1 turns protection on, 0 off

// To the host's main window.
constexpr UINT VaultkeepState = 0x805; // 2053
constexpr WPARAM StateTotalBackups = 0; // lParam: the number of backups made in total
constexpr WPARAM StateProtection = 1; // lParam: 1 while protection is on, else 0
constexpr WPARAM StateBackingUp = 2; // lParam: 1 while a cycle copies files, else 0
constexpr WPARAM StateLastBackup = 3; // lParam: when the last cycle ended, seconds since the epoch
constexpr WPARAM StateProblem = 4; // lParam: the ProblemBits that hold now, 0 for none
enum ProblemBits : LPARAM
{
    CopiesFailed = 1, // the last cycle could not back up some files
    ShortOfRoom = 2, // the backup folder's disk is short of room
};
// The second copy off this machine, as the home page shows it.
constexpr WPARAM StateOffsite = 5; // lParam: OffsiteOff, OffsiteIdle, or 0 to 100 while uploading
constexpr WPARAM StateOffsiteLastBackup = 6; // lParam: the last upload, seconds since the epoch; -1 none
constexpr WPARAM StateOffsiteProblem = 7; // lParam: an OffsiteProblem
constexpr LPARAM OffsiteOff = -1;
constexpr LPARAM OffsiteIdle = -2;
enum OffsiteProblem : LPARAM
{
    OffsiteFine = 0,
    OffsiteNotInstalled,
    OffsiteNeedsPassword,
    OffsiteWrongPassword,
    OffsiteUnreachable,
    OffsiteDamaged, // a copy or the repository's check
    OffsiteFailed,
};
} // namespace AtriumMessage

// The first live top-level window that carries the property `name`, or null.
HWND findWindowByProperty(const QString& name);
// Shows `window`, raises it and gives it the focus, also while another program is in front.
// Always true.
bool forceForegroundWindow(HWND window);
// Queues a message for `window`; false when it could not be handed over.
bool postWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Sends a copy-data message to `window` and waits for its answer; false when none came.
bool sendCopyData(HWND window, ULONG_PTR dwData, const QByteArray& data, LRESULT* result);
// Posts to the host's main window, looked up each time; nothing is sent while there is none.
bool postToAtriumMainFrame(UINT message, WPARAM wParam, LPARAM lParam);

// The text of a copy-data block: its bytes up to the first zero byte, never beyond its count.
QByteArray copyDataText(const COPYDATASTRUCT* copyData);
