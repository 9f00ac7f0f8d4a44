#pragma once

class KFakePlatform;
class QDir;

// Renders the mis-edit page, the deleted-file page and the version dialog, filled from a
// realistic engine state built on `machine`, the throwaway machine the gallery runs on, at a
// fixed moment of its clock.
bool renderRecoveryViews(const QDir& folder, KFakePlatform* machine);
