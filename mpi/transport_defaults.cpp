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

std::string yield_default(const char* yield_env, const char* files_env, const std::string& yield_file) {
  return yield_env == nullptr && files_env == nullptr && yield_file.empty() ? "1" : "";
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

void set_open_mpi_defaults() {
  const bool adapter =
      exists("/sys/class/infiniband/*") || exists("/dev/hfi1_*") || exists("/dev/ipath*") || exists("/dev/cxi*");
  std::vector<std::string> files;
  if (const char* home = std::getenv("HOME")) files.push_back(std::string(home) + "/.openmpi/mca-params.conf");
  files.push_back(ITSOLV_OMPI_SYSCONFDIR "/openmpi-mca-params.conf");
  // The first file that sets a variable decides.
  const auto setting = [&](const std::string& name) {
    std::string value;
    for (size_t k = 0; k < files.size() && value.empty(); ++k) value = file_setting(files[k], name);
    return value;
  };
  const char* const files_env = std::getenv("OMPI_MCA_mca_base_param_files");
  const std::string pml = pml_default(std::getenv("OMPI_MCA_pml"), std::getenv("OMPI_MCA_mtl"), files_env,
                                      setting("pml"), setting("mtl"), adapter);
  if (!pml.empty()) setenv("OMPI_MCA_pml", pml.c_str(), 0);
  const std::string yield =
      yield_default(std::getenv("OMPI_MCA_mpi_yield_when_idle"), files_env, setting("mpi_yield_when_idle"));
  if (!yield.empty()) setenv("OMPI_MCA_mpi_yield_when_idle", yield.c_str(), 0);
  // hwloc's OpenGL component looks for X displays, one by one, each time
  // looking up the machine's name: seconds at every start where the name
  // does not resolve. The processes need no displays.
  setenv("HWLOC_COMPONENTS", "-gl", 0);
}

}  // namespace itsolv_mpi
