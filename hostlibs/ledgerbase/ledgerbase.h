#pragma once

// The data engine's C interface. A database file holds record groups; a field of a group is a
// list of text entries. Strings are UTF-16, zero-terminated.

#ifdef __cplusplus
extern "C" {
#endif

#define LEDGERBASE_EXPORT __attribute__((visibility("default")))

typedef struct LedgerbaseDatabase LedgerbaseDatabase;

// Opens a database file; null on failure. A writable open creates the file when missing.
LEDGERBASE_EXPORT LedgerbaseDatabase* LedgerbaseOpen(const char16_t* path, int writable);
LEDGERBASE_EXPORT void LedgerbaseClose(LedgerbaseDatabase* database);

// Copies a field's entries, joined with "\r\n" and zero-terminated, into `buffer`. Returns the
// text's length in UTF-16 units (without the terminator), or -1 when the field does not exist or
// the read failed. When `capacity` is too small nothing is copied; the length is still returned.
LEDGERBASE_EXPORT int LedgerbaseReadField(LedgerbaseDatabase* database, const char16_t* recordGroup,
    const char16_t* field, char16_t* buffer, int capacity);

// Replaces a field's entries; returns 0 on success, -1 on failure.
LEDGERBASE_EXPORT int LedgerbaseWriteField(LedgerbaseDatabase* database, const char16_t* recordGroup,
    const char16_t* field, const char16_t* const* entries, int count);

#ifdef __cplusplus
}
#endif
