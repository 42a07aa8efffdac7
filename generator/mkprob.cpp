// mkprob: writes a reproducible test problem for the solver.
//
//   mkprob num error
//
// writes the file "<num>.txt": num variables, the tolerance error, all
// starting values 0, a diagonal of num * 100, off-diagonal coefficients
// from 1 to 99 and right-hand sides from -9 to 99, all drawn from the C
// library's unseeded `rand` sequence, so the same arguments always give the
// same file. Prints nothing on success.
//
//   mkprob --help | -h | --version
//
// prints the help or the version instead. While a long write goes on, a
// progress line is shown on standard error when that is a terminal.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "common/progress_line.hpp"
#include "common/write_all.hpp"
#include "generator/atomic_file.hpp"
#include "generator/chunk_writer.hpp"
#include "generator/help.hpp"
#include "generator/problem_args.hpp"
#include "generator/problem_writer.hpp"
#include "generator/rand_stream.hpp"
#include "generator/write_progress.hpp"

namespace {

int cannot_create(const std::string& name) {
  std::printf("Cannot create file %s\n", name.c_str());
  std::puts(
      "Check that the file does not exist and you have permission/space to "
      "create the file");
  return 1;
}

int cannot_write(const std::string& name) {
  std::printf("Cannot write file %s\n", name.c_str());
  return 1;
}

// Prints the help, the version or the usage: status 0, or 1 (after a note on
// standard error) when standard output cannot take it.
int print(std::string_view text) { return common::write_stdout("mkprob", text) ? 0 : 1; }

}  // namespace

int main(int argc, char* argv[]) {
  // A closed standard output or a file size limit shows as a failed write,
  // not as the end of the process.
  common::ignore_write_signals();

  if (argc == 2) {
    const std::string_view request = argv[1];
    if (request == "--help" || request == "-h") return print(mkprob::help_text());
    if (request == "--version") return print(mkprob::version_text());
  }
  if (argc != 3) {
    print(
        "\nCommand line: mkprob num error\n"
        "num: number of variables [positive > 1]\n"
        "err: absolute error [1-0.0001]\n");
    return 1;
  }

  const int32_t numvar = mkprob::parse_numvar(argv[1]);
  const float error = mkprob::parse_error(argv[2]);
  const std::string name = mkprob::problem_file_name(argv[1]);
  mkprob::RandStream draws;

  std::optional<common::ProgressLine> progress;
  if (::isatty(STDERR_FILENO)) progress.emplace("mkprob: writing");

  mkprob::AtomicFile file;
  if (!file.open(name)) return cannot_create(name);

  bool written = false;
  try {
    mkprob::ChunkWriter chunks(file.fd());
    chunks.write_out(file.replaces());
    mkprob::ProgressOut out(chunks, progress ? &*progress : nullptr, mkprob::expected_size(numvar, error));
    mkprob::write_problem(numvar, error, draws, out);
    written = chunks.finish();
  } catch (const std::exception&) {  // out of memory for the buffers
    written = false;
  }
  if (progress) progress->finish();
  if (!written) {
    file.discard();
    return cannot_write(name);
  }

  switch (file.commit()) {
    case mkprob::AtomicFile::Commit::done:
      return 0;
    case mkprob::AtomicFile::Commit::write_failed:
      return cannot_write(name);
    case mkprob::AtomicFile::Commit::rename_failed:
      return cannot_create(name);
  }
  return 1;
}
