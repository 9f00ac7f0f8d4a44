#pragma once

// The host's usage-trace library. Callers bind it at run time by the function names below.
// Strings are zero-terminated UTF-16; a null pointer counts as an empty string.

#if defined(PATHMARK_BUILDING)
#define PATHMARK_EXPORT __attribute__((visibility("default")))
#else
#define PATHMARK_EXPORT
#endif

extern "C" {

// Chooses the SQLite file that keeps the records. A relative name lies in $XDG_CACHE_HOME/Atrium/
// (~/.cache/Atrium/ when the variable is unset); an absolute path is used as it is. Returns 1 when
// the folder of the file exists or could be created, 0 for an empty name or an unusable folder.
PATHMARK_EXPORT int SetCacheFileName(const char16_t* fileName);

// Keeps at most `count` records in the file, dropping the oldest first. Returns 0 and changes
// nothing when `count` is not positive.
PATHMARK_EXPORT int SetCacheItemMaxCount(int count);

// Stamps the record with the current time and queues it; a writer thread stores it. Returns at
// once with 1; any thread may call it.
PATHMARK_EXPORT int UploadUserTraceInfo(const char16_t* user, const char16_t* application,
    const char16_t* operation, const char16_t* page, const char16_t* product, const char16_t* version,
    const char16_t* kind);

// Waits until every record queued before the call is stored, for at most `timeoutMs`
// milliseconds (without limit when negative). Returns 1 when they are, 0 on timeout.
PATHMARK_EXPORT int WaitForUpLoadUserTraceLog(int timeoutMs);
}

// The function types, for callers that resolve the functions by name.
using SetCacheFileNameFunction = int (*)(const char16_t*);
using SetCacheItemMaxCountFunction = int (*)(int);
using UploadUserTraceInfoFunction = int (*)(const char16_t*, const char16_t*, const char16_t*,
    const char16_t*, const char16_t*, const char16_t*, const char16_t*);
using WaitForUpLoadUserTraceLogFunction = int (*)(int);
