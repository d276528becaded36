// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/ProgramFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "ScratchDir.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;

using testweb::ScratchDir;

// Sets an environment variable for the test's length and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Apply(value);
  }
  ~ScopedEnv() { Apply(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Apply(const std::optional<std::string>& value) {
    if (value)
      setenv(name_.c_str(), value->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  std::string name_;
  std::optional<std::string> old_;
};

// The program folder is process-wide; these tests leave it at a scratch folder rather than
// create the user's real application folder. Nothing else in this test program reads it.
class ProgramFolderTest : public ::testing::Test {};

TEST_F(ProgramFolderTest, OverrideIsCreatedAndUsed) {
  ScratchDir scratch;
  const fs::path home = scratch.Dir() / "portable" / "home";
  EXPECT_EQ(InitProgramFolder(fs::path(home.string() + "/")), home);
  EXPECT_TRUE(fs::is_directory(home));
  EXPECT_EQ(ProgramFolder(), home);
  EXPECT_EQ(ProgramFile("soft.dat"), home / "soft.dat");
  // Called again with another folder, the new one holds.
  const fs::path other = scratch.Dir() / "other";
  EXPECT_EQ(InitProgramFolder(other), other);
  EXPECT_EQ(ProgramFolder(), other);
}

TEST_F(ProgramFolderTest, RelativeOverrideBecomesAbsolute) {
  ScratchDir scratch;
  const fs::path before = fs::current_path();
  fs::current_path(scratch.Dir());
  const fs::path folder = InitProgramFolder("rel");
  fs::current_path(before);
  EXPECT_EQ(folder, scratch.Dir() / "rel");
  EXPECT_TRUE(fs::is_directory(scratch.Dir() / "rel"));
}

TEST_F(ProgramFolderTest, DefaultRules) {
  ScratchDir scratch;
  const fs::path exeFolder = fs::read_symlink("/proc/self/exe").parent_path();
  if (fs::exists(exeFolder / "soft.dat")) GTEST_SKIP() << "a portable soft.dat beside the tests";
  {
    ScopedEnv config("XDG_CONFIG_HOME", (scratch.Dir() / "config").string());
    EXPECT_EQ(InitProgramFolder(), scratch.Dir() / "config" / "Albumora");
    EXPECT_TRUE(fs::is_directory(scratch.Dir() / "config" / "Albumora"));
  }
  {
    // A relative XDG_CONFIG_HOME is ignored, as the base directory rules say.
    ScopedEnv config("XDG_CONFIG_HOME", std::string("relative"));
    ScopedEnv home("HOME", scratch.Dir().string());
    EXPECT_EQ(InitProgramFolder(), scratch.Dir() / ".config" / "Albumora");
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", (scratch.Dir() / "h").string());
    EXPECT_EQ(InitProgramFolder(), scratch.Dir() / "h" / ".config" / "Albumora");
    EXPECT_EQ(ProgramFolder(), scratch.Dir() / "h" / ".config" / "Albumora");
  }
}

}  // namespace
}  // namespace albumora
