// The substitute data engine: record groups and fields kept in one SQLite table.

#include "ledgerbase.h"

#include "utf16.h"

#include <cstring>
#include <new>
#include <sqlite3.h>
#include <string>

struct LedgerbaseDatabase
{
    sqlite3* db = nullptr;
};

namespace {

// SQLite opens files by UTF-8 name (only that form takes the read-only flag).
std::string toUtf8(const char16_t* text)
{
    return utf16ToUtf8(text);
}

const char* const Schema = "CREATE TABLE IF NOT EXISTS ledger_fields ("
                           " record_group TEXT NOT NULL, field TEXT NOT NULL, seq INTEGER NOT NULL,"
                           " value TEXT NOT NULL, PRIMARY KEY (record_group, field, seq))";

// Finalises a statement when it goes out of scope.
struct Statement
{
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

} // namespace

extern "C" {

LedgerbaseDatabase* LedgerbaseOpen(const char16_t* path, int writable)
{
    if (!path || !*path)
        return nullptr;
    auto* database = new (std::nothrow) LedgerbaseDatabase;
    if (!database)
        return nullptr;
    const int flags = writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(toUtf8(path).c_str(), &database->db, flags | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        LedgerbaseClose(database);
        return nullptr;
    }
    // The owning program may be writing the file at the same moment.
    sqlite3_busy_timeout(database->db, 2000);
    if (writable && sqlite3_exec(database->db, Schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        LedgerbaseClose(database);
        return nullptr;
    }
    return database;
}

void LedgerbaseClose(LedgerbaseDatabase* database)
{
    if (!database)
        return;
    sqlite3_close(database->db);
    delete database;
}

int LedgerbaseReadField(LedgerbaseDatabase* database, const char16_t* recordGroup, const char16_t* field,
    char16_t* buffer, int capacity)
{
    if (!database || !recordGroup || !field)
        return -1;
    Statement query;
    if (sqlite3_prepare16_v2(database->db,
            u"SELECT value FROM ledger_fields WHERE record_group = ?1 AND field = ?2 ORDER BY seq", -1,
            &query.handle, nullptr)
        != SQLITE_OK) {
        return -1;
    }
    sqlite3_bind_text16(query.handle, 1, recordGroup, -1, SQLITE_STATIC);
    sqlite3_bind_text16(query.handle, 2, field, -1, SQLITE_STATIC);

    std::u16string text;
    bool found = false;
    int step;
    while ((step = sqlite3_step(query.handle)) == SQLITE_ROW) {
        if (found)
            text += u"\r\n";
        found = true;
        const auto* value = static_cast<const char16_t*>(sqlite3_column_text16(query.handle, 0));
        const int bytes = sqlite3_column_bytes16(query.handle, 0);
        if (value)
            text.append(value, size_t(bytes) / sizeof(char16_t));
    }
    if (step != SQLITE_DONE || !found)
        return -1;
    const int length = int(text.size());
    if (buffer && capacity > length) {
        std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
        buffer[length] = 0;
    }
    return length;
}

int LedgerbaseWriteField(LedgerbaseDatabase* database, const char16_t* recordGroup, const char16_t* field,
    const char16_t* const* entries, int count)
{
    if (!database || !recordGroup || !field || count < 0 || (count > 0 && !entries))
        return -1;
    if (sqlite3_exec(database->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return -1;
    bool ok = true;
    {
        Statement remove;
        ok = sqlite3_prepare16_v2(database->db,
                 u"DELETE FROM ledger_fields WHERE record_group = ?1 AND field = ?2", -1, &remove.handle,
                 nullptr)
            == SQLITE_OK;
        if (ok) {
            sqlite3_bind_text16(remove.handle, 1, recordGroup, -1, SQLITE_STATIC);
            sqlite3_bind_text16(remove.handle, 2, field, -1, SQLITE_STATIC);
            ok = sqlite3_step(remove.handle) == SQLITE_DONE;
        }
    }
    Statement insert;
    ok = ok
        && sqlite3_prepare16_v2(database->db, u"INSERT INTO ledger_fields VALUES (?1, ?2, ?3, ?4)", -1,
               &insert.handle, nullptr)
            == SQLITE_OK;
    for (int i = 0; ok && i < count; ++i) {
        sqlite3_reset(insert.handle);
        sqlite3_bind_text16(insert.handle, 1, recordGroup, -1, SQLITE_STATIC);
        sqlite3_bind_text16(insert.handle, 2, field, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert.handle, 3, i);
        sqlite3_bind_text16(insert.handle, 4, entries[i] ? entries[i] : u"", -1, SQLITE_STATIC);
        ok = sqlite3_step(insert.handle) == SQLITE_DONE;
    }
    sqlite3_exec(database->db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    return ok ? 0 : -1;
}

} // extern "C"
