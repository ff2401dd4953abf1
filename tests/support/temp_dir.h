// Scratch folders for tests: each test gets a fresh folder under /tmp that
// goes away, with everything in it, when the test is done, so a run leaves
// nothing behind.
#pragma once

#include <string>

namespace testsupport {

class TempDir {
 public:
  // Makes /tmp/tvbox-<tag>-XXXXXX; throws std::runtime_error when it cannot.
  explicit TempDir(const std::string& tag = "test");
  ~TempDir();  // removes the folder and everything in it
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Replaces the file at `path` with `bytes`; false when it cannot be written.
bool write_file(const std::string& path, const std::string& bytes);

// Sets (or, with a null value, removes) an environment variable for as long as
// the object lives, then puts back what was there before.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_value_ = false;
  std::string old_value_;
};

}  // namespace testsupport
