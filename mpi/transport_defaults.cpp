#include "transport_defaults.hpp"

#include <glob.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace itsolv_mpi {
namespace {

std::string trimmed(const std::string& s) {
  const size_t from = s.find_first_not_of(" \t\r");
  if (from == std::string::npos) return "";
  return s.substr(from, s.find_last_not_of(" \t\r") - from + 1);
}

// Whether any path matches `pattern`.
bool exists(const char* pattern) {
  glob_t found{};
  const bool any = glob(pattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0;
  globfree(&found);
  return any;
}

}  // namespace

std::string pml_default(const char* pml_env, const char* mtl_env, const char* files_env, const std::string& pml_file,
                        const std::string& mtl_file, bool fabric_adapter) {
  if (pml_env != nullptr || mtl_env != nullptr || files_env != nullptr || fabric_adapter) return "";
  if (!mtl_file.empty() && mtl_file[0] != '^') return "";  // transports that only "cm" runs
  if (pml_file.empty()) return "^cm";
  if (pml_file[0] != '^') return "";
  std::istringstream left_out(pml_file.substr(1));
  for (std::string name; std::getline(left_out, name, ',');)
    if (trimmed(name) == "cm") return "";
  return pml_file + ",cm";
}

std::string file_setting(const std::string& path, const std::string& name) {
  std::ifstream file(path);
  std::string value;
  for (std::string line; std::getline(file, line);) {
    const size_t equals = line.find('=');
    if (trimmed(line).rfind('#', 0) == 0 || equals == std::string::npos) continue;
    if (trimmed(line.substr(0, equals)) == name) value = trimmed(line.substr(equals + 1));
  }
  return value;
}

void prefer_quick_transports() {
  const bool adapter =
      exists("/sys/class/infiniband/*") || exists("/dev/hfi1_*") || exists("/dev/ipath*") || exists("/dev/cxi*");
  std::vector<std::string> files;
  if (const char* home = std::getenv("HOME")) files.push_back(std::string(home) + "/.openmpi/mca-params.conf");
  files.push_back(ITSOLV_OMPI_SYSCONFDIR "/openmpi-mca-params.conf");
  std::string pml, mtl;
  for (const std::string& path : files) {
    if (pml.empty()) pml = file_setting(path, "pml");
    if (mtl.empty()) mtl = file_setting(path, "mtl");
  }
  const std::string value = pml_default(std::getenv("OMPI_MCA_pml"), std::getenv("OMPI_MCA_mtl"),
                                        std::getenv("OMPI_MCA_mca_base_param_files"), pml, mtl, adapter);
  if (!value.empty()) setenv("OMPI_MCA_pml", value.c_str(), 0);
}

}  // namespace itsolv_mpi
