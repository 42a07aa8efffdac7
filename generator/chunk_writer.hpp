#pragma once

// Buffered output to a file descriptor in large chunks. Full chunks are
// written by a second thread while the caller formats the next one, so
// formatting and writing overlap; output that fits in one chunk is written
// by the caller at finish() without starting the thread. The first failed
// write is remembered, later chunks are dropped, and good() turns false so
// that the producer can stop early.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace mkprob {

class ChunkWriter {
 public:
  // Large enough that system calls cost nothing much, small enough that the
  // chunks in use stay in the processor's caches while they are filled and
  // copied out.
  static constexpr size_t kDefaultChunkSize = size_t{1} << 20;

  // Does not take ownership of fd. reserve() requests must not exceed
  // chunk_size.
  explicit ChunkWriter(int fd, size_t chunk_size = kDefaultChunkSize);
  ChunkWriter(const ChunkWriter&) = delete;
  ChunkWriter& operator=(const ChunkWriter&) = delete;
  ~ChunkWriter();

  // Room for at least n bytes at the returned position.
  char* reserve(size_t n) {
    if (static_cast<size_t>(end_ - pos_) < n) hand_off();
    return pos_;
  }

  // The bytes from the last reserve() up to end are part of the output.
  void commit(char* end) { pos_ = end; }

  bool good() const { return !failed_.load(std::memory_order_relaxed); }

  // Asks the system to start writing the file's pages out to the disk as
  // they are written (see AtomicFile::replaces()). Set before any output.
  void write_out(bool on) { write_out_ = on; }

  // Whole chunks for producers on other threads: take_chunk() waits for a
  // free chunk of chunk_size() bytes; put_chunk() appends its first `size`
  // bytes after everything before (the buffered bytes first) and returns
  // the chunk to the pool once written. Calls of put_chunk() and of the
  // methods above must not overlap. Handing off buffered bytes takes a free
  // chunk, so put them first (an empty chunk does) before other threads
  // hold chunks.
  size_t chunk_size() const { return chunk_size_; }
  char* take_chunk();
  void put_chunk(char* chunk, size_t size);

  // Writes all that is buffered and waits for the writes to end. True when
  // every byte has been written.
  bool finish();

 private:
  // One chunk being filled (or one for each producer), one being written,
  // the others queued.
  static constexpr size_t kChunks = 6;

  struct Full {
    char* data;
    size_t size;
  };

  void use_chunk(char* chunk);
  void hand_off();
  void queue(char* chunk, size_t size);
  void write(const char* data, size_t size);
  void run();
  void stop();

  int fd_;
  bool write_out_ = false;
  uint64_t written_ = 0;      // bytes written
  uint64_t written_out_ = 0;  // bytes the system was asked to write out
  size_t chunk_size_;
  size_t region_size_;
  char* region_;  // all chunks, side by side
  char* current_;
  char* pos_;
  char* end_;
  bool threaded_ = false;  // the writer thread has been started
  bool finished_ = false;
  std::atomic<bool> failed_{false};

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Full> full_;    // waiting to be written
  std::vector<char*> free_;  // written, ready for reuse
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace mkprob
