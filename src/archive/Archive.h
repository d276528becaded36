// SPDX-License-Identifier: GPL-3.0-or-later
// The download archive: one SQLite database in the program folder with a row for every picture
// of every job (where it came from, where it landed, its bytes and SHA-256, and how it ended)
// and a row for every album's outcome. A rerun reads it to fetch only what is missing.
//
// Every call is safe from any thread. A damaged, locked or unwritable archive never stops a
// job: a damaged one is moved aside and a new one started; a locked or unwritable one is
// reported by Open and the job runs without it; a write that fails later is reported once
// through LastError and the job goes on.
//
// Paths are absolute and normalised (the save folder made absolute, symlinks resolved, by the
// job). Times are seconds since 1970-01-01 UTC in the tables; the views `downloads` and
// `album_results` show them as ISO 8601 (UTC) beside the rest of the rows.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace albumora {

constexpr const char* kArchiveFileName = "archive.db";
// How long Open waits for another program (another Albumora) that holds the archive locked.
constexpr std::chrono::milliseconds kArchiveBusyTimeout{30000};
// How long a later call waits for it (a picture's row must not hold up its worker for long).
constexpr std::chrono::milliseconds kArchiveCallBusyTimeout{5000};
// A damaged archive is renamed to its name plus this and the time ("-20261209-235000").
constexpr const char* kArchiveDamagedSuffix = ".damaged";

enum class PictureOutcome : uint8_t {
  Written,   // the file landed
  Failed,    // not written; reason says why
  Stopped,   // a stop came first (in flight or not started)
  Already,   // already there from an earlier run: not fetched again (the run that found it)
  Queued,    // handed to an aria2 daemon (--aria2-rpc): the daemon fetches it
  Exported,  // written to a download manager's list (--export): that program fetches it
};

struct PictureRow {
  std::string site;   // the family key ("qzone")
  std::string album;  // the album's address as the album list holds it
  // Where the bytes came from (the primary address or its fallback); for a picture not
  // written, the last address tried.
  std::string url;
  std::string path;    // the target file, absolute and normalised
  uint64_t bytes = 0;  // bytes on disk
  std::string sha256;  // hex, lower case; empty unless written
  PictureOutcome outcome = PictureOutcome::Written;
  // For Failed and Stopped: one of the documented reasons ("network", "time-out", "HTTP
  // status", "size limit", "not a picture", "not written", "too slow", "refused by the site",
  // "disk full", "stopped"); detail holds the engine's own words.
  std::string reason;
  int64_t time = 0;       // seconds since the epoch; 0 when recorded: the time of recording
  std::string listedUrl;  // the address line's primary address as the site listed it; empty:
                          // url (a picture is looked up by it)
  std::string detail;     // "pics.example.com: HTTP 404 Not Found"
  std::string owner;      // the account the album belongs to (the owner folder's text)
  std::string albumName;  // the album's name as the site shows it
};

enum class AlbumOutcome : uint8_t {
  Complete,    // every listed picture written or already there
  Partial,     // some pictures failed
  ListFailed,  // a picture-list page failed
  Refused,     // a question answered No, a login or password needed
  NothingNew,  // the skip rule met the earlier download at once
  Stopped,     // the user stopped the job during this album
  Empty,       // the site lists nothing
};

struct AlbumRow {
  std::string site;
  std::string album;  // address
  std::string name;
  std::string folder;
  AlbumOutcome outcome = AlbumOutcome::Complete;
  uint32_t listed = 0;
  uint32_t written = 0;
  uint32_t already = 0;  // skipped as already there
  uint32_t failed = 0;
  uint32_t stopped = 0;
  std::string note;  // e.g. "the site counts 40, 38 listed"
  int64_t time = 0;  // as PictureRow::time
  std::string owner;
};

// Every row is kept (the history); a lookup takes the newest. Each Open starts a run (as does
// BeginRun): the rows recorded through it belong to that run.
class Archive {
 public:
  // Opens (or creates) the archive at file, in WAL mode, upgrading an older schema. A file that
  // is not a database or is damaged is moved aside (file + ".damaged-YYYYMMDD-HHMMSS") and a
  // new archive started: the archive is returned and error holds the warning that says so.
  // Null with error set ("the download archive /x/archive.db is locked by another program
  // (...); this run goes without resume: ...") when it cannot be used: written by a newer
  // Albumora, another program's database, locked by another program beyond busyTimeout (the
  // warning names the process holding it when it can tell), or its folder cannot be written.
  static std::unique_ptr<Archive> Open(const std::filesystem::path& file, std::string& error,
                                       std::chrono::milliseconds busyTimeout = kArchiveBusyTimeout);
  virtual ~Archive() = default;

  // The newest Written row of this picture (site, album, listed address), if any.
  virtual std::optional<PictureRow> FindWritten(const std::string& site, const std::string& album,
                                                const std::string& url) = 0;
  // The newest Queued or Exported row of this picture, if any: handed over already.
  virtual std::optional<PictureRow> FindHandedOver(const std::string& site,
                                                   const std::string& album,
                                                   const std::string& url) = 0;
  // Whether any picture was handed over (Queued or Exported) to the file at path.
  virtual bool PathHandedOver(const std::string& path) = 0;
  // Rows an older version stored with a relative path: those that, resolved against the
  // current folder, lie in folder (absolute, normalised, ending in '/') get their absolute
  // path; the others stay as they are (and match nothing). Returns how many were changed.
  virtual int AdoptRelativePaths(const std::string& folder) = 0;
  // Whether the newest Written row for the file at path (any picture) is a row of this picture:
  // then a file found there is this picture's own, not a stranger's. Rows that wrote nothing
  // (Failed, Stopped, Already, Queued, Exported) do not count.
  virtual bool PathIsPicture(const std::string& path, const std::string& site,
                             const std::string& album, const std::string& url) = 0;
  // Adds a picture's row; committed before it returns, so it survives the process being killed.
  virtual bool Record(const PictureRow& row) = 0;
  virtual bool RecordAlbum(const AlbumRow& row) = 0;
  // The failed rows of the newest run of an album, for a "failed pictures" list: the pictures
  // whose newest row in that run is Failed.
  virtual std::vector<PictureRow> FailedOf(const std::string& site, const std::string& album) = 0;
  // The newest row of every picture of the newest run of an album, in the order recorded.
  virtual std::vector<PictureRow> RunOf(const std::string& site, const std::string& album) = 0;
  // The newest outcome row of an album, if any.
  virtual std::optional<AlbumRow> NewestAlbum(const std::string& site,
                                              const std::string& album) = 0;
  // The album rows of the newest run that recorded any album, in the order recorded (the last
  // download's albums, for a list of what went wrong that outlives the program).
  virtual std::vector<AlbumRow> NewestRunAlbums() = 0;
  // Starts a new run: the rows recorded from now on belong to it (e.g. one per download job
  // when the archive stays open across jobs). False when it could not be written.
  virtual bool BeginRun() = 0;
  // The first error since Open (a write, or a read that failed), empty when none.
  virtual std::string LastError() = 0;
};

// The archive's checksum of a file's bytes (SHA-256, lower-case hex); empty when unreadable.
std::string FileSha256(const std::filesystem::path& file);

}  // namespace albumora
