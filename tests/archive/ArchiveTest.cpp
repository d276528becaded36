// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/Archive.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ScratchDir.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testweb::ScratchDir;

// A second connection to the same file, as another program would hold it.
class RawDb {
 public:
  explicit RawDb(const fs::path& file) {
    sqlite3* raw = nullptr;
    sqlite3_open(file.c_str(), &raw);
    db_.reset(raw);
  }
  int Exec(const std::string& sql) {
    return sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr);
  }
  int UserVersion() {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db_.get(), "PRAGMA user_version", -1, &stmt, nullptr);
    const int version = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    return version;
  }

 private:
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  std::unique_ptr<sqlite3, Close> db_;
};

PictureRow Picture(const std::string& album, const std::string& url, PictureOutcome outcome,
                   const std::string& path = "") {
  PictureRow row;
  row.site = "qzone";
  row.album = album;
  row.url = url;
  row.path = path.empty() ? "/save/" + url + ".jpg" : path;
  row.outcome = outcome;
  if (outcome == PictureOutcome::Written) {
    row.bytes = url.size();
    row.sha256 = std::string(64, url.back());
  }
  if (outcome == PictureOutcome::Failed) row.reason = "network " + url;
  return row;
}

std::vector<std::string> Urls(const std::vector<PictureRow>& rows) {
  std::vector<std::string> urls;
  for (const PictureRow& row : rows) urls.push_back(row.url);
  return urls;
}

std::unique_ptr<Archive> OpenOrFail(const fs::path& file) {
  std::string error;
  auto archive = Archive::Open(file, error);
  EXPECT_TRUE(archive) << error;
  EXPECT_EQ(error, "");
  return archive;
}

TEST(Archive, RowsLookupsAndReopen) {
  ScratchDir scratch;
  const fs::path file = scratch.Dir() / kArchiveFileName;
  {
    auto archive = OpenOrFail(file);
    ASSERT_TRUE(archive);
    EXPECT_FALSE(archive->FindWritten("qzone", "A", "p1"));
    EXPECT_TRUE(archive->Record(Picture("A", "p1", PictureOutcome::Written, "/save/shared.jpg")));
    // A stranger written to the same file later owns it; rows that wrote nothing do not.
    EXPECT_TRUE(archive->Record(Picture("B", "q1", PictureOutcome::Written, "/save/shared.jpg")));
    EXPECT_TRUE(archive->Record(Picture("A", "p2", PictureOutcome::Written, "/save/p2.jpg")));
    EXPECT_TRUE(archive->Record(Picture("A", "p2", PictureOutcome::Already, "/save/p2.jpg")));
    EXPECT_TRUE(archive->Record(Picture("B", "q2", PictureOutcome::Failed, "/save/p2.jpg")));

    AlbumRow album{"qzone",
                   "A",
                   "Trip",
                   "/save/Trip/",
                   AlbumOutcome::Partial,
                   10,
                   7,
                   1,
                   2,
                   0,
                   "the site counts 12, 10 listed",
                   1700000000,
                   "10001"};
    EXPECT_TRUE(archive->RecordAlbum(album));
    album.outcome = AlbumOutcome::Complete;
    album.note = "";
    album.time = 0;
    EXPECT_TRUE(archive->RecordAlbum(album));
  }
  // Everything is still there after the archive was closed.
  auto archive = OpenOrFail(file);
  ASSERT_TRUE(archive);
  EXPECT_TRUE(archive->Record(Picture("A", "p1", PictureOutcome::Failed)));
  // The newest Written row counts, not a newer failure.
  const auto p1 = archive->FindWritten("qzone", "A", "p1");
  ASSERT_TRUE(p1);
  EXPECT_EQ(p1->path, "/save/shared.jpg");
  EXPECT_EQ(p1->bytes, 2u);
  EXPECT_EQ(p1->sha256, std::string(64, '1'));
  EXPECT_EQ(p1->outcome, PictureOutcome::Written);
  EXPECT_GT(p1->time, 0);
  EXPECT_FALSE(archive->FindWritten("qzone", "B", "p1"));
  EXPECT_FALSE(archive->FindWritten("sina", "A", "p1"));
  EXPECT_FALSE(archive->FindWritten("qzone", "B", "q2"));

  EXPECT_FALSE(archive->PathIsPicture("/save/shared.jpg", "qzone", "A", "p1"));
  EXPECT_TRUE(archive->PathIsPicture("/save/shared.jpg", "qzone", "B", "q1"));
  EXPECT_TRUE(archive->PathIsPicture("/save/p2.jpg", "qzone", "A", "p2"));
  EXPECT_FALSE(archive->PathIsPicture("/save/p2.jpg", "qzone", "B", "q2"));
  EXPECT_FALSE(archive->PathIsPicture("/save/none.jpg", "qzone", "A", "p2"));

  const auto album = archive->NewestAlbum("qzone", "A");
  ASSERT_TRUE(album);
  EXPECT_EQ(album->outcome, AlbumOutcome::Complete);
  EXPECT_EQ(album->name, "Trip");
  EXPECT_EQ(album->folder, "/save/Trip/");
  EXPECT_EQ(album->listed, 10u);
  EXPECT_EQ(album->written, 7u);
  EXPECT_EQ(album->already, 1u);
  EXPECT_EQ(album->failed, 2u);
  EXPECT_EQ(album->note, "");
  EXPECT_GT(album->time, 1700000000);
  EXPECT_FALSE(archive->NewestAlbum("qzone", "B"));
  EXPECT_EQ(archive->LastError(), "");
}

TEST(Archive, FailedOfTakesTheNewestRun) {
  ScratchDir scratch;
  const fs::path file = scratch.Dir() / kArchiveFileName;
  {
    auto archive = OpenOrFail(file);
    ASSERT_TRUE(archive);
    for (const char* url : {"a", "b", "old"})
      archive->Record(Picture("A", url, PictureOutcome::Failed));
  }
  auto archive = OpenOrFail(file);  // a new run
  ASSERT_TRUE(archive);
  archive->Record(Picture("A", "a", PictureOutcome::Failed));
  archive->Record(Picture("A", "b", PictureOutcome::Failed));
  archive->Record(Picture("A", "c", PictureOutcome::Stopped));
  archive->Record(Picture("A", "b", PictureOutcome::Written));  // a retry that worked
  archive->Record(Picture("B", "x", PictureOutcome::Failed));

  const auto failed = archive->FailedOf("qzone", "A");
  EXPECT_EQ(Urls(failed), std::vector<std::string>{"a"});
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].reason, "network a");
  EXPECT_EQ(Urls(archive->RunOf("qzone", "A")), (std::vector<std::string>{"a", "c", "b"}));

  // BeginRun starts another run on the same connection; an album it has not touched yet keeps
  // its newest run.
  ASSERT_TRUE(archive->BeginRun());
  archive->Record(Picture("A", "d", PictureOutcome::Failed));
  EXPECT_EQ(Urls(archive->FailedOf("qzone", "A")), std::vector<std::string>{"d"});
  EXPECT_EQ(Urls(archive->FailedOf("qzone", "B")), std::vector<std::string>{"x"});
  EXPECT_TRUE(archive->FailedOf("qzone", "none").empty());
}

TEST(Archive, OpenUpgradesOrRefuses) {
  ScratchDir scratch;
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    const char* reason;       // empty: opens, at the current schema version
    bool movedAside = false;  // opens anew, the damaged file kept beside it
  };
  const auto write = [](const std::string& bytes) {
    return [bytes](const fs::path& file) { std::ofstream(file, std::ios::binary) << bytes; };
  };
  const auto sql = [](const std::string& statements) {
    return [statements](const fs::path& file) { RawDb(file).Exec(statements); };
  };
  const std::vector<Case> cases = {
      {"missing", [](const fs::path&) {}, ""},
      {"zero-length", write(""), ""},
      {"version-0 database", sql("PRAGMA user_version=0; VACUUM"), ""},
      {"garbage", write(std::string(5000, 'x')), "is not a database", true},
      {"newer", sql("CREATE TABLE pictures(x); PRAGMA user_version=99"),
       "written by a newer Albumora (schema version 99"},
      {"foreign", sql("CREATE TABLE notes(text)"), "not a download archive"},
      {"truncated",
       [](const fs::path& file) {
         {
           std::string error;
           auto archive = Archive::Open(file, error);
           if (!archive) return;
           for (int i = 0; i < 2000; ++i)
             archive->Record(Picture("A", "picture " + std::to_string(i), PictureOutcome::Written));
         }
         fs::resize_file(file, fs::file_size(file) / 2);
       },
       "is damaged", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = scratch.Dir() / (std::string(c.name) + ".db");
    c.make(file);
    std::string error;
    auto archive = Archive::Open(file, error);
    if (*c.reason == '\0' || c.movedAside) {
      ASSERT_TRUE(archive) << error;
      EXPECT_TRUE(archive->Record(Picture("A", "p", PictureOutcome::Written)));
      EXPECT_EQ(RawDb(file).UserVersion(), 2);
    }
    if (*c.reason == '\0') continue;
    if (c.movedAside) {
      // The warning names the file it was moved to, which is there; the next run resumes.
      EXPECT_NE(error.find(c.reason), std::string::npos) << error;
      const size_t at = error.find(file.string() + ".damaged-");
      ASSERT_NE(at, std::string::npos) << error;
      const std::string aside = error.substr(at, file.string().size() + 24);
      EXPECT_TRUE(fs::exists(aside)) << aside;
      archive.reset();
      EXPECT_TRUE(OpenOrFail(file)->FindWritten("qzone", "A", "p"));
      continue;
    }
    EXPECT_FALSE(archive);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
    EXPECT_NE(error.find("this run goes without resume"), std::string::npos) << error;
  }
  // A folder that cannot hold the file: its "folder" is a file.
  std::string error;
  EXPECT_FALSE(Archive::Open(scratch.Dir() / "garbage.db" / kArchiveFileName, error));
  EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;
}

// A version 1 archive: its rows get the new columns (listed_url from url, the reason as one of
// the documented names beside the old text), its relative paths become absolute where they
// resolve into the run's folder, and the views show ISO 8601 times.
TEST(Archive, UpgradesVersionOneRowsAndTheirPaths) {
  ScratchDir scratch;
  const fs::path file = scratch.Dir() / kArchiveFileName;
  const fs::path save = fs::canonical(scratch.Dir()) / "save";
  fs::create_directories(save / "Trip");
  const std::string inside = fs::relative(save / "Trip" / "1.jpg").string();
  RawDb(file).Exec(
      "CREATE TABLE runs(id INTEGER PRIMARY KEY, started INTEGER NOT NULL, pid INTEGER NOT NULL);"
      "CREATE TABLE pictures(id INTEGER PRIMARY KEY, run INTEGER NOT NULL, site TEXT NOT NULL,"
      " album TEXT NOT NULL, url TEXT NOT NULL, path TEXT NOT NULL, bytes INTEGER NOT NULL,"
      " sha256 TEXT NOT NULL, outcome TEXT NOT NULL, reason TEXT NOT NULL, time INTEGER NOT NULL);"
      "CREATE INDEX pictures_by_picture ON pictures(site, album, url);"
      "CREATE INDEX pictures_by_path ON pictures(path);"
      "CREATE TABLE albums(id INTEGER PRIMARY KEY, run INTEGER NOT NULL, site TEXT NOT NULL,"
      " album TEXT NOT NULL, name TEXT NOT NULL, folder TEXT NOT NULL, outcome TEXT NOT NULL,"
      " listed INTEGER NOT NULL, written INTEGER NOT NULL, already INTEGER NOT NULL,"
      " failed INTEGER NOT NULL, stopped INTEGER NOT NULL, note TEXT NOT NULL,"
      " time INTEGER NOT NULL);"
      "CREATE INDEX albums_by_album ON albums(site, album);"
      "INSERT INTO pictures VALUES(1, 1, 'qzone', 'A', 'p1', '" +
      inside +
      "', 3, 'x', 'written', '', 1700000000);"
      "INSERT INTO pictures VALUES(2, 1, 'qzone', 'A', 'p2', 'elsewhere/2.jpg', 3, 'y',"
      " 'written', '', 1700000000);"
      "INSERT INTO pictures VALUES(3, 1, 'qzone', 'A', 'p3', '/x/3.jpg', 0, '', 'failed',"
      " 'pics.test: HTTP 404 Not Found', 1700000000);"
      "PRAGMA user_version=1;");
  auto archive = OpenOrFail(file);
  ASSERT_TRUE(archive);
  EXPECT_EQ(RawDb(file).UserVersion(), 2);
  EXPECT_EQ(archive->AdoptRelativePaths(save.string() + "/"), 1);
  const auto p1 = archive->FindWritten("qzone", "A", "p1");
  ASSERT_TRUE(p1);
  EXPECT_EQ(p1->path, (save / "Trip" / "1.jpg").string());
  EXPECT_EQ(p1->listedUrl, "p1");
  EXPECT_EQ(archive->FindWritten("qzone", "A", "p2")->path, "elsewhere/2.jpg");
  const auto failed = archive->FailedOf("qzone", "A");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].reason, "HTTP status");
  EXPECT_EQ(failed[0].detail, "pics.test: HTTP 404 Not Found");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &raw), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT time FROM downloads WHERE listed_url='p3'", -1, &stmt,
                               nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "2023-11-14T22:13:20Z");
  sqlite3_finalize(stmt);
  sqlite3_close(raw);
}

TEST(Archive, LockHeldByAnotherConnection) {
  ScratchDir scratch;
  // A file another program holds locked beyond the busy timeout cannot be opened.
  const fs::path locked = scratch.Dir() / "locked.db";
  RawDb holder(locked);
  ASSERT_EQ(holder.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
  std::string error;
  EXPECT_FALSE(Archive::Open(locked, error, 50ms));
  EXPECT_NE(error.find("is locked by another program"), std::string::npos) << error;
  EXPECT_NE(error.find("and run again"), std::string::npos) << error;
  holder.Exec("COMMIT");

  // Held by another process: the warning names it.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    RawDb other(locked);
    const char done = other.Exec("BEGIN EXCLUSIVE") == SQLITE_OK ? 'y' : 'n';
    if (write(ready[1], &done, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  EXPECT_EQ(held, 'y');
  EXPECT_FALSE(Archive::Open(locked, error, 50ms));
  EXPECT_NE(error.find("end process " + std::to_string(child)), std::string::npos) << error;
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);

  // An open archive whose writer is busy elsewhere: the write fails, reading goes on, and the
  // first error stays.
  const fs::path file = scratch.Dir() / kArchiveFileName;
  auto archive = Archive::Open(file, error, 50ms);
  ASSERT_TRUE(archive) << error;
  ASSERT_TRUE(archive->Record(Picture("A", "p1", PictureOutcome::Written)));
  RawDb writer(file);
  ASSERT_EQ(writer.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
  EXPECT_FALSE(archive->Record(Picture("A", "p2", PictureOutcome::Written)));
  EXPECT_FALSE(archive->RecordAlbum(AlbumRow{}));
  EXPECT_TRUE(archive->FindWritten("qzone", "A", "p1"));
  const std::string first = archive->LastError();
  EXPECT_NE(first.find(file.string()), std::string::npos) << first;
  EXPECT_NE(first.find("could not record a picture: database is locked"), std::string::npos)
      << first;
  writer.Exec("COMMIT");
  EXPECT_TRUE(archive->Record(Picture("A", "p2", PictureOutcome::Written)));
  EXPECT_EQ(archive->LastError(), first);
}

TEST(Archive, ManyThreadsRecordAtOnce) {
  ScratchDir scratch;
  auto archive = OpenOrFail(scratch.Dir() / kArchiveFileName);
  ASSERT_TRUE(archive);
  constexpr int kThreads = 15;
  constexpr int kEach = 200;
  std::atomic<int> recorded = 0;
  std::atomic<int> seen = 0;
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        for (int i = 0; i < kEach; ++i) {
          const std::string url = std::to_string(t) + "-" + std::to_string(i);
          if (archive->Record(Picture("A", url, PictureOutcome::Written))) ++recorded;
          // Committed on return: this thread sees its own row at once.
          if (archive->FindWritten("qzone", "A", url)) ++seen;
        }
      });
  }
  EXPECT_EQ(recorded, kThreads * kEach);
  EXPECT_EQ(seen, kThreads * kEach);
  EXPECT_EQ(archive->RunOf("qzone", "A").size(), static_cast<size_t>(kThreads * kEach));
  EXPECT_EQ(archive->LastError(), "");
}

TEST(Archive, RowSurvivesTheProcessBeingKilled) {
  ScratchDir scratch;
  const fs::path file = scratch.Dir() / kArchiveFileName;
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    std::string error;
    auto archive = Archive::Open(file, error);
    if (archive && archive->Record(Picture("A", "p1", PictureOutcome::Written)))
      kill(getpid(), SIGKILL);
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  auto archive = OpenOrFail(file);
  ASSERT_TRUE(archive);
  EXPECT_TRUE(archive->FindWritten("qzone", "A", "p1"));
}

TEST(Archive, FileSha256) {
  ScratchDir scratch;
  const struct {
    std::string bytes;
    const char* sha256;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // Longer than one read.
      {std::string(100000, 'a'),
       "6d1cf22d7cc09b085dfc25ee1a1f3ae0265804c607bc2074ad253bcc82fd81ee"},
  };
  for (const auto& c : cases) {
    const fs::path file = scratch.Dir() / "f";
    std::ofstream(file, std::ios::binary) << c.bytes;
    EXPECT_EQ(FileSha256(file), c.sha256) << c.bytes.size();
  }
  EXPECT_EQ(FileSha256(scratch.Dir() / "missing"), "");
  EXPECT_EQ(FileSha256(scratch.Dir()), "");
}

}  // namespace
}  // namespace albumora
