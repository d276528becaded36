// Placeholder until the SQLite archive lands: no archive, so jobs run without resume.
#include "archive/Archive.h"

namespace albumora {

std::unique_ptr<Archive> Archive::Open(const std::filesystem::path& file, std::string& error) {
  error = "the download archive " + file.string() + " is not available; this run goes without resume";
  return nullptr;
}

std::string FileSha256(const std::filesystem::path&) { return {}; }

}  // namespace albumora
