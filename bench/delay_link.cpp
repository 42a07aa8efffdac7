// delay-link NS_A NS_B DELAY_MS RATE_MBIT: a link with a one-way delay and
// a rate between two network namespaces, for timing itsolv-mpi as if its
// machines were apart. Each namespace holds a TUN device tun0 (made and
// given its address by bench/measure_mpi_delay.sh); every packet read from
// one is written to the other once it has been sent at RATE_MBIT megabits a
// second (one packet after another, none dropped) and then DELAY_MS
// milliseconds have passed. Runs until it is ended by a signal.
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Nanos = long long;

Nanos now() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "delay-link: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

// tun0 of the network namespace `name` (/run/netns/NAME), non-blocking.
int attach(const std::string& name) {
  const int ns = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
  if (ns < 0 || ::setns(ns, CLONE_NEWNET) != 0) fail("namespace " + name);
  ::close(ns);
  const int tun = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ifreq request{};
  std::strncpy(request.ifr_name, "tun0", IFNAMSIZ - 1);
  request.ifr_flags = IFF_TUN | IFF_NO_PI;
  if (tun < 0 || ::ioctl(tun, TUNSETIFF, &request) != 0) fail("tun0 in " + name);
  return tun;
}

// One direction of the link: packets in flight, in the order they arrive.
struct Direction {
  int from, to;
  Nanos link_free = 0;  // when the packet being sent has left
  struct Packet {
    Nanos due;
    std::vector<char> bytes;
  };
  std::deque<Packet> flight;

  void read_all(Nanos delay, double nanos_per_byte) {
    char buffer[65536];
    for (ssize_t got; (got = ::read(from, buffer, sizeof buffer)) > 0;) {
      const Nanos start = std::max(now(), link_free);
      link_free = start + static_cast<Nanos>(static_cast<double>(got) * nanos_per_byte);
      flight.push_back({link_free + delay, std::vector<char>(buffer, buffer + got)});
    }
    if (errno != EAGAIN && errno != EINTR) fail("read");
  }

  void write_due() {
    while (!flight.empty() && flight.front().due <= now()) {
      const std::vector<char>& bytes = flight.front().bytes;
      if (::write(to, bytes.data(), bytes.size()) < 0 && errno != EAGAIN && errno != EIO) fail("write");
      flight.pop_front();
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: delay-link NS_A NS_B DELAY_MS RATE_MBIT\n");
    return 2;
  }
  const Nanos delay = static_cast<Nanos>(std::atof(argv[3]) * 1e6);
  const double nanos_per_byte = 8e3 / std::atof(argv[4]);
  const int a = attach(argv[1]), b = attach(argv[2]);
  ::prctl(PR_SET_TIMERSLACK, 1000UL);  // wake within a microsecond of a packet's time
  Direction ways[2] = {{a, b, 0, {}}, {b, a, 0, {}}};
  for (;;) {
    Nanos next = -1;
    for (const Direction& d : ways)
      if (!d.flight.empty() && (next < 0 || d.flight.front().due < next)) next = d.flight.front().due;
    const Nanos wait = next < 0 ? 1000000000LL : std::max<Nanos>(0, next - now());
    const timespec timeout{static_cast<time_t>(wait / 1000000000LL), static_cast<long>(wait % 1000000000LL)};
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    if (::ppoll(fds, 2, &timeout, nullptr) < 0 && errno != EINTR) fail("poll");
    for (int k = 0; k < 2; ++k)
      if (fds[k].revents & POLLIN) ways[k].read_all(delay, nanos_per_byte);
    for (Direction& d : ways) d.write_due();
  }
}
