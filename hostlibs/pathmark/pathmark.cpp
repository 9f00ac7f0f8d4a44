#include "pathmark.h"

#include "utf16.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <pwd.h>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

// Callers never wait for SQLite: records go into a queue and one writer thread per process
// stores them in batches, each batch in one transaction that also trims the table to the
// maximum count.

namespace {

constexpr int DefaultMaxCount = 300;
// Pending records beyond this are dropped oldest first, so a stalled disk cannot eat memory.
constexpr std::size_t MaxPending = 10000;
constexpr int BusyTimeoutMs = 2000;
constexpr auto RetryDelay = std::chrono::milliseconds(500);
const char* const DefaultFileName = "AtriumDataLog.db";

struct Record
{
    std::string time; // UTC, "YYYY-MM-DD HH:MM:SS.mmm", as SQLite's date functions read it
    std::array<std::u16string, 7> fields;
};

std::string utcNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis
        = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm parts {};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", parts.tm_year + 1900,
        parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, int(millis));
    return text;
}

// UTF-16 to UTF-8 for SQLite and the file system.
std::string toUtf8(const std::u16string& text)
{
    return utf16ToUtf8(text);
}

std::filesystem::path cacheFolder()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/') // the XDG base directory rules ignore relative values
        return std::filesystem::path(cache) / "Atrium";
    std::string home;
    if (const char* variable = std::getenv("HOME"); variable && variable[0])
        home = variable;
    if (home.empty()) {
        std::vector<char> buffer(16384);
        passwd entry {};
        passwd* found = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
            home = found->pw_dir;
    }
    if (home.empty())
        return {};
    return std::filesystem::path(home) / ".cache" / "Atrium";
}

// The records say what the user did: the folders made for them and the file are the user's alone.
// Folders that exist already are left as they are.
bool makePrivateFolders(const std::filesystem::path& folder)
{
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error))
        return !folder.empty();
    if (!makePrivateFolders(folder.parent_path()))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// Creates the file private, or makes the existing one so, on its descriptor; a link, a FIFO or
// anything but a regular file is refused, so that SQLite never writes through one.
bool preparePrivateFile(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    struct stat info;
    const bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
        && ((info.st_mode & 07777) == 0600 || ::fchmod(fd, 0600) == 0);
    ::close(fd);
    return usable;
}

std::filesystem::path resolve(const std::string& name)
{
    const std::filesystem::path given(name);
    if (given.is_absolute())
        return given;
    const std::filesystem::path folder = cacheFolder();
    return folder.empty() ? std::filesystem::path() : folder / given;
}

class Store
{
public:
    static Store& instance()
    {
        static Store store;
        return store;
    }

    Store()
        : m_path(resolve(DefaultFileName))
        , m_writer([this] { writeLoop(); })
    { }

    // Stores what is still queued, then ends the writer; runs when the library is unloaded.
    ~Store()
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_writer.join();
    }

    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool setFileName(const std::string& name)
    {
        const std::filesystem::path path = resolve(name);
        if (name.empty() || path.empty() || !path.has_filename())
            return false;
        if (!makePrivateFolders(path.parent_path()))
            return false;
        const std::lock_guard<std::mutex> locker(m_mutex);
        m_path = path;
        return true;
    }

    bool setMaxCount(int count)
    {
        if (count <= 0)
            return false;
        const std::lock_guard<std::mutex> locker(m_mutex);
        m_maxCount = count;
        return true;
    }

    void enqueue(Record&& record)
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            m_queue.push_back(std::move(record));
            ++m_queued;
            while (m_queue.size() > MaxPending) {
                m_queue.pop_front();
                ++m_done;
            }
        }
        m_wake.notify_one();
    }

    bool waitUntilStored(int timeoutMs)
    {
        std::unique_lock<std::mutex> locker(m_mutex);
        const std::uint64_t target = m_queued;
        const auto stored = [this, target] {
            return m_done >= target;
        };
        m_wake.notify_one();
        if (timeoutMs < 0) {
            m_progress.wait(locker, stored);
            return true;
        }
        return m_progress.wait_for(locker, std::chrono::milliseconds(timeoutMs), stored);
    }

private:
    void writeLoop()
    {
        std::unique_lock<std::mutex> locker(m_mutex);
        for (;;) {
            m_wake.wait(locker, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                break; // stopping with nothing left
            std::vector<Record> batch(
                std::make_move_iterator(m_queue.begin()), std::make_move_iterator(m_queue.end()));
            m_queue.clear();
            const std::filesystem::path path = m_path;
            const int maxCount = m_maxCount;
            const bool lastChance = m_stopping;
            locker.unlock();

            const bool stored = store(path, batch, maxCount);

            locker.lock();
            if (stored || lastChance) {
                m_done += batch.size();
                m_progress.notify_all();
                continue;
            }
            // Put the batch back in front of newer records and try again a little later.
            m_queue.insert(m_queue.begin(), std::make_move_iterator(batch.begin()),
                std::make_move_iterator(batch.end()));
            while (m_queue.size() > MaxPending) {
                m_queue.pop_front();
                ++m_done;
            }
            m_progress.notify_all();
            m_wake.wait_for(locker, RetryDelay, [this] { return m_stopping; });
        }
        closeDatabase();
    }

    bool openDatabase(const std::filesystem::path& path)
    {
        if (m_db && path == m_openPath)
            return true;
        closeDatabase();
        if (path.empty())
            return false;
        // SQLite gives its journal the database file's permissions.
        if (!makePrivateFolders(path.parent_path()) || !preparePrivateFile(path))
            return false;
        if (sqlite3_open_v2(path.c_str(), &m_db,
                SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
            != SQLITE_OK) {
            closeDatabase();
            return false;
        }
        sqlite3_busy_timeout(m_db, BusyTimeoutMs);
        const char* schema
            = "CREATE TABLE IF NOT EXISTS trace ("
              "id INTEGER PRIMARY KEY AUTOINCREMENT, time TEXT NOT NULL, user TEXT, "
              "application TEXT, operation TEXT, page TEXT, product TEXT, version TEXT, kind TEXT)";
        if (sqlite3_exec(m_db, schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
            closeDatabase();
            return false;
        }
        m_openPath = path;
        return true;
    }

    void closeDatabase()
    {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        m_openPath.clear();
    }

    bool store(const std::filesystem::path& path, const std::vector<Record>& batch, int maxCount)
    {
        if (!openDatabase(path))
            return false;
        if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
        sqlite3_stmt* insert = nullptr;
        sqlite3_stmt* trim = nullptr;
        bool ok = sqlite3_prepare_v2(m_db,
                      "INSERT INTO trace (time, user, application, operation, page, product, version, kind) "
                      "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                      -1, &insert, nullptr)
                == SQLITE_OK
            && sqlite3_prepare_v2(m_db,
                   "DELETE FROM trace WHERE id <= (SELECT id FROM trace ORDER BY id DESC LIMIT 1 OFFSET ?)",
                   -1, &trim, nullptr)
                == SQLITE_OK;
        for (std::size_t i = 0; ok && i < batch.size(); ++i) {
            const Record& record = batch[i];
            sqlite3_reset(insert);
            sqlite3_bind_text(insert, 1, record.time.c_str(), int(record.time.size()), SQLITE_TRANSIENT);
            for (std::size_t field = 0; field < record.fields.size(); ++field) {
                const std::string text = toUtf8(record.fields[field]);
                sqlite3_bind_text(insert, int(field) + 2, text.c_str(), int(text.size()), SQLITE_TRANSIENT);
            }
            ok = sqlite3_step(insert) == SQLITE_DONE;
        }
        if (ok) {
            sqlite3_bind_int(trim, 1, maxCount);
            ok = sqlite3_step(trim) == SQLITE_DONE;
        }
        sqlite3_finalize(insert);
        sqlite3_finalize(trim);
        ok = ok && sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!ok)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return ok;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake; // the writer waits for records or the end
    std::condition_variable m_progress; // flushers wait for stored records
    std::deque<Record> m_queue;
    std::uint64_t m_queued = 0; // records ever queued
    std::uint64_t m_done = 0; // records stored or dropped
    bool m_stopping = false;
    std::filesystem::path m_path;
    int m_maxCount = DefaultMaxCount;

    // Used by the writer thread only.
    sqlite3* m_db = nullptr;
    std::filesystem::path m_openPath;

    std::thread m_writer; // last, so that it starts after every other member exists
};

std::u16string text(const char16_t* value)
{
    return value ? std::u16string(value) : std::u16string();
}

} // namespace

extern "C" {

int SetCacheFileName(const char16_t* fileName)
{
    return Store::instance().setFileName(toUtf8(text(fileName))) ? 1 : 0;
}

int SetCacheItemMaxCount(int count)
{
    return Store::instance().setMaxCount(count) ? 1 : 0;
}

int UploadUserTraceInfo(const char16_t* user, const char16_t* application, const char16_t* operation,
    const char16_t* page, const char16_t* product, const char16_t* version, const char16_t* kind)
{
    Record record;
    record.time = utcNow();
    record.fields = { text(user), text(application), text(operation), text(page), text(product),
        text(version), text(kind) };
    Store::instance().enqueue(std::move(record));
    return 1;
}

int WaitForUpLoadUserTraceLog(int timeoutMs)
{
    return Store::instance().waitUntilStored(timeoutMs) ? 1 : 0;
}
}
