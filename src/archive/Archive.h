// The download archive: one SQLite database in the program folder with a row for every picture
// of every job (where it came from, where it landed, its bytes and SHA-256, and how it ended)
// and a row for every album's outcome. A rerun reads it to fetch only what is missing.
//
// Every call is safe from any thread. A damaged, locked or unwritable archive never stops a
// job: Open reports why and the job runs without it; a write that fails later is reported once
// through LastError and the job goes on.
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
// How long a call waits for another program (another Albumora) that is writing the archive.
constexpr std::chrono::milliseconds kArchiveBusyTimeout{5000};

enum class PictureOutcome : uint8_t {
  Written,  // the file landed
  Failed,   // not written; reason says why
  Stopped,  // a stop came first (in flight or not started)
  Skipped,  // already there from an earlier run: not fetched again
};

struct PictureRow {
  std::string site;    // the family key ("qzone")
  std::string album;   // the album's address as the album list holds it
  std::string url;     // the picture's primary address
  std::string path;    // the target file, absolute
  uint64_t bytes = 0;  // bytes on disk
  std::string sha256;  // hex, lower case; empty unless written
  PictureOutcome outcome = PictureOutcome::Written;
  std::string reason;  // for Failed: "network", "too slow", ...
  int64_t time = 0;    // seconds since the epoch; 0 when recorded: the time of recording
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
};

// Every row is kept (the history); a lookup takes the newest. Each Open starts a run (as does
// BeginRun): the rows recorded through it belong to that run.
class Archive {
 public:
  // Opens (or creates) the archive at file, in WAL mode, upgrading an older schema. Null with
  // error set ("the download archive /x/archive.db is damaged (database disk image is
  // malformed); this run goes without resume") when it cannot be used: not a database,
  // damaged, written by a newer Albumora, locked by another program beyond busyTimeout, or its
  // folder cannot be written.
  static std::unique_ptr<Archive> Open(const std::filesystem::path& file, std::string& error,
                                       std::chrono::milliseconds busyTimeout = kArchiveBusyTimeout);
  virtual ~Archive() = default;

  // The newest Written row of this picture (site, album, primary address), if any.
  virtual std::optional<PictureRow> FindWritten(const std::string& site, const std::string& album,
                                                const std::string& url) = 0;
  // Whether the newest Written row for the file at path (any picture) is a row of this picture:
  // then a file found there is this picture's own, not a stranger's. Rows that wrote nothing
  // (Failed, Stopped, Skipped) do not count.
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
