// Storage of the registry in <machine>/registry.db. Keys form a tree of rows (ids grow with
// creation and are never reused, so the id order is the creation order and a handle's id never
// names a later key); values belong to a key. The database runs in WAL mode with a busy timeout,
// and every change is one transaction, so processes and threads writing at once lose nothing.
#include "registry_store.h"

#include "machine.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

namespace w95 {
namespace {

// How long a writer waits for another process's write transaction before giving up.
constexpr int kBusyTimeoutMs = 30000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER REFERENCES keys(id),
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS key_values(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    key_id INTEGER NOT NULL REFERENCES keys(id),
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key_id, folded));
CREATE TABLE IF NOT EXISTS faults(
    path TEXT NOT NULL,
    fault INTEGER NOT NULL,
    PRIMARY KEY(path, fault));
INSERT OR IGNORE INTO keys(id, parent, name, folded)
    VALUES(1, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE');
)sql";

// The keys a fresh Windows 95 has that the programs rely on.
constexpr const char* kStandardKeys[] = {
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices",
};

class Database {
  public:
    explicit Database(const std::filesystem::path& file) : file_(file) {
        if (sqlite3_open_v2(file.c_str(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            std::string message = Error("cannot open");
            sqlite3_close(db_);
            throw RegistryError(message);
        }
        try {
            sqlite3_busy_timeout(db_, kBusyTimeoutMs);
            // WAL commits need no sync of their own; a crash of the host may lose the last
            // commits but never corrupts the database.
            Exec("PRAGMA synchronous=NORMAL");
            EnsureWal();
            Exec("BEGIN IMMEDIATE");
            Exec(kSchema);
            Exec("COMMIT");
        } catch (...) {
            sqlite3_close(db_);
            throw;
        }
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // A connection inherited through fork() must not be used nor closed by the child.
    void Abandon() { db_ = nullptr; }

    sqlite3* get() const { return db_; }

    void Exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw RegistryError(Error(sql));
        }
    }

    std::string Error(const std::string& what) const {
        return "registry " + file_.string() + ": " + what + ": " +
               (db_ ? sqlite3_errmsg(db_) : "out of memory");
    }

  private:
    void EnsureWal() {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode=WAL", -1, &stmt, nullptr) != SQLITE_OK) {
            throw RegistryError(Error("journal mode"));
        }
        int rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_ROW)
            throw RegistryError(Error("journal mode"));
    }

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
};

class Statement {
  public:
    Statement(const Database& db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db.get(), sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            throw RegistryError(db.Error("prepare"));
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, int64_t value) {
        Check(sqlite3_bind_int64(stmt_, index, value));
        return *this;
    }
    Statement& Bind(int index, const std::string& text) {
        Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    Statement& BindBlob(int index, const std::string& bytes) {
        // A non-null pointer keeps an empty value a zero-length blob rather than NULL.
        Check(sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }

    // True while there is a row to read.
    bool Step() {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw RegistryError(db_.Error("step"));
    }
    void Run() {
        while (Step()) {
        }
    }

    int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string Bytes(int column) const {
        const void* data = sqlite3_column_blob(stmt_, column);
        int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::string(static_cast<const char*>(data), size) : std::string();
    }

  private:
    void Check(int rc) {
        if (rc != SQLITE_OK)
            throw RegistryError(db_.Error("bind"));
    }

    const Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// The process's one connection to the registry of the machine it uses.
struct ProcessConnection {
    std::mutex mutex;
    std::unique_ptr<Database> db;
    uint64_t generation = 0;
    pid_t pid = 0;
};

ProcessConnection& TheConnection() {
    static auto* connection = new ProcessConnection;  // never destroyed: threads may run at exit
    return *connection;
}

// Call with the connection's mutex held.
Database& CurrentDatabase(ProcessConnection& connection) {
    uint64_t generation = MachineGeneration();
    pid_t pid = getpid();
    if (connection.db && connection.pid != pid) {
        connection.db->Abandon();
        connection.db.reset();
    }
    if (!connection.db || connection.generation != generation) {
        connection.db.reset();
        connection.db = std::make_unique<Database>(MachinePath("registry.db"));
        connection.generation = generation;
        connection.pid = pid;
    }
    return *connection.db;
}

std::string NormalizedFoldedPath(const std::string& path) {
    std::string result;
    for (const auto& part : SplitKeyPath(path)) {
        if (!result.empty())
            result += '\\';
        result += FoldName(part);
    }
    return result;
}

KeyId FindChild(const Database& db, KeyId parent, const std::string& name) {
    Statement find(db, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
    find.Bind(1, parent).Bind(2, FoldName(name));
    return find.Step() ? find.Int(0) : 0;
}

KeyId CreatePath(const Database& db, KeyId base, const std::string& path, bool* created) {
    KeyId key = base;
    bool made = false;
    for (const auto& part : SplitKeyPath(path)) {
        KeyId child = FindChild(db, key, part);
        if (child == 0) {
            Statement insert(db, "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)");
            insert.Bind(1, key).Bind(2, part).Bind(3, FoldName(part)).Run();
            child = sqlite3_last_insert_rowid(db.get());
            made = true;
        }
        key = child;
    }
    if (created)
        *created = made;
    return key;
}

}  // namespace

std::vector<std::string> SplitKeyPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string FoldName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return folded;
}

struct RegistryTransaction::Impl {
    std::unique_lock<std::mutex> lock;
    Database* db = nullptr;
    bool open = false;
};

RegistryTransaction::RegistryTransaction(Mode mode) : impl_(std::make_unique<Impl>()) {
    auto& connection = TheConnection();
    impl_->lock = std::unique_lock(connection.mutex);
    impl_->db = &CurrentDatabase(connection);
    impl_->db->Exec(mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN");
    impl_->open = true;
}

RegistryTransaction::~RegistryTransaction() {
    if (impl_->open) {
        sqlite3_exec(impl_->db->get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void RegistryTransaction::Commit() {
    impl_->db->Exec("COMMIT");
    impl_->open = false;
}

bool RegistryTransaction::KeyExists(KeyId key) {
    Statement find(*impl_->db, "SELECT 1 FROM keys WHERE id = ?1");
    return find.Bind(1, key).Step();
}

std::optional<KeyId> RegistryTransaction::FindKey(KeyId base, const std::string& path) {
    if (!KeyExists(base))
        return std::nullopt;
    KeyId key = base;
    for (const auto& part : SplitKeyPath(path)) {
        key = FindChild(*impl_->db, key, part);
        if (key == 0)
            return std::nullopt;
    }
    return key;
}

KeyId RegistryTransaction::CreateKey(KeyId base, const std::string& path, bool* created) {
    return CreatePath(*impl_->db, base, path, created);
}

std::string RegistryTransaction::KeyPath(KeyId key) {
    std::vector<std::string> names;
    while (key != kRootKeyId) {
        Statement find(*impl_->db, "SELECT parent, name FROM keys WHERE id = ?1");
        if (!find.Bind(1, key).Step())
            break;
        names.push_back(find.Bytes(1));
        key = find.Int(0);
    }
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!path.empty())
            path += '\\';
        path += *it;
    }
    return path;
}

std::vector<RegistryKey> RegistryTransaction::Subkeys(KeyId key) {
    Statement list(*impl_->db, "SELECT id, name FROM keys WHERE parent = ?1 ORDER BY id");
    list.Bind(1, key);
    std::vector<RegistryKey> keys;
    while (list.Step())
        keys.push_back({list.Int(0), list.Bytes(1)});
    return keys;
}

void RegistryTransaction::DeleteKey(KeyId key) {
    if (key == kRootKeyId)
        throw RegistryError("HKEY_LOCAL_MACHINE cannot be deleted");
    constexpr const char* kTree =
        "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
    Statement values(*impl_->db, (std::string(kTree) +
                                  "DELETE FROM key_values WHERE key_id IN (SELECT id FROM tree)")
                                     .c_str());
    values.Bind(1, key).Run();
    Statement keys(
        *impl_->db,
        (std::string(kTree) + "DELETE FROM keys WHERE id IN (SELECT id FROM tree)").c_str());
    keys.Bind(1, key).Run();
}

std::optional<RegistryValue> RegistryTransaction::GetValue(KeyId key, const std::string& name) {
    Statement find(*impl_->db,
                   "SELECT name, type, data FROM key_values WHERE key_id = ?1 AND folded = ?2");
    find.Bind(1, key).Bind(2, FoldName(name));
    if (!find.Step())
        return std::nullopt;
    return RegistryValue{find.Bytes(0), static_cast<DWORD>(find.Int(1)), find.Bytes(2)};
}

std::vector<RegistryValue> RegistryTransaction::Values(KeyId key) {
    Statement list(*impl_->db,
                   "SELECT name, type, data FROM key_values WHERE key_id = ?1 ORDER BY id");
    list.Bind(1, key);
    std::vector<RegistryValue> values;
    while (list.Step()) {
        values.push_back({list.Bytes(0), static_cast<DWORD>(list.Int(1)), list.Bytes(2)});
    }
    return values;
}

void RegistryTransaction::SetValue(KeyId key, const std::string& name, DWORD type,
                                   const std::string& data) {
    Statement upsert(*impl_->db,
                     "INSERT INTO key_values(key_id, name, folded, type, data) "
                     "VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(key_id, folded) "
                     "DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.Bind(1, key).Bind(2, name).Bind(3, FoldName(name)).Bind(4, int64_t{type});
    upsert.BindBlob(5, data).Run();
}

bool RegistryTransaction::DeleteValue(KeyId key, const std::string& name) {
    Statement erase(*impl_->db, "DELETE FROM key_values WHERE key_id = ?1 AND folded = ?2");
    erase.Bind(1, key).Bind(2, FoldName(name)).Run();
    return sqlite3_changes(impl_->db->get()) > 0;
}

bool RegistryTransaction::FaultApplies(const std::string& path, RegistryFault fault, bool subtree) {
    std::string target = NormalizedFoldedPath(path);
    Statement list(*impl_->db, "SELECT path FROM faults WHERE fault = ?1");
    list.Bind(1, static_cast<int64_t>(fault));
    while (list.Step()) {
        std::string marked = list.Bytes(0);
        if (marked == target)
            return true;
        if (subtree && (marked.empty() || (target.size() > marked.size() &&
                                           target.compare(0, marked.size(), marked) == 0 &&
                                           target[marked.size()] == '\\'))) {
            return true;
        }
    }
    return false;
}

void RegistryTransaction::SetFault(const std::string& path, RegistryFault fault, bool on) {
    Statement change(*impl_->db, on ? "INSERT OR IGNORE INTO faults(path, fault) VALUES(?1, ?2)"
                                    : "DELETE FROM faults WHERE path = ?1 AND fault = ?2");
    change.Bind(1, NormalizedFoldedPath(path)).Bind(2, static_cast<int64_t>(fault)).Run();
}

void RegistryTransaction::ClearFaults() {
    impl_->db->Exec("DELETE FROM faults");
}

void SetRegistryFault(const std::string& key_path, RegistryFault fault, bool on) {
    RegistryTransaction transaction(RegistryTransaction::Mode::Write);
    transaction.SetFault(key_path, fault, on);
    transaction.Commit();
}

void ClearRegistryFaults() {
    RegistryTransaction transaction(RegistryTransaction::Mode::Write);
    transaction.ClearFaults();
    transaction.Commit();
}

void InitRegistry(const std::filesystem::path& machine_dir) {
    Database db(machine_dir / "registry.db");
    db.Exec("BEGIN IMMEDIATE");
    for (const char* path : kStandardKeys)
        CreatePath(db, kRootKeyId, path, nullptr);
    db.Exec("COMMIT");
}

}  // namespace w95
