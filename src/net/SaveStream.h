// SPDX-License-Identifier: GPL-3.0-or-later
// The file an answer body is saved to, written as the body arrives: the bytes go to a fresh
// file beside the target, which is renamed over the target when the answer is accepted and
// removed otherwise, so a refused or cut answer never leaves a file and memory stays bounded
// whatever the answer's size.
//
// A picture is more than bytes: its content coding (gzip or deflate) is undone before the bytes
// land, an HTML document (after blanks, "<!DOCTYPE html" or "<html", any letter case) or an
// empty answer is refused, and so is a coded answer whose stream is cut or corrupt.
//
// A picture can resume: when the server says it serves ranges ("Accept-Ranges: bytes") and
// names the version it sends (a strong ETag or a Last-Modified date), and the answer is not
// coded, its bytes go to a partial file of a fixed name beside the target
// (".part-resume-<hash of address and name>", with "<...>.info" holding the address, the
// version and the whole size). A cut answer leaves both; the next exchange for the same
// address and target asks for the rest ("Range: bytes=N-" with If-Range), and continues the
// file only when the answer is 206 from byte N of the same version and size. Any other answer
// starts over. The target itself only ever holds a whole picture.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace albumora::net {

// The beginning of the fresh files an answer is written to before it is renamed into place:
// ".part-<process id>-XXXXXX".
constexpr const char* kPartPrefix = ".part-";

// Removes the fresh files a killed process left in folder (their writer no longer runs);
// returns how many.
int RemoveStaleParts(const std::string& folder);

// The beginning of the partial files kept for a resume (a kind of part file no run removes).
constexpr const char* kResumePrefix = ".part-resume-";

// Removes the partial file (and its info file) kept for target and address, if any: the
// picture came whole from elsewhere.
void DropResumeFile(const std::string& target, const std::string& address);

class SaveStream {
 public:
  // maxBytes bounds what lands in the file (decoded bytes for a coded picture); 0: no bound.
  // resumeKey (the address asked for; pictures only): a cut answer may be resumed.
  SaveStream(std::string target, bool picture, uint64_t maxBytes, std::string resumeKey = {});
  ~SaveStream();  // removes the fresh file unless committed
  SaveStream(const SaveStream&) = delete;
  SaveStream& operator=(const SaveStream&) = delete;

  // For a picture: the answer's Content-Encoding value; "gzip", "x-gzip" and "deflate" are
  // decoded. Call before the first Write.
  void SetContentEncoding(const std::string& value);
  // The header lines that ask for the rest of a partial file kept for this address and target
  // ("Range: bytes=N-\r\nIf-Range: ..."); empty when there is none. Call before the exchange.
  std::string ResumeHeaders();
  // The final answer's status and header block, before its body: a 206 that continues the
  // partial file continues it; any other answer starts over (and is kept resumable when it
  // can be). False when the answer cannot be used: a 206 that does not fit (the partial file
  // is dropped, and the next exchange fetches the whole picture).
  bool Begin(long status, const std::string& headers);
  // Bytes of the partial file this answer continues (0: from the start).
  uint64_t ResumedFrom() const { return resumeFrom_; }
  // The error number of a write that failed (ENOSPC for a full disk), 0 when none.
  int WriteError() const { return writeErrno_; }
  // Keep no partial file of this answer, nor one kept for it before: it was refused.
  void Discard();
  // The next piece of the answer body; false when the answer is refused or a write failed.
  bool Write(const char* data, size_t length);
  // The answer is complete; false when it is refused.
  bool Finish();
  // Renames the file into place; false when it could not be written (nothing is left behind).
  bool Commit();

 private:
  struct InflateEnd {
    void operator()(z_stream* stream) const;
  };
  bool Decode(const char* data, size_t length);
  bool Land(const char* data, size_t length);
  bool DecideHtml(bool atEnd);
  bool ToFile(const char* data, size_t length);
  void Remove();
  bool OpenFile();
  void DropPartial();

  std::string target_;
  bool picture_;
  uint64_t maxBytes_;
  enum class Coding { None, Gzip, Deflate } coding_ = Coding::None;
  std::unique_ptr<z_stream, InflateEnd> inflater_;
  std::string codingHead_;  // the first bytes of a deflate answer, until its kind is known
  bool codingEnded_ = false;
  bool decided_ = false;  // a picture's start has been checked for an HTML document
  std::string held_;      // a picture's first bytes, until that check is made
  uint64_t landed_ = 0;
  std::string tempPath_;
  int fd_ = -1;
  bool fileFailed_ = false;
  int writeErrno_ = 0;
  bool committed_ = false;
  // The resume: the address, the partial file and its info file, what the info holds.
  std::string resumeKey_;
  std::string partialPath_;
  std::string infoPath_;
  std::string askedVersion_;  // the version of the partial file asked to continue
  uint64_t askedFrom_ = 0;    // its size, when the range was asked for
  uint64_t askedTotal_ = 0;
  uint64_t resumeFrom_ = 0;  // this answer continues the partial file from here
  bool resumable_ = false;   // this answer's bytes go to the partial file
  bool discard_ = false;
};

}  // namespace albumora::net
