// The file an answer body is saved to, written as the body arrives: the bytes go to a fresh
// file beside the target, which is renamed over the target when the answer is accepted and
// removed otherwise, so a refused or cut answer never leaves a file and memory stays bounded
// whatever the answer's size.
//
// A picture is more than bytes: its content coding (gzip or deflate) is undone before the bytes
// land, an HTML document (after blanks, "<!DOCTYPE html" or "<html", any letter case) or an
// empty answer is refused, and so is a coded answer whose stream is cut or corrupt.
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

class SaveStream {
 public:
  // maxBytes bounds what lands in the file (decoded bytes for a coded picture); 0: no bound.
  SaveStream(std::string target, bool picture, uint64_t maxBytes);
  ~SaveStream();  // removes the fresh file unless committed
  SaveStream(const SaveStream&) = delete;
  SaveStream& operator=(const SaveStream&) = delete;

  // For a picture: the answer's Content-Encoding value; "gzip", "x-gzip" and "deflate" are
  // decoded. Call before the first Write.
  void SetContentEncoding(const std::string& value);
  // The next piece of the answer body; false when the answer is refused.
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
  void ToFile(const char* data, size_t length);
  void Remove();

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
  bool committed_ = false;
};

}  // namespace albumora::net
