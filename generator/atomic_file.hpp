#pragma once

// The file that mkprob writes, written so that what its name points at is
// never damaged or exposed:
//  - a missing file, or a regular file with one link, appears under its name
//    only once it is complete. The content goes to an unnamed file in the
//    same directory (O_TMPFILE; where the file system refuses that, a
//    temporary name, removed when the content is discarded, when the object
//    is destroyed uncommitted, or when SIGINT, SIGTERM or SIGHUP ends the
//    process); commit() gives it the name, replacing an existing file whole.
//    The new file keeps the old one's permission bits (and, for root, its
//    owner and group); a new one gets 0666 less the umask.
//  - a regular file with more than one link is emptied and written in place,
//    so that every name shows the new content (a failed write loses the old).
//  - anything else (a FIFO, a device) is opened and written, never replaced.
// Symbolic links are followed, and the rules apply to their target; a
// dangling link creates its target.

#include <sys/stat.h>

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
  // that may not be written.
  bool open(const std::string& path);

  // The descriptor to write to.
  int fd() const { return fd_; }

  // Whether commit() will put the file in place of an existing one. The
  // system then writes the new content out to the disk while it renames
  // (so that a crash does not leave an empty file under the name): written
  // out as it comes, it is mostly on its way by then.
  bool replaces() const { return replaces_; }

  // Closes the file and, when it was written aside, gives it the name. On
  // failure a file written aside is removed and the name left as it was.
  Commit commit();

  // Closes the file; one written aside is removed.
  void discard();

 private:
  bool open_aside(int mode, const struct ::stat* old);

  std::string target_;    // the name to replace, symbolic links resolved
  std::string temp_;      // the temporary name, while the file has one
  bool unnamed_ = false;  // written aside without a name (O_TMPFILE)
  bool replaces_ = false;
  int fd_ = -1;
};

}  // namespace mkprob
