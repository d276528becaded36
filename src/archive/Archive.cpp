// SPDX-License-Identifier: GPL-3.0-or-later
// The download archive on SQLite: one connection, guarded by a mutex, with its statements
// prepared once. Every statement binds its values; no text is pasted into SQL.
//
// A row is committed before Record returns. In WAL mode with synchronous=NORMAL a commit
// appends its pages to the write-ahead log with plain writes (the fsyncs come with
// checkpoints), so killing the process right after loses nothing. A commit still costs some
// twenty system calls (log frames and locks); when several workers record at once their rows
// share one transaction (group commit), which keeps the cost per row low under load.
#include "archive/Archive.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <exception>
#include <fstream>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

namespace albumora {
namespace {

// The schema's versions, kept in PRAGMA user_version. Step i upgrades version i to i + 1; a new
// version appends a step and never changes an earlier one.
constexpr std::array<const char*, 2> kUpgrades = {
    // 0 -> 1: runs, picture rows and album rows.
    "CREATE TABLE runs("
    "  id INTEGER PRIMARY KEY,"
    "  started INTEGER NOT NULL,"
    "  pid INTEGER NOT NULL);"
    "CREATE TABLE pictures("
    "  id INTEGER PRIMARY KEY,"
    "  run INTEGER NOT NULL,"
    "  site TEXT NOT NULL,"
    "  album TEXT NOT NULL,"
    "  url TEXT NOT NULL,"
    "  path TEXT NOT NULL,"
    "  bytes INTEGER NOT NULL,"
    "  sha256 TEXT NOT NULL,"
    "  outcome TEXT NOT NULL,"
    "  reason TEXT NOT NULL,"
    "  time INTEGER NOT NULL);"
    "CREATE INDEX pictures_by_picture ON pictures(site, album, url);"
    "CREATE INDEX pictures_by_path ON pictures(path);"
    "CREATE TABLE albums("
    "  id INTEGER PRIMARY KEY,"
    "  run INTEGER NOT NULL,"
    "  site TEXT NOT NULL,"
    "  album TEXT NOT NULL,"
    "  name TEXT NOT NULL,"
    "  folder TEXT NOT NULL,"
    "  outcome TEXT NOT NULL,"
    "  listed INTEGER NOT NULL,"
    "  written INTEGER NOT NULL,"
    "  already INTEGER NOT NULL,"
    "  failed INTEGER NOT NULL,"
    "  stopped INTEGER NOT NULL,"
    "  note TEXT NOT NULL,"
    "  time INTEGER NOT NULL);"
    "CREATE INDEX albums_by_album ON albums(site, album);",
    // 1 -> 2: columns that explain themselves. url is where the bytes came from beside
    // listed_url, the address the site listed (the key); reason is one of the documented
    // reasons and detail the engine's words; owner and album_name name the album; "already
    // there" rows are named so; two views show the times as ISO 8601.
    "ALTER TABLE pictures ADD COLUMN listed_url TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE pictures ADD COLUMN detail TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE pictures ADD COLUMN owner TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE pictures ADD COLUMN album_name TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE albums ADD COLUMN owner TEXT NOT NULL DEFAULT '';"
    "UPDATE pictures SET listed_url = url, detail = reason, reason = CASE"
    "  WHEN outcome = 'stopped' THEN 'stopped'"
    "  WHEN outcome <> 'failed' THEN ''"
    "  WHEN reason LIKE '%: HTTP %' THEN 'HTTP status'"
    "  WHEN reason LIKE '%: time-out%' THEN 'time-out'"
    "  WHEN reason LIKE '%: too slow%' THEN 'too slow'"
    "  WHEN reason LIKE '%: size limit%' THEN 'size limit'"
    "  WHEN reason LIKE '%: not a picture%' THEN 'not a picture'"
    "  WHEN reason LIKE '%cannot write%' THEN 'not written'"
    "  ELSE 'network' END;"
    "UPDATE pictures SET outcome = 'already' WHERE outcome = 'skipped';"
    "DROP INDEX pictures_by_picture;"
    "CREATE INDEX pictures_by_picture ON pictures(site, album, listed_url);"
    "CREATE VIEW downloads AS SELECT id, run,"
    "  strftime('%Y-%m-%dT%H:%M:%SZ', time, 'unixepoch') AS time, site, owner, album_name,"
    "  album, listed_url, url, path, outcome, reason, detail, bytes, sha256 FROM pictures;"
    "CREATE VIEW album_results AS SELECT id, run,"
    "  strftime('%Y-%m-%dT%H:%M:%SZ', time, 'unixepoch') AS time, site, owner, name, album,"
    "  folder, outcome, listed, written, already, failed, stopped, note FROM albums;",
};
constexpr int kSchemaVersion = static_cast<int>(kUpgrades.size());

// Outcomes are stored by name, so the file reads well in any SQLite tool and does not depend
// on the order of the enumerations.
constexpr std::array<std::pair<PictureOutcome, std::string_view>, 6> kPictureOutcomes = {{
    {PictureOutcome::Written, "written"},
    {PictureOutcome::Failed, "failed"},
    {PictureOutcome::Stopped, "stopped"},
    {PictureOutcome::Already, "already"},
    {PictureOutcome::Queued, "queued"},
    {PictureOutcome::Exported, "exported"},
}};
constexpr std::array<std::pair<AlbumOutcome, std::string_view>, 7> kAlbumOutcomes = {{
    {AlbumOutcome::Complete, "complete"},
    {AlbumOutcome::Partial, "partial"},
    {AlbumOutcome::ListFailed, "list-failed"},
    {AlbumOutcome::Refused, "refused"},
    {AlbumOutcome::NothingNew, "nothing-new"},
    {AlbumOutcome::Stopped, "stopped"},
    {AlbumOutcome::Empty, "empty"},
}};

template <typename Enum, size_t N>
std::string_view NameOf(const std::array<std::pair<Enum, std::string_view>, N>& names, Enum value) {
  for (const auto& [e, name] : names)
    if (e == value) return name;
  return names[0].second;
}

// A name this version does not know (none is written by it) reads as the given fallback.
template <typename Enum, size_t N>
Enum ValueOf(const std::array<std::pair<Enum, std::string_view>, N>& names, std::string_view name,
             Enum fallback) {
  for (const auto& [e, n] : names)
    if (n == name) return e;
  return fallback;
}

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

// One prepared statement. Use() hands it out reset and without bindings.
class Statement {
 public:
  Statement() = default;
  bool Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    stmt_.reset(raw);
    return rc == SQLITE_OK;
  }
  sqlite3_stmt* Use() {
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
    return stmt_.get();
  }

 private:
  struct Finalize {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
  };
  std::unique_ptr<sqlite3_stmt, Finalize> stmt_;
};

// Resets a statement when a call is done with it, so it holds no read lock in between.
class Done {
 public:
  explicit Done(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Done() { sqlite3_reset(stmt_); }
  Done(const Done&) = delete;
  Done& operator=(const Done&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

void BindText(sqlite3_stmt* stmt, int index, std::string_view text) {
  sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

std::string ColumnText(sqlite3_stmt* stmt, int index) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, index));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, index)))
              : std::string();
}

// The columns every picture query selects, in PictureFrom's order.
#define PICTURE_COLUMNS                                                                      \
  "site, album, url, path, bytes, sha256, outcome, reason, time, listed_url, detail, owner," \
  " album_name"

PictureRow PictureFrom(sqlite3_stmt* stmt) {
  PictureRow row;
  row.site = ColumnText(stmt, 0);
  row.album = ColumnText(stmt, 1);
  row.url = ColumnText(stmt, 2);
  row.path = ColumnText(stmt, 3);
  row.bytes = static_cast<uint64_t>(sqlite3_column_int64(stmt, 4));
  row.sha256 = ColumnText(stmt, 5);
  row.outcome = ValueOf(kPictureOutcomes, ColumnText(stmt, 6), PictureOutcome::Failed);
  row.reason = ColumnText(stmt, 7);
  row.time = sqlite3_column_int64(stmt, 8);
  row.listedUrl = ColumnText(stmt, 9);
  row.detail = ColumnText(stmt, 10);
  row.owner = ColumnText(stmt, 11);
  row.albumName = ColumnText(stmt, 12);
  return row;
}

// The columns AlbumFrom reads, in its order.
#define ALBUM_COLUMNS                                                                           \
  "site, album, name, folder, outcome, listed, written, already, failed, stopped, note, time, " \
  "owner"

AlbumRow AlbumFrom(sqlite3_stmt* stmt) {
  AlbumRow row;
  row.site = ColumnText(stmt, 0);
  row.album = ColumnText(stmt, 1);
  row.name = ColumnText(stmt, 2);
  row.folder = ColumnText(stmt, 3);
  row.outcome = ValueOf(kAlbumOutcomes, ColumnText(stmt, 4), AlbumOutcome::Partial);
  row.listed = static_cast<uint32_t>(sqlite3_column_int64(stmt, 5));
  row.written = static_cast<uint32_t>(sqlite3_column_int64(stmt, 6));
  row.already = static_cast<uint32_t>(sqlite3_column_int64(stmt, 7));
  row.failed = static_cast<uint32_t>(sqlite3_column_int64(stmt, 8));
  row.stopped = static_cast<uint32_t>(sqlite3_column_int64(stmt, 9));
  row.note = ColumnText(stmt, 10);
  row.time = sqlite3_column_int64(stmt, 11);
  row.owner = ColumnText(stmt, 12);
  return row;
}

// Why SQLite could not use the file, in the words of the error text.
std::string Reason(sqlite3* db, int rc) {
  const std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  switch (rc & 0xff) {
    case SQLITE_NOTADB:
      return "is not a database (" + detail + ")";
    case SQLITE_CORRUPT:
      return "is damaged (" + detail + ")";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "is locked by another program (" + detail + ")";
    case SQLITE_CANTOPEN:
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return "cannot be opened for writing (" + detail + ")";
    case SQLITE_FULL:
      return "cannot be written, the disk is full (" + detail + ")";
    default:
      return "cannot be used (" + detail + ")";
  }
}

class SqliteArchive final : public Archive {
 public:
  SqliteArchive(std::filesystem::path file, Database db)
      : file_(std::move(file)), db_(std::move(db)) {}

  // Brings the file to the current schema and prepares the statements; the reason on failure.
  std::optional<std::string> Init(std::chrono::milliseconds busyTimeout) {
    sqlite3* db = db_.get();
    sqlite3_busy_timeout(db, static_cast<int>(busyTimeout.count()));
    Statement mode;
    if (!mode.Prepare(db, "PRAGMA journal_mode=WAL")) return Reason(db, sqlite3_errcode(db));
    sqlite3_stmt* stmt = mode.Use();
    if (const int rc = sqlite3_step(stmt); rc != SQLITE_ROW) return Reason(db, rc);
    if (ColumnText(stmt, 0) != "wal")
      return "cannot be switched to write-ahead logging (journal mode " + ColumnText(stmt, 0) + ")";
    sqlite3_reset(stmt);
    if (const int rc = sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        rc != SQLITE_OK)
      return Reason(db, rc);
    if (auto failed = Upgrade()) return failed;
    if (auto failed = PrepareAll()) return failed;
    if (!StartRun()) return Reason(db, sqlite3_errcode(db));
    sqlite3_busy_timeout(db,
                         static_cast<int>(std::min(busyTimeout, kArchiveCallBusyTimeout).count()));
    return std::nullopt;
  }

  std::optional<PictureRow> FindWritten(const std::string& site, const std::string& album,
                                        const std::string& url) override {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = findWritten_.Use();
    Done done(stmt);
    BindText(stmt, 1, site);
    BindText(stmt, 2, album);
    BindText(stmt, 3, url);
    BindText(stmt, 4, NameOf(kPictureOutcomes, PictureOutcome::Written));
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return PictureFrom(stmt);
    if (rc != SQLITE_DONE) Note("could not look up a picture", rc);
    return std::nullopt;
  }

  std::optional<PictureRow> FindHandedOver(const std::string& site, const std::string& album,
                                           const std::string& url) override {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = findHanded_.Use();
    Done done(stmt);
    BindText(stmt, 1, site);
    BindText(stmt, 2, album);
    BindText(stmt, 3, url);
    BindText(stmt, 4, NameOf(kPictureOutcomes, PictureOutcome::Queued));
    BindText(stmt, 5, NameOf(kPictureOutcomes, PictureOutcome::Exported));
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return PictureFrom(stmt);
    if (rc != SQLITE_DONE) Note("could not look up a picture", rc);
    return std::nullopt;
  }

  bool PathHandedOver(const std::string& path) override {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = pathHanded_.Use();
    Done done(stmt);
    BindText(stmt, 1, path);
    BindText(stmt, 2, NameOf(kPictureOutcomes, PictureOutcome::Queued));
    BindText(stmt, 3, NameOf(kPictureOutcomes, PictureOutcome::Exported));
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Note("could not look up a file", rc);
    return rc == SQLITE_ROW;
  }

  int AdoptRelativePaths(const std::string& folder) override {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = relativePaths_.Use();
    Done done(stmt);
    std::vector<std::pair<std::string, std::string>> moves;
    std::error_code error;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      const std::string path = ColumnText(stmt, 0);
      if (path.empty()) continue;
      const std::filesystem::path resolved =
          std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
      if (error) continue;
      const std::string absolute = resolved.string();
      if (absolute.size() > folder.size() && absolute.compare(0, folder.size(), folder) == 0)
        moves.emplace_back(path, absolute);
    }
    if (rc != SQLITE_DONE) Note("could not read the stored paths", rc);
    int changed = 0;
    for (const auto& [from, to] : moves) {
      sqlite3_stmt* update = adoptPath_.Use();
      Done updated(update);
      BindText(update, 1, to);
      BindText(update, 2, from);
      if (const int step = sqlite3_step(update); step != SQLITE_DONE) {
        Note("could not upgrade a stored path", step);
        break;
      }
      changed += sqlite3_changes(db_.get());
    }
    return changed;
  }

  bool PathIsPicture(const std::string& path, const std::string& site, const std::string& album,
                     const std::string& url) override {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = pathOwner_.Use();
    Done done(stmt);
    BindText(stmt, 1, path);
    BindText(stmt, 2, NameOf(kPictureOutcomes, PictureOutcome::Written));
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
      return ColumnText(stmt, 0) == site && ColumnText(stmt, 1) == album &&
             ColumnText(stmt, 2) == url;
    if (rc != SQLITE_DONE) Note("could not look up a file", rc);
    return false;
  }

  // Group commit: the rows that arrive while a transaction is being written wait together and
  // go into the next one, which the first of them writes for all. Each call returns when the
  // transaction holding its row has been committed.
  bool Record(const PictureRow& row) override {
    std::unique_lock lock(queueMutex_);
    const std::shared_ptr<Batch> batch = open_;
    batch->rows.push_back(row);
    while (!batch->done) {
      if (writing_) {
        committed_.wait(lock);
        continue;
      }
      // No transaction is being written, so this call's row is still in the open batch. Let
      // the workers woken by the last commit add theirs before taking it.
      auto next = std::make_shared<Batch>();
      writing_ = true;
      lock.unlock();
      std::this_thread::yield();
      lock.lock();
      const std::shared_ptr<Batch> mine = std::exchange(open_, std::move(next));
      lock.unlock();
      bool ok = false;
      try {
        ok = Commit(mine->rows);
      } catch (const std::exception&) {  // out of memory: the batch counts as not recorded
      }
      lock.lock();
      mine->ok = ok;
      mine->done = true;
      writing_ = false;
      committed_.notify_all();
    }
    return batch->ok;
  }

  bool RecordAlbum(const AlbumRow& row) override {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = insertAlbum_.Use();
    Done done(stmt);
    sqlite3_bind_int64(stmt, 1, run_);
    BindText(stmt, 2, row.site);
    BindText(stmt, 3, row.album);
    BindText(stmt, 4, row.name);
    BindText(stmt, 5, row.folder);
    BindText(stmt, 6, NameOf(kAlbumOutcomes, row.outcome));
    sqlite3_bind_int64(stmt, 7, row.listed);
    sqlite3_bind_int64(stmt, 8, row.written);
    sqlite3_bind_int64(stmt, 9, row.already);
    sqlite3_bind_int64(stmt, 10, row.failed);
    sqlite3_bind_int64(stmt, 11, row.stopped);
    BindText(stmt, 12, row.note);
    sqlite3_bind_int64(stmt, 13, row.time != 0 ? row.time : Now());
    BindText(stmt, 14, row.owner);
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return true;
    Note("could not record an album", rc);
    return false;
  }

  std::vector<PictureRow> FailedOf(const std::string& site, const std::string& album) override {
    std::vector<PictureRow> failed = RunOf(site, album);
    std::erase_if(failed,
                  [](const PictureRow& row) { return row.outcome != PictureOutcome::Failed; });
    return failed;
  }

  std::vector<PictureRow> RunOf(const std::string& site, const std::string& album) override {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = runOf_.Use();
    Done done(stmt);
    BindText(stmt, 1, site);
    BindText(stmt, 2, album);
    std::vector<PictureRow> rows;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) rows.push_back(PictureFrom(stmt));
    if (rc != SQLITE_DONE) Note("could not read an album's pictures", rc);
    return rows;
  }

  std::optional<AlbumRow> NewestAlbum(const std::string& site, const std::string& album) override {
    std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = newestAlbum_.Use();
    Done done(stmt);
    BindText(stmt, 1, site);
    BindText(stmt, 2, album);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW) {
      if (rc != SQLITE_DONE) Note("could not look up an album", rc);
      return std::nullopt;
    }
    return AlbumFrom(stmt);
  }

  std::vector<AlbumRow> NewestRunAlbums() override {
    std::lock_guard lock(mutex_);
    Statement query;
    std::vector<AlbumRow> rows;
    if (!query.Prepare(db_.get(), "SELECT " ALBUM_COLUMNS " FROM albums"
                                  " WHERE run=(SELECT max(run) FROM albums) ORDER BY id")) {
      Note("could not read the newest run's albums", sqlite3_errcode(db_.get()));
      return rows;
    }
    sqlite3_stmt* stmt = query.Use();
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      rows.push_back(AlbumFrom(stmt));
    }
    if (rc != SQLITE_DONE) Note("could not read the newest run's albums", rc);
    return rows;
  }

  bool BeginRun() override {
    std::lock_guard lock(mutex_);
    if (StartRun()) return true;
    Note("could not start a run", sqlite3_errcode(db_.get()));
    return false;
  }

  std::string LastError() override {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  // Reads the schema version and upgrades an older one in one transaction. A file of a newer
  // version, or one that holds other tables and no version, is left alone.
  std::optional<std::string> Upgrade() {
    sqlite3* db = db_.get();
    std::optional<std::string> failed;
    int version = 0;
    int tables = 0;
    auto read = [&]() -> bool {
      Statement query;
      if (!query.Prepare(db,
                         "SELECT (SELECT user_version FROM pragma_user_version),"
                         " (SELECT count(*) FROM sqlite_schema)")) {
        failed = Reason(db, sqlite3_errcode(db));
        return false;
      }
      sqlite3_stmt* stmt = query.Use();
      if (const int rc = sqlite3_step(stmt); rc != SQLITE_ROW) {
        failed = Reason(db, rc);
        return false;
      }
      version = sqlite3_column_int(stmt, 0);
      tables = sqlite3_column_int(stmt, 1);
      if (version > kSchemaVersion) {
        failed = "was written by a newer Albumora (schema version " + std::to_string(version) +
                 ", this one knows up to " + std::to_string(kSchemaVersion) + ")";
        return false;
      }
      if (version == 0 && tables > 0) {
        failed = "is a database, but not a download archive (it holds other tables)";
        return false;
      }
      return true;
    };
    if (!read()) return failed;
    if (version == kSchemaVersion) return std::nullopt;

    // Another program may be upgrading the same file: take the write lock, then look again.
    if (const int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        rc != SQLITE_OK)
      return Reason(db, rc);
    auto rollback = [&](std::string why) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      return std::optional<std::string>(std::move(why));
    };
    if (!read()) return rollback(*failed);
    for (int step = version; step < kSchemaVersion; ++step) {
      if (const int rc =
              sqlite3_exec(db, kUpgrades[static_cast<size_t>(step)], nullptr, nullptr, nullptr);
          rc != SQLITE_OK)
        return rollback("could not be upgraded to schema version " + std::to_string(step + 1) +
                        ": " + Reason(db, rc));
    }
    // A pragma takes no parameters; the version is this program's own number.
    const std::string setVersion = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
    if (const int rc = sqlite3_exec(db, setVersion.c_str(), nullptr, nullptr, nullptr);
        rc != SQLITE_OK)
      return rollback(Reason(db, rc));
    if (const int rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); rc != SQLITE_OK)
      return rollback(Reason(db, rc));
    return std::nullopt;
  }

  std::optional<std::string> PrepareAll() {
    sqlite3* db = db_.get();
    const std::pair<Statement*, const char*> statements[] = {
        {&findWritten_, "SELECT " PICTURE_COLUMNS
                        " FROM pictures WHERE site=?1 AND album=?2 AND listed_url=?3 AND outcome=?4"
                        " ORDER BY id DESC LIMIT 1"},
        {&findHanded_,
         "SELECT " PICTURE_COLUMNS " FROM pictures WHERE site=?1 AND album=?2 AND listed_url=?3"
         " AND outcome IN (?4, ?5) ORDER BY id DESC LIMIT 1"},
        {&pathHanded_, "SELECT 1 FROM pictures WHERE path=?1 AND outcome IN (?2, ?3) LIMIT 1"},
        {&relativePaths_, "SELECT DISTINCT path FROM pictures WHERE path NOT LIKE '/%'"},
        {&adoptPath_, "UPDATE pictures SET path=?1 WHERE path=?2"},
        {&pathOwner_,
         "SELECT site, album, listed_url FROM pictures WHERE path=?1 AND outcome=?2"
         " ORDER BY id DESC LIMIT 1"},
        {&insertPicture_,
         "INSERT INTO pictures(run, site, album, url, path, bytes, sha256, outcome, reason, time,"
         " listed_url, detail, owner, album_name)"
         " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)"},
        {&insertAlbum_,
         "INSERT INTO albums(run, site, album, name, folder, outcome, listed, written, already,"
         " failed, stopped, note, time, owner) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10,"
         " ?11, ?12, ?13, ?14)"},
        // The newest row of each picture among the rows of the album's newest run.
        {&runOf_,
         "SELECT " PICTURE_COLUMNS " FROM pictures WHERE id IN (SELECT max(id) FROM pictures"
         "  WHERE site=?1 AND album=?2"
         "   AND run=(SELECT max(run) FROM pictures WHERE site=?1 AND album=?2)"
         "  GROUP BY listed_url)"
         " ORDER BY id"},
        {&newestAlbum_, "SELECT " ALBUM_COLUMNS
                        " FROM albums WHERE site=?1 AND album=?2 ORDER BY id DESC LIMIT 1"},
        {&insertRun_, "INSERT INTO runs(started, pid) VALUES(?1, ?2)"},
        {&begin_, "BEGIN IMMEDIATE"},
        {&commit_, "COMMIT"},
        {&rollback_, "ROLLBACK"},
    };
    for (const auto& [statement, sql] : statements)
      if (!statement->Prepare(db, sql)) return Reason(db, sqlite3_errcode(db));
    return std::nullopt;
  }

  struct Batch {
    std::vector<PictureRow> rows;
    bool done = false;
    bool ok = false;
  };

  // Writes the rows in one transaction: all or none.
  bool Commit(const std::vector<PictureRow>& rows) {
    std::lock_guard lock(mutex_);
    sqlite3* db = db_.get();
    const bool single = rows.size() == 1;
    if (!single) {
      if (const int rc = sqlite3_step(begin_.Use()); rc != SQLITE_DONE) {
        Note("could not record a picture", rc);
        return false;
      }
    }
    for (const PictureRow& row : rows) {
      sqlite3_stmt* stmt = insertPicture_.Use();
      Done done(stmt);
      sqlite3_bind_int64(stmt, 1, run_);
      BindText(stmt, 2, row.site);
      BindText(stmt, 3, row.album);
      BindText(stmt, 4, row.url);
      BindText(stmt, 5, row.path);
      sqlite3_bind_int64(stmt, 6, static_cast<sqlite3_int64>(row.bytes));
      BindText(stmt, 7, row.sha256);
      BindText(stmt, 8, NameOf(kPictureOutcomes, row.outcome));
      BindText(stmt, 9, row.reason);
      sqlite3_bind_int64(stmt, 10, row.time != 0 ? row.time : Now());
      BindText(stmt, 11, row.listedUrl.empty() ? row.url : row.listedUrl);
      BindText(stmt, 12, row.detail);
      BindText(stmt, 13, row.owner);
      BindText(stmt, 14, row.albumName);
      if (const int rc = sqlite3_step(stmt); rc != SQLITE_DONE) {
        Note("could not record a picture", rc);
        if (!single && sqlite3_get_autocommit(db) == 0) sqlite3_step(rollback_.Use());
        return false;
      }
    }
    if (single) return true;
    if (const int rc = sqlite3_step(commit_.Use()); rc != SQLITE_DONE) {
      Note("could not record a picture", rc);
      if (sqlite3_get_autocommit(db) == 0) sqlite3_step(rollback_.Use());
      return false;
    }
    return true;
  }

  bool StartRun() {
    sqlite3_stmt* stmt = insertRun_.Use();
    Done done(stmt);
    sqlite3_bind_int64(stmt, 1, Now());
    sqlite3_bind_int64(stmt, 2, static_cast<sqlite3_int64>(getpid()));
    if (sqlite3_step(stmt) != SQLITE_DONE) return false;
    run_ = sqlite3_last_insert_rowid(db_.get());
    return true;
  }

  // Keeps the first error for LastError.
  void Note(const char* what, int rc) {
    if (!error_.empty()) return;
    error_ = "the download archive " + file_.string() + ": " + what + ": " + sqlite3_errstr(rc);
    if (const std::string detail = sqlite3_errmsg(db_.get()); detail != sqlite3_errstr(rc))
      error_ += " (" + detail + ")";
  }

  const std::filesystem::path file_;
  // Guards the connection, its statements, error_ and run_.
  std::mutex mutex_;
  std::string error_;
  int64_t run_ = 0;
  Database db_;  // declared before the statements: they are finalized first
  Statement findWritten_, findHanded_, pathHanded_, relativePaths_, adoptPath_, pathOwner_,
      insertPicture_, insertAlbum_, runOf_, newestAlbum_, insertRun_, begin_, commit_, rollback_;
  // The group commit's state, guarded by queueMutex_ (taken before mutex_, never after).
  std::mutex queueMutex_;
  std::condition_variable committed_;
  std::shared_ptr<Batch> open_ = std::make_shared<Batch>();
  bool writing_ = false;
};

}  // namespace

namespace {

// Whether Init's reason tells of a file that is no usable database at all (random bytes, a
// damaged page): such a file is moved aside and a new archive started.
bool IsDamaged(const std::string& reason) {
  return reason.find("is not a database (") != std::string::npos ||
         reason.find("is damaged (") != std::string::npos;
}

// "20261209-235000", local time.
std::string StampNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// The process holding a lock on the database file or its shared-memory index, as "process
// 1234 (sqlite3)"; empty when none can be told (a lock of this process, or none left).
std::string LockHolder(const std::filesystem::path& file) {
  for (const std::string& name : {file.string(), file.string() + "-shm"}) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool asked = ::fcntl(fd, F_GETLK, &probe) == 0;
    ::close(fd);
    if (!asked || probe.l_type == F_UNLCK || probe.l_pid <= 0) continue;
    std::string holder = "process " + std::to_string(probe.l_pid);
    std::ifstream comm("/proc/" + std::to_string(probe.l_pid) + "/comm");
    std::string command;
    if (std::getline(comm, command) && !command.empty()) holder += " (" + command + ")";
    return holder;
  }
  return {};
}

std::unique_ptr<Archive> OpenOnce(const std::filesystem::path& file, std::string& reason,
                                  std::chrono::milliseconds busyTimeout) {
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(file.c_str(), &raw,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  Database db(raw);
  if (rc != SQLITE_OK) {
    reason = Reason(db.get(), rc);
    return nullptr;
  }
  sqlite3_extended_result_codes(db.get(), 1);
  auto archive = std::make_unique<SqliteArchive>(file, std::move(db));
  if (auto failed = archive->Init(busyTimeout)) {
    reason = *failed;
    return nullptr;
  }
  return archive;
}

}  // namespace

std::unique_ptr<Archive> Archive::Open(const std::filesystem::path& file, std::string& error,
                                       std::chrono::milliseconds busyTimeout) {
  error.clear();
  auto refuse = [&](const std::string& reason) {
    error =
        "the download archive " + file.string() + " " + reason + "; this run goes without resume";
    if (reason.find("is locked by another program") != std::string::npos) {
      const std::string holder = LockHolder(file);
      error += " (waited " + std::to_string(busyTimeout.count() / 1000) + " s): " +
               (holder.empty() ? std::string("close the program that holds it")
                               : "end " + holder + ", which holds it,") +
               " and run again, or move the file away to start a new archive";
    }
    return nullptr;
  };
  try {
    std::string reason;
    if (auto archive = OpenOnce(file, reason, busyTimeout)) return archive;
    if (!IsDamaged(reason)) return refuse(reason);
    // A damaged archive is kept for inspection under another name; resume starts afresh.
    const std::filesystem::path aside = file.string() + kArchiveDamagedSuffix + "-" + StampNow();
    std::error_code moveError;
    std::filesystem::rename(file, aside, moveError);
    if (moveError)
      return refuse(reason + ", and could not be moved aside (" + moveError.message() + ")");
    for (const char* tail : {"-wal", "-shm"}) {
      std::error_code ignored;
      if (std::string(tail) == "-wal") {
        std::filesystem::rename(file.string() + tail, aside.string() + tail, ignored);
      } else {
        std::filesystem::remove(file.string() + tail, ignored);
      }
    }
    std::string again;
    auto archive = OpenOnce(file, again, busyTimeout);
    if (!archive) return refuse(again);
    error = "the download archive " + file.string() + " " + reason + "; it was moved aside to " +
            aside.string() + " and a new archive started (pictures already on disk are found " +
            "again by their bytes)";
    return archive;
  } catch (const std::exception& e) {
    return refuse(std::string("cannot be used (") + e.what() + ")");
  }
}

std::string FileSha256(const std::filesystem::path& file) {
  struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  struct FreeContext {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<std::FILE, CloseFile> in(std::fopen(file.c_str(), "rb"));
  std::unique_ptr<EVP_MD_CTX, FreeContext> context(EVP_MD_CTX_new());
  if (!in || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
  std::array<unsigned char, 1 << 16> buffer;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0)
    if (EVP_DigestUpdate(context.get(), buffer.data(), got) != 1) return {};
  if (std::ferror(in.get())) return {};
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest;
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xf];
  }
  return hex;
}

}  // namespace albumora
