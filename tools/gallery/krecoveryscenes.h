#pragma once

class QDir;

// Renders the mis-edit page, the deleted-file page and the version dialog, filled from a
// realistic engine state built below a temporary folder on the fake platform. The state and the
// engine stay installed until the program ends, so that nothing reaches the real home folder.
bool renderRecoveryViews(const QDir& folder);
