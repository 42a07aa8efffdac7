#include "generator/chunk_writer.hpp"

#include <fcntl.h>
#include <sys/mman.h>

#include <new>
#include <system_error>

#include "common/write_all.hpp"

namespace mkprob {

namespace {

// The chunks share one region aligned for huge pages, where the system
// offers them: a fresh page costs far more to fault in than to fill, and a
// huge page is faulted in once instead of 512 times.
constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

ChunkWriter::ChunkWriter(int fd, size_t chunk_size)
    : fd_(fd),
      chunk_size_(chunk_size),
      region_size_((kChunks * chunk_size + kHugePage - 1) / kHugePage * kHugePage),
      region_(static_cast<char*>(::operator new (region_size_, std::align_val_t{kHugePage}))) {
  ::madvise(region_, region_size_, MADV_HUGEPAGE);  // only advice
  for (size_t i = kChunks; i-- > 1;) free_.push_back(region_ + i * chunk_size_);
  use_chunk(region_);
}

ChunkWriter::~ChunkWriter() {
  stop();
  ::operator delete (region_, std::align_val_t{kHugePage});
}

void ChunkWriter::use_chunk(char* chunk) {
  current_ = pos_ = chunk;
  end_ = chunk + chunk_size_;
}

void ChunkWriter::write(const char* data, size_t size) {
  if (size > 0 && good() && !common::write_all(fd_, data, size)) failed_.store(true, std::memory_order_relaxed);
  written_ += size;
  // Asks for the pages written a step ago, in whole steps: only a start,
  // which does not wait for the disk.
  constexpr uint64_t kStep = uint64_t{8} << 20;
  if (write_out_ && written_ - written_out_ >= 2 * kStep) {
    ::sync_file_range(fd_, static_cast<off_t>(written_out_), static_cast<off_t>(kStep), SYNC_FILE_RANGE_WRITE);
    written_out_ += kStep;
  }
}

void ChunkWriter::hand_off() {
  if (!good()) {  // the output is lost already: reuse the chunk
    pos_ = current_;
    return;
  }
  queue(current_, static_cast<size_t>(pos_ - current_));
  use_chunk(take_chunk());
}

// Queues a chunk for the writer thread, starting it if need be; without a
// thread the chunk is written here.
void ChunkWriter::queue(char* chunk, size_t size) {
  if (!threaded_) {
    try {
      thread_ = std::thread(&ChunkWriter::run, this);
      threaded_ = true;
    } catch (const std::system_error&) {
      write(chunk, size);  // no thread to be had: write in this one
      std::lock_guard lock(mutex_);
      free_.push_back(chunk);
      return;
    }
  }
  std::lock_guard lock(mutex_);
  full_.push_back({chunk, size});
  changed_.notify_all();
}

char* ChunkWriter::take_chunk() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !free_.empty(); });
  char* chunk = free_.back();
  free_.pop_back();
  return chunk;
}

void ChunkWriter::put_chunk(char* chunk, size_t size) {
  if (pos_ != current_) hand_off();
  if (good()) {
    queue(chunk, size);
  } else {
    std::lock_guard lock(mutex_);
    free_.push_back(chunk);
    changed_.notify_all();
  }
}

void ChunkWriter::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !full_.empty() || closing_; });
    if (full_.empty()) return;
    const Full chunk = full_.front();
    full_.pop_front();
    lock.unlock();
    write(chunk.data, chunk.size);
    lock.lock();
    free_.push_back(chunk.data);
    changed_.notify_all();
  }
}

void ChunkWriter::stop() {
  if (!threaded_) return;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
  threaded_ = false;
}

bool ChunkWriter::finish() {
  if (finished_) return good();
  finished_ = true;
  const size_t size = static_cast<size_t>(pos_ - current_);
  if (threaded_) {
    {
      std::lock_guard lock(mutex_);
      full_.push_back({current_, size});
    }
    stop();  // the writer empties the queue before it ends
  } else {
    write(current_, size);
  }
  pos_ = end_ = current_;
  return good();
}

}  // namespace mkprob
