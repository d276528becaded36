#include "app/ProgramFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "ScratchDir.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;

using settingstest::ScratchDir;

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
  const fs::path home = scratch.Path() / "portable" / "home";
  EXPECT_EQ(InitProgramFolder(fs::path(home.string() + "/")), home);
  EXPECT_TRUE(fs::is_directory(home));
  EXPECT_EQ(ProgramFolder(), home);
  EXPECT_EQ(ProgramFile("soft.dat"), home / "soft.dat");
  // Called again with another folder, the new one holds.
  const fs::path other = scratch.Path() / "other";
  EXPECT_EQ(InitProgramFolder(other), other);
  EXPECT_EQ(ProgramFolder(), other);
}

TEST_F(ProgramFolderTest, RelativeOverrideBecomesAbsolute) {
  ScratchDir scratch;
  const fs::path before = fs::current_path();
  fs::current_path(scratch.Path());
  const fs::path folder = InitProgramFolder("rel");
  fs::current_path(before);
  EXPECT_EQ(folder, scratch.Path() / "rel");
  EXPECT_TRUE(fs::is_directory(scratch.Path() / "rel"));
}

TEST_F(ProgramFolderTest, DefaultRules) {
  ScratchDir scratch;
  const fs::path exeFolder = fs::read_symlink("/proc/self/exe").parent_path();
  if (fs::exists(exeFolder / "soft.dat")) GTEST_SKIP() << "a portable soft.dat beside the tests";
  {
    ScopedEnv config("XDG_CONFIG_HOME", (scratch.Path() / "config").string());
    EXPECT_EQ(InitProgramFolder(), scratch.Path() / "config" / "Albumora");
    EXPECT_TRUE(fs::is_directory(scratch.Path() / "config" / "Albumora"));
  }
  {
    // A relative XDG_CONFIG_HOME is ignored, as the base directory rules say.
    ScopedEnv config("XDG_CONFIG_HOME", std::string("relative"));
    ScopedEnv home("HOME", scratch.Path().string());
    EXPECT_EQ(InitProgramFolder(), scratch.Path() / ".config" / "Albumora");
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", (scratch.Path() / "h").string());
    EXPECT_EQ(InitProgramFolder(), scratch.Path() / "h" / ".config" / "Albumora");
    EXPECT_EQ(ProgramFolder(), scratch.Path() / "h" / ".config" / "Albumora");
  }
}

}  // namespace
}  // namespace albumora
