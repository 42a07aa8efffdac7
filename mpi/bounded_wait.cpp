#include "bounded_wait.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "common/write_all.hpp"
#include "message_tags.hpp"

namespace itsolv_mpi {
namespace {

constexpr double kSpinSeconds = 0.002;  // polled without sleeping
constexpr double kLongestPause = 0.01;  // between two polls
constexpr double kLongestGrace = 1;     // for the answers to a roll call
constexpr double kPrinterSeconds = 10;  // for the printing process to end the job
constexpr unsigned kAbortSeconds = 3;   // for MPI_Abort to end this process

double g_seconds = kDefaultWaitSeconds;
std::vector<std::string> g_hosts;

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

int rank_in(MPI_Comm comm) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  return rank;
}

// Prints the message (this process is the one to) and ends the job.
[[noreturn]] void end_job(MPI_Comm comm, int missing, double seconds) {
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::seconds(kAbortSeconds));
    _exit(1);
  }).detach();
  common::write_stdout("itsolv-mpi", no_answer_message(missing, host_name(missing), seconds));
  MPI_Abort(comm, 1);
  _exit(1);
}

// Answers the roll calls that have come; ends the job when told to by a
// process that found this one the lowest-numbered to answer.
void serve_others(MPI_Comm comm) {
  for (;;) {
    int called = 0, told = 0;
    MPI_Status status;
    MPI_Iprobe(MPI_ANY_SOURCE, kCallTag, comm, &called, &status);
    if (called) {
      char call = 0;
      MPI_Recv(&call, 1, MPI_CHAR, status.MPI_SOURCE, kCallTag, comm, MPI_STATUS_IGNORE);
      static const char here = 1;
      MPI_Request answer;
      MPI_Isend(&here, 1, MPI_CHAR, status.MPI_SOURCE, kHereTag, comm, &answer);
      MPI_Request_free(&answer);
      continue;
    }
    MPI_Iprobe(MPI_ANY_SOURCE, kNoticeTag, comm, &told, &status);
    if (!told) return;
    double notice[2] = {0, 0};
    MPI_Recv(notice, 2, MPI_DOUBLE, status.MPI_SOURCE, kNoticeTag, comm, MPI_STATUS_IGNORE);
    end_job(comm, static_cast<int>(notice[0]), notice[1]);
  }
}

// Calls the roll: the processes that did not answer within `grace`, in
// order; none when all did or when done() came true meanwhile.
std::vector<int> call_roll(MPI_Comm comm, const std::function<bool()>& done, double grace) {
  const int rank = rank_in(comm);
  int size = 1;
  MPI_Comm_size(comm, &size);
  static const char call = 1;
  std::vector<char> answers(static_cast<size_t>(size));
  std::vector<MPI_Request> replies(static_cast<size_t>(size), MPI_REQUEST_NULL);
  for (int k = 0; k < size; ++k) {
    if (k == rank) continue;
    MPI_Irecv(&answers[static_cast<size_t>(k)], 1, MPI_CHAR, k, kHereTag, comm, &replies[static_cast<size_t>(k)]);
    MPI_Request sent;
    MPI_Isend(&call, 1, MPI_CHAR, k, kCallTag, comm, &sent);
    MPI_Request_free(&sent);
  }
  const double start = now();
  bool finished = false;
  for (int all = 0; !(finished = done()) && now() - start < grace; pause(0.001)) {
    MPI_Testall(size, replies.data(), &all, MPI_STATUSES_IGNORE);
    if (all) break;
    serve_others(comm);
  }
  std::vector<int> missing;
  for (int k = 0; k < size; ++k) {
    MPI_Request& reply = replies[static_cast<size_t>(k)];
    int got = 0;
    MPI_Test(&reply, &got, MPI_STATUS_IGNORE);
    if (got) continue;
    if (!finished) missing.push_back(k);
    MPI_Cancel(&reply);
    MPI_Wait(&reply, MPI_STATUS_IGNORE);
  }
  return missing;
}

// Ends the job for want of an answer from the processes `missing`: this
// process prints when every process before it is missing; otherwise it
// tells the first that is not, and prints itself only if that one has not
// ended the job within kPrinterSeconds.
[[noreturn]] void give_up(MPI_Comm comm, const std::vector<int>& missing, double seconds) {
  const int rank = rank_in(comm);
  int printer = 0;
  while (printer < rank && std::find(missing.begin(), missing.end(), printer) != missing.end()) ++printer;
  if (printer == rank) end_job(comm, missing.front(), seconds);
  double notice[2] = {static_cast<double>(missing.front()), seconds};
  MPI_Request told;
  MPI_Isend(notice, 2, MPI_DOUBLE, printer, kNoticeTag, comm, &told);
  for (const double start = now(); now() - start < kPrinterSeconds; pause(kLongestPause)) serve_others(comm);
  end_job(comm, missing.front(), seconds);
}

}  // namespace

void set_wait_seconds(double seconds) { g_seconds = seconds; }

std::optional<double> parse_wait_seconds(const char* text) {
  int digits = 0, points = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c >= '0' && *c <= '9')
      ++digits;
    else if (*c == '.')
      ++points;
    else
      return std::nullopt;
  }
  if (digits == 0 || points > 1) return std::nullopt;
  const double seconds = std::strtod(text, nullptr);
  if (!(seconds > 0) || seconds > 1e9) return std::nullopt;
  return seconds;
}

const std::vector<std::string>& learn_hosts(MPI_Comm comm) {
  int size = 1, length = 0;
  MPI_Comm_size(comm, &size);
  char name[MPI_MAX_PROCESSOR_NAME] = {};
  MPI_Get_processor_name(name, &length);
  std::vector<char> all(static_cast<size_t>(size) * MPI_MAX_PROCESSOR_NAME);
  MPI_Request request;
  MPI_Iallgather(name, MPI_MAX_PROCESSOR_NAME, MPI_CHAR, all.data(), MPI_MAX_PROCESSOR_NAME, MPI_CHAR, comm, &request);
  wait_one(comm, request);
  g_hosts.clear();
  for (int k = 0; k < size; ++k) {
    const char* const at = &all[static_cast<size_t>(k) * MPI_MAX_PROCESSOR_NAME];
    g_hosts.emplace_back(at, strnlen(at, MPI_MAX_PROCESSOR_NAME));
  }
  return g_hosts;
}

std::string host_name(int process) {
  const size_t k = static_cast<size_t>(process);
  return process >= 0 && k < g_hosts.size() ? g_hosts[k] : std::string("an unknown host");
}

std::string no_answer_message(int process, const std::string& host, double seconds) {
  char text[64];
  std::snprintf(text, sizeof text, " for %g s\n", seconds);
  return "itsolv-mpi: no answer from process " + std::to_string(process) + " on " + host + text;
}

void wait_until(MPI_Comm comm, const std::function<bool()>& done, double extra_seconds) {
  const double bound = g_seconds + extra_seconds;
  for (;;) {
    for (const double start = now();;) {
      if (done()) return;
      const double waited = now() - start;
      if (waited >= bound) break;
      if (waited < kSpinSeconds) continue;  // MPI's polling gives up the core a turn at a time
      serve_others(comm);
      pause(std::min(waited / 16, kLongestPause));
    }
    const std::vector<int> missing = call_roll(comm, done, std::min(bound, kLongestGrace));
    if (!missing.empty()) give_up(comm, missing, bound);
    if (done()) return;  // every process answered: the wait goes on
  }
}

void wait_all(MPI_Comm comm, MPI_Request* requests, int count, double extra_seconds) {
  wait_until(
      comm,
      [&] {
        int all = 0;
        MPI_Testall(count, requests, &all, MPI_STATUSES_IGNORE);
        return all != 0;
      },
      extra_seconds);
}

}  // namespace itsolv_mpi
