// The defaults itsolv-mpi gives Open MPI before it starts: only when nobody
// has chosen, and never against a choice made elsewhere.
#include "transport_defaults.hpp"

#include <gtest/gtest.h>

#include "support/temp_files.hpp"

namespace {

using itsolv_mpi::pml_default;

TEST(TransportDefaults, LeavesCmOutOnlyWhenNoChoiceIsMade) {
  struct Case {
    const char* name;
    const char *pml_env, *mtl_env, *files_env;
    std::string pml_file, mtl_file;
    bool adapter;
    std::string want;
  };
  const Case cases[] = {
      {"nothing chosen", nullptr, nullptr, nullptr, "", "", false, "^cm"},
      {"an adapter cm serves", nullptr, nullptr, nullptr, "", "", true, ""},
      {"pml in the environment", "ob1", nullptr, nullptr, "", "", false, ""},
      {"mtl in the environment", nullptr, "psm2", nullptr, "", "", false, ""},
      {"other parameter files", nullptr, nullptr, "/x.conf", "", "", false, ""},
      {"layers left out in a file", nullptr, nullptr, nullptr, "^ucx", "", false, "^ucx,cm"},
      {"cm left out in a file", nullptr, nullptr, nullptr, "^ucx, cm", "", false, ""},
      {"layers chosen in a file", nullptr, nullptr, nullptr, "ob1,ucx", "", false, ""},
      {"transports chosen in a file", nullptr, nullptr, nullptr, "", "psm2", false, ""},
      {"transports left out in a file", nullptr, nullptr, nullptr, "^ucx", "^ofi", false, "^ucx,cm"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(pml_default(c.pml_env, c.mtl_env, c.files_env, c.pml_file, c.mtl_file, c.adapter), c.want) << c.name;
}

TEST(TransportDefaults, YieldsWhileWaitingUnlessSetElsewhere) {
  EXPECT_EQ(itsolv_mpi::yield_default(nullptr, nullptr, ""), "1");
  EXPECT_EQ(itsolv_mpi::yield_default("0", nullptr, ""), "");
  EXPECT_EQ(itsolv_mpi::yield_default(nullptr, "/x.conf", ""), "");
  EXPECT_EQ(itsolv_mpi::yield_default(nullptr, nullptr, "0"), "");
}

TEST(TransportDefaults, ReadsTheLastSettingOfAParameterFile) {
  const testing_support::TempFile file("# pml = ob1\nmtl = ^ofi\n  pml=ob1\n pml = ^ucx \r\nbtl_tcp_if = lo\n");
  EXPECT_EQ(itsolv_mpi::file_setting(file.path(), "pml"), "^ucx");
  EXPECT_EQ(itsolv_mpi::file_setting(file.path(), "mtl"), "^ofi");
  EXPECT_EQ(itsolv_mpi::file_setting(file.path(), "btl"), "");
  EXPECT_EQ(itsolv_mpi::file_setting(std::string(file.path()) + ".missing", "pml"), "");
}

}  // namespace
