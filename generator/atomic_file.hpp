#pragma once

// A file that appears under its name only once it is complete. The content
// goes to a temporary file in the same directory, created as the file itself
// would be created (mode 0666 less the umask); commit() renames it over the
// name, replacing an existing file whole. Until then an existing file of
// that name stays untouched, and the temporary file is removed when the
// content is discarded, when the object is destroyed uncommitted, or when
// the process is ended by SIGINT, SIGTERM or SIGHUP.

#include <string>

namespace mkprob {

class AtomicFile {
 public:
  enum class Commit { done, write_failed, rename_failed };

  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  // Prepares to write `path`. False (errno set) when a file of that name
  // could not be created or opened for writing: its directory is missing or
  // not writable, the name is too long, or it names a directory or a file
  // that may not be written. A symbolic link to an existing file is followed:
  // the file it points to is replaced.
  bool open(const std::string& path);

  // The temporary file's descriptor, for writing.
  int fd() const { return fd_; }

  // Closes the temporary file and renames it over the name. On failure the
  // temporary file is removed and the name left as it was.
  Commit commit();

  // Closes and removes the temporary file.
  void discard();

 private:
  std::string target_;  // the name to replace, symbolic links resolved
  std::string temp_;
  int fd_ = -1;
};

}  // namespace mkprob
