// A seccomp filter for a test's child: the program is ended at once (by
// SIGSYS) when it makes any of the given system calls, at a point the test
// chooses rather than after a delay.
#pragma once

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace testing_support {

// Call in the child before exec (RunOptions::in_child); the child exits
// with status 98 where filters cannot be set.
inline void kill_at_calls(std::initializer_list<int> calls) {
  std::vector<sock_filter> code{BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
  const auto count = static_cast<unsigned char>(calls.size());
  unsigned char k = 0;
  for (int call : calls)
    code.push_back(
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(call), static_cast<unsigned char>(count - k++), 0));
  code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  code.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
  const sock_fprog program{static_cast<unsigned short>(code.size()), code.data()};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
    ::_exit(98);
}

}  // namespace testing_support
