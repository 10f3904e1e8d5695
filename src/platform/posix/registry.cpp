// The registry on POSIX: a SQLite database with the registry's model.
//
// Table keys holds one row per key (the roots have fixed ids, their parent is 0), table vals one row per
// value. Names are kept as given and, for lookups, upper-cased ("fold"). Every change runs in one
// immediate transaction; the database is in write-ahead-log mode, so readers never wait for a writer and a
// killed process leaves only whole transactions behind. Waits for another process's write are bounded by
// the busy timeout.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/posix/config_dir.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace plat {
namespace {

constexpr int BUSY_TIMEOUT_MS = 10000;
constexpr size_t KEY_NAME_MAX = 255;        // characters of one key's name
constexpr size_t VALUE_NAME_MAX = 16383;    // characters of a value's name
constexpr int SCHEMA_VERSION = 1;

// The roots' rows; the classes root is the key Software\Classes of the local machine.
constexpr int64_t ROW_CURRENT_USER = 1, ROW_LOCAL_MACHINE = 2, ROW_USERS = 3, ROW_CURRENT_CONFIG = 4;
constexpr const char16_t* CLASSES_PATH = u"Software\\Classes";

constexpr uint32_t ERR_OUT_OF_MEMORY = 14;
constexpr uint32_t ERR_DISK_FULL = 112;
constexpr uint32_t ERR_BUSY = 170;
constexpr uint32_t ERR_REGISTRY_CORRUPT = 1015;
constexpr uint32_t ERR_REGISTRY_IO_FAILED = 1016;
// Not an error: the store does not exist yet, so it reads as empty.
constexpr uint32_t STORE_ABSENT = 0xFFFFFFFFu;

const char* const kSchema =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " fold TEXT NOT NULL, written INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX keys_by_name ON keys(parent, fold);"
    "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL,"
    " data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, fold);"
    "INSERT INTO keys VALUES (1, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER', :now),"
    " (2, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE', :now), (3, 0, 'HKEY_USERS', 'HKEY_USERS', :now),"
    " (4, 0, 'HKEY_CURRENT_CONFIG', 'HKEY_CURRENT_CONFIG', :now), (5, 2, 'Software', 'SOFTWARE', :now),"
    " (6, 5, 'Classes', 'CLASSES', :now);";

uint32_t error_of(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK: case SQLITE_DONE: case SQLITE_ROW: return 0;
    case SQLITE_BUSY: case SQLITE_LOCKED: return ERR_BUSY;
    case SQLITE_READONLY: case SQLITE_PERM: case SQLITE_CANTOPEN: case SQLITE_AUTH: return REGERR_ACCESS_DENIED;
    case SQLITE_FULL: return ERR_DISK_FULL;
    case SQLITE_NOMEM: return ERR_OUT_OF_MEMORY;
    case SQLITE_CORRUPT: case SQLITE_NOTADB: case SQLITE_SCHEMA: return ERR_REGISTRY_CORRUPT;
    default: return ERR_REGISTRY_IO_FAILED;
  }
}

int64_t now_ms() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string utf8_of(const std::u16string& s) {
  if (s.empty()) return std::string();
  const int n = wide_to_ansi(s.data(), int(s.size()), nullptr, 0, CP_UTF8_PAGE);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) wide_to_ansi(s.data(), int(s.size()), out.data(), n, CP_UTF8_PAGE);
  return out;
}

std::u16string wide_of(const char* s, int len) {
  if (!s || len <= 0) return std::u16string();
  const int n = ansi_to_wide(s, len, nullptr, 0, CP_UTF8_PAGE);
  std::u16string out(size_t(n > 0 ? n : 0), u'\0');
  if (n > 0) ansi_to_wide(s, len, out.data(), n, CP_UTF8_PAGE);
  return out;
}

// The form names are looked up by: upper case, in UTF-8.
std::string fold_of(std::u16string s) {
  upper_wide(s.data(), s.size());
  return utf8_of(s);
}

std::u16string wide_or_empty(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

// One prepared statement in use; reset when it goes out of scope.
class Query {
 public:
  Query(sqlite3_stmt* st) : st_(st) {}
  ~Query() {
    if (st_) {
      sqlite3_reset(st_);
      sqlite3_clear_bindings(st_);
    }
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& bind(int i, int64_t v) {
    if (st_) sqlite3_bind_int64(st_, i, v);
    return *this;
  }
  Query& bind(int i, const std::string& s) {
    if (st_) sqlite3_bind_text(st_, i, s.data(), int(s.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Query& bind_blob(int i, const void* data, size_t n) {
    // An empty blob, not NULL, for zero bytes.
    if (st_) sqlite3_bind_blob64(st_, i, n ? data : "", sqlite3_uint64(n), SQLITE_TRANSIENT);
    return *this;
  }
  int step() { return st_ ? sqlite3_step(st_) : SQLITE_MISUSE; }
  int64_t int64(int col) const { return sqlite3_column_int64(st_, col); }
  std::u16string text(int col) const {
    return wide_of(reinterpret_cast<const char*>(sqlite3_column_text(st_, col)), sqlite3_column_bytes(st_, col));
  }
  std::string blob(int col) const {
    const void* p = sqlite3_column_blob(st_, col);
    const int n = sqlite3_column_bytes(st_, col);
    return p && n > 0 ? std::string(static_cast<const char*>(p), size_t(n)) : std::string();
  }

 private:
  sqlite3_stmt* st_;
};

struct OpenKey {
  int64_t row;
  bool writable;
};

class Store {
 public:
  ~Store() {
    for (auto& [sql, st] : statements_) sqlite3_finalize(st);
    if (db_) sqlite3_close(db_);
  }

  std::mutex lock;

  // Opens the store when needed: 0 when it is open, STORE_ABSENT when it does not exist and create is
  // false, else an error number.
  uint32_t open(bool create) {
    if (db_) return 0;
    const char* given = std::getenv("TOV_REGISTRY");
    const std::string dir = given && *given ? std::string() : tov_config_dir();
    const std::string path = given && *given ? std::string(given) : dir.empty() ? dir : dir + "/registry.db";
    if (path.empty()) return create ? REGERR_NOT_FOUND : STORE_ABSENT;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      if (!create) return STORE_ABSENT;
      if (!make_parent_directories(path)) return REGERR_ACCESS_DENIED;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc == SQLITE_OK) {
      sqlite3_busy_timeout(db, BUSY_TIMEOUT_MS);
      sqlite3_extended_result_codes(db, 0);
      rc = prepare_schema(db);
    }
    if (rc != SQLITE_OK) {
      sqlite3_close(db);
      return error_of(rc);
    }
    db_ = db;
    return 0;
  }

  Query query(const char* sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return Query(it->second);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) return Query(nullptr);
    statements_.emplace(sql, st);
    return Query(st);
  }

  int exec(const char* sql) {
    Query q = query(sql);
    const int rc = q.step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
  }

  int64_t last_row() const { return sqlite3_last_insert_rowid(db_); }
  int64_t changes() const { return sqlite3_changes64(db_); }

  // Handles of opened keys.
  RegKey add_handle(int64_t row, bool writable) {
    while (next_ == 0 || next_ >= 0x80000000u || handles_.count(next_)) next_ = next_ >= 0x80000000u ? 1 : next_ + 1;
    handles_[next_] = OpenKey{row, writable};
    return next_++;
  }
  bool remove_handle(RegKey key) { return handles_.erase(key) != 0; }
  const OpenKey* handle(RegKey key) const {
    auto it = handles_.find(key);
    return it == handles_.end() ? nullptr : &it->second;
  }

 private:
  static int schema_version(sqlite3* db, int* version) {
    *version = -1;
    sqlite3_stmt* st = nullptr;
    const int rc = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) *version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return rc;
  }

  // Creates the tables and roots in a new store and turns on the write-ahead log. A store made before is
  // only read: opening it takes no lock for writing, which another process's change would hold up.
  static int prepare_schema(sqlite3* db) {
    int version;
    if (schema_version(db, &version) == SQLITE_OK && version == SCHEMA_VERSION) return use_log(db);
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
    rc = schema_version(db, &version);
    if (version == 0) {
      const std::string now = std::to_string(now_ms());
      std::string sql = kSchema;
      for (size_t at; (at = sql.find(":now")) != std::string::npos;) sql.replace(at, 4, now);
      sql += "PRAGMA user_version = " + std::to_string(SCHEMA_VERSION) + ";";
      rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    } else if (version != SCHEMA_VERSION) {
      rc = rc == SQLITE_OK ? SQLITE_NOTADB : rc;
    }
    if (rc != SQLITE_OK) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      return rc;
    }
    rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return rc != SQLITE_OK ? rc : use_log(db);
  }

  static int use_log(sqlite3* db) {
    // Another process may hold the store open in the middle of a change; the log is then turned on by a
    // later open, and the rollback journal keeps changes whole meanwhile.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    return sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  }

  sqlite3* db_ = nullptr;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
  std::unordered_map<RegKey, OpenKey> handles_;
  RegKey next_ = 0x100;
};

Store& store() {
  static Store s;
  return s;
}

// A transaction: immediate (holding the write lock from its start) for changes, deferred for reads, so
// that the steps of one call see one state of the store. Rolled back unless committed.
class Transaction {
 public:
  Transaction(Store& s, bool write) : s_(s) {
    rc_ = s.exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
    open_ = rc_ == SQLITE_OK;
  }
  ~Transaction() {
    if (open_) s_.exec("ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  uint32_t begun() const { return error_of(rc_); }
  uint32_t commit() {
    rc_ = s_.exec("COMMIT");
    if (rc_ == SQLITE_OK) open_ = false;
    return error_of(rc_);
  }

 private:
  Store& s_;
  int rc_;
  bool open_;
};

// The row of a key handle. The classes root is looked up (and with create made) by its path.
uint32_t row_of(Store& s, RegKey key, bool write, bool create, int64_t* row);

bool key_exists(Store& s, int64_t row) {
  Query q = s.query("SELECT 1 FROM keys WHERE id = ?");
  return q.bind(1, row).step() == SQLITE_ROW;
}

uint32_t touch(Store& s, int64_t row) {
  Query q = s.query("UPDATE keys SET written = ? WHERE id = ?");
  return error_of(q.bind(1, now_ms()).bind(2, row).step());
}

// Splits a subkey path into key names. A path may end with one "\"; it may not start with one or hold
// an empty name between two.
uint32_t split_path(const std::u16string& path, std::vector<std::u16string>* names) {
  names->clear();
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    if (end == start) return REGERR_BAD_PATHNAME;
    if (end - start > KEY_NAME_MAX) return REGERR_INVALID_PARAMETER;
    names->push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}

// Follows a subkey path from a key's row; with create, missing keys are made (inside the caller's
// immediate transaction).
uint32_t walk(Store& s, int64_t from, const std::u16string& path, bool create, int64_t* row) {
  std::vector<std::u16string> names;
  if (const uint32_t e = split_path(path, &names)) return e;
  if (from > ROW_CURRENT_CONFIG && !key_exists(s, from)) return REGERR_KEY_DELETED;
  int64_t at = from;
  for (const std::u16string& name : names) {
    const std::string fold = fold_of(name);
    Query find = s.query("SELECT id FROM keys WHERE parent = ? AND fold = ?");
    const int rc = find.bind(1, at).bind(2, fold).step();
    if (rc == SQLITE_ROW) {
      at = find.int64(0);
      continue;
    }
    if (rc != SQLITE_DONE) return error_of(rc);
    if (!create) return REGERR_NOT_FOUND;
    Query add = s.query("INSERT INTO keys(parent, name, fold, written) VALUES (?, ?, ?, ?)");
    const int added = add.bind(1, at).bind(2, utf8_of(name)).bind(3, fold).bind(4, now_ms()).step();
    if (added != SQLITE_DONE) return error_of(added);
    if (const uint32_t e = touch(s, at)) return e;
    at = s.last_row();
  }
  *row = at;
  return 0;
}

uint32_t row_of(Store& s, RegKey key, bool write, bool create, int64_t* row) {
  switch (key) {
    case REGROOT_CURRENT_USER: *row = ROW_CURRENT_USER; return 0;
    case REGROOT_LOCAL_MACHINE: *row = ROW_LOCAL_MACHINE; return 0;
    case REGROOT_USERS: *row = ROW_USERS; return 0;
    case REGROOT_CURRENT_CONFIG: *row = ROW_CURRENT_CONFIG; return 0;
    case REGROOT_CLASSES: return walk(s, ROW_LOCAL_MACHINE, CLASSES_PATH, create, row);
    default: break;
  }
  const OpenKey* open = s.handle(key);
  if (!open) return REGERR_INVALID_HANDLE;
  if (write && !open->writable) return REGERR_ACCESS_DENIED;
  *row = open->row;
  return 0;
}

bool is_root(RegKey key) { return key >= REGROOT_CLASSES && key <= REGROOT_CURRENT_CONFIG; }

uint32_t open_or_create(RegKey parent, const char16_t* subkey, bool writable, bool create, RegKey* out) {
  *out = 0;
  Store& s = store();
  std::lock_guard<std::mutex> guard(s.lock);
  const std::u16string path = wide_or_empty(subkey);
  if (!is_root(parent) && !s.handle(parent)) return REGERR_INVALID_HANDLE;
  uint32_t e = s.open(false);
  if (e == STORE_ABSENT) {
    // Nothing exists below the roots yet; only a root itself opens.
    if (create) {
      e = s.open(true);
    } else {
      std::vector<std::u16string> names;
      if ((e = split_path(path, &names))) return e;
      if (!names.empty() || parent == REGROOT_CLASSES || !is_root(parent)) return REGERR_NOT_FOUND;
      int64_t row = 0;
      row_of(s, parent, false, false, &row);
      *out = s.add_handle(row, writable);
      return 0;
    }
  }
  if (e) return e;
  int64_t row = 0;
  {
    // Most opens find the key: a read transaction does, without waiting for writers.
    Transaction read(s, false);
    if ((e = read.begun())) return e;
    e = row_of(s, parent, create, false, &row);
    if (!e) e = walk(s, row, path, false, &row);
    if (e != REGERR_NOT_FOUND || !create) {
      if (!e) *out = s.add_handle(row, writable);
      return e;
    }
  }
  Transaction write(s, true);
  if ((e = write.begun())) return e;
  e = row_of(s, parent, true, true, &row);
  if (!e) e = walk(s, row, path, true, &row);
  if (!e) e = write.commit();
  if (!e) *out = s.add_handle(row, true);
  return e;
}

// Runs a read of one key: resolves the handle in a read transaction and calls fn(store, row). A store that
// does not exist yet has no values and no subkeys: absent() gives the result then.
template <typename Fn, typename Absent>
uint32_t read_key(RegKey key, Fn fn, Absent absent) {
  Store& s = store();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!is_root(key) && !s.handle(key)) return REGERR_INVALID_HANDLE;
  uint32_t e = s.open(false);
  if (e == STORE_ABSENT) return absent();
  if (e) return e;
  Transaction read(s, false);
  if ((e = read.begun())) return e;
  int64_t row = 0;
  if ((e = row_of(s, key, false, false, &row))) return e;
  if (!key_exists(s, row)) return REGERR_KEY_DELETED;
  return fn(s, row);
}

// Runs a change of one key in an immediate transaction and commits it. Changing the key's values needs a
// handle opened for writing; deleting below it does not (as on Windows, where deleting a subkey needs no
// right on its parent).
template <typename Fn>
uint32_t change_key(RegKey key, bool needs_write, Fn fn) {
  Store& s = store();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!is_root(key) && !s.handle(key)) return REGERR_INVALID_HANDLE;
  uint32_t e = s.open(true);
  if (e) return e;
  Transaction write(s, true);
  if ((e = write.begun())) return e;
  int64_t row = 0;
  if ((e = row_of(s, key, needs_write, true, &row))) return e;
  if (!key_exists(s, row)) return REGERR_KEY_DELETED;
  if ((e = fn(s, row))) return e;
  return write.commit();
}

uint32_t names_of(Query& q, std::vector<std::u16string>* names) {
  int rc;
  while ((rc = q.step()) == SQLITE_ROW) names->push_back(q.text(0));
  return rc == SQLITE_DONE ? 0 : error_of(rc);
}

bool is_local_computer(std::u16string name) {
  if (name.size() >= 2 && name[0] == u'\\' && name[1] == u'\\') name.erase(0, 2);
  if (name.empty() || name == u".") return true;
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  const std::u16string own = wide_of(host, int(std::char_traits<char>::length(host)));
  return compare_wide(name.c_str(), u"localhost", true) == 0 || compare_wide(name.c_str(), own.c_str(), true) == 0;
}

}  // namespace

uint32_t reg_open_key(RegKey parent, const char16_t* subkey, RegAccess access, RegView, RegKey* out) {
  return open_or_create(parent, subkey, access == RegAccess::ReadWrite, false, out);
}

uint32_t reg_create_key(RegKey parent, const char16_t* subkey, RegView, RegKey* out) {
  return open_or_create(parent, subkey, true, true, out);
}

uint32_t reg_close_key(RegKey key) {
  if (is_root(key)) return 0;
  Store& s = store();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.remove_handle(key) ? 0 : REGERR_INVALID_HANDLE;
}

uint32_t reg_delete_key(RegKey parent, const char16_t* subkey, RegView) {
  const std::u16string path = wide_or_empty(subkey);
  if (path.empty() && is_root(parent)) return REGERR_ACCESS_DENIED;
  {
    // A store that does not exist yet has nothing to delete.
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!is_root(parent) && !s.handle(parent)) return REGERR_INVALID_HANDLE;
    if (s.open(false) == STORE_ABSENT) return REGERR_NOT_FOUND;
  }
  return change_key(parent, false, [&](Store& s, int64_t row) -> uint32_t {
    int64_t target = 0;
    if (const uint32_t e = walk(s, row, path, false, &target)) return e;
    if (target <= ROW_CURRENT_CONFIG) return REGERR_ACCESS_DENIED;
    Query up = s.query("SELECT parent FROM keys WHERE id = ?");
    if (up.bind(1, target).step() != SQLITE_ROW) return REGERR_KEY_DELETED;
    const int64_t above = up.int64(0);
    Query vals = s.query(
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL SELECT k.id FROM keys k JOIN tree ON k.parent = tree.id)"
        " DELETE FROM vals WHERE key IN tree");
    int rc = vals.bind(1, target).step();
    if (rc != SQLITE_DONE) return error_of(rc);
    Query keys = s.query(
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL SELECT k.id FROM keys k JOIN tree ON k.parent = tree.id)"
        " DELETE FROM keys WHERE id IN tree");
    rc = keys.bind(1, target).step();
    if (rc != SQLITE_DONE) return error_of(rc);
    return touch(s, above);
  });
}

uint32_t reg_query_value(RegKey key, const char16_t* name, uint32_t* type, std::string* data) {
  data->clear();
  *type = REGT_NONE;
  const std::string fold = fold_of(wide_or_empty(name));
  return read_key(
      key,
      [&](Store& s, int64_t row) -> uint32_t {
        Query q = s.query("SELECT type, data FROM vals WHERE key = ? AND fold = ?");
        const int rc = q.bind(1, row).bind(2, fold).step();
        if (rc == SQLITE_DONE) return REGERR_NOT_FOUND;
        if (rc != SQLITE_ROW) return error_of(rc);
        *type = uint32_t(q.int64(0));
        *data = q.blob(1);
        return 0;
      },
      [] { return REGERR_NOT_FOUND; });
}

uint32_t reg_set_value(RegKey key, const char16_t* name, uint32_t type, const void* data, size_t size) {
  const std::u16string value_name = wide_or_empty(name);
  if (value_name.size() > VALUE_NAME_MAX) return REGERR_INVALID_PARAMETER;
  const std::string given = utf8_of(value_name), fold = fold_of(value_name);
  return change_key(key, true, [&](Store& s, int64_t row) -> uint32_t {
    Query q = s.query(
        "INSERT INTO vals(key, name, fold, type, data) VALUES (?1, ?2, ?3, ?4, ?5)"
        " ON CONFLICT(key, fold) DO UPDATE SET type = ?4, data = ?5");
    const int rc = q.bind(1, row).bind(2, given).bind(3, fold).bind(4, int64_t(type)).bind_blob(5, data, size).step();
    if (rc != SQLITE_DONE) return error_of(rc);
    return touch(s, row);
  });
}

uint32_t reg_delete_value(RegKey key, const char16_t* name) {
  const std::string fold = fold_of(wide_or_empty(name));
  {
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!is_root(key) && !s.handle(key)) return REGERR_INVALID_HANDLE;
    if (s.open(false) == STORE_ABSENT) return REGERR_NOT_FOUND;
  }
  return change_key(key, true, [&](Store& s, int64_t row) -> uint32_t {
    Query q = s.query("DELETE FROM vals WHERE key = ? AND fold = ?");
    const int rc = q.bind(1, row).bind(2, fold).step();
    if (rc != SQLITE_DONE) return error_of(rc);
    if (s.changes() == 0) return REGERR_NOT_FOUND;
    return touch(s, row);
  });
}

uint32_t reg_subkey_names(RegKey key, std::vector<std::u16string>* names) {
  names->clear();
  return read_key(
      key,
      [&](Store& s, int64_t row) -> uint32_t {
        Query q = s.query("SELECT name FROM keys WHERE parent = ? ORDER BY fold");
        q.bind(1, row);
        return names_of(q, names);
      },
      [] { return 0u; });
}

uint32_t reg_value_names(RegKey key, std::vector<std::u16string>* names) {
  names->clear();
  return read_key(
      key,
      [&](Store& s, int64_t row) -> uint32_t {
        Query q = s.query("SELECT name FROM vals WHERE key = ? ORDER BY fold");
        q.bind(1, row);
        return names_of(q, names);
      },
      [] { return 0u; });
}

uint32_t reg_last_write_time(RegKey key, LocalTime* when) {
  int64_t ms = 0;
  const uint32_t e = read_key(
      key,
      [&](Store& s, int64_t row) -> uint32_t {
        Query q = s.query("SELECT written FROM keys WHERE id = ?");
        const int rc = q.bind(1, row).step();
        if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? REGERR_KEY_DELETED : error_of(rc);
        ms = q.int64(0);
        return 0;
      },
      [] { return REGERR_NOT_FOUND; });
  if (e) return e;
  const time_t seconds = time_t(ms / 1000);
  tm local{};
  localtime_r(&seconds, &local);
  *when = LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                    local.tm_sec, int(ms % 1000), local.tm_wday};
  return 0;
}

uint32_t reg_connect(const char16_t* computer, RegKey root, RegKey* out) {
  *out = 0;
  if (!is_root(root)) return REGERR_INVALID_HANDLE;
  if (!is_local_computer(wide_or_empty(computer))) return REGERR_BAD_NETPATH;
  // This computer's registry: a handle of the root itself.
  return open_or_create(root, u"", true, false, out);
}

uint32_t reg_load_hive(RegKey, const char16_t*, const char16_t*, bool* privilege_failed) {
  *privilege_failed = false;
  return REGERR_NOT_SUPPORTED;
}

uint32_t reg_unload_hive(RegKey, const char16_t*, bool* privilege_failed) {
  *privilege_failed = false;
  return REGERR_NOT_SUPPORTED;
}

}  // namespace plat
