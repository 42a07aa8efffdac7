// Defaults for Open MPI that itsolv-mpi sets for itself before MPI starts.
//
// Open MPI picks its point-to-point layer by starting every candidate. The
// "cm" layer, for Omni-Path, PSM and libfabric networks, spends about 0.2 s
// of every start-up looking for their adapters (PSM2 waits for one in a
// loop) before Open MPI falls back to another layer, on a machine that has
// no such adapter. On such a machine the process leaves "cm" out of the
// candidates, unless a choice of layer has been made elsewhere:
//   - OMPI_MCA_pml or OMPI_MCA_mtl in the environment (mpirun's --mca and
//     -x put them there), or other parameter files named there: left alone;
//   - a pml or mtl setting in the user's or the system's parameter file: a
//     list of layers to use, or of transports to use, is left alone; a list
//     of layers to leave out gets "cm" added, as the environment would
//     otherwise replace it.
// Machines that all lack such adapters then agree on the layer, as they did
// before; a machine that has one chooses as it always has.
//
// A process waiting for the others (in the gathering after every sweep)
// gives up its core while it waits (mpi_yield_when_idle), unless that was
// set in the environment or a parameter file: when other work shares a
// machine, the process that is behind gets the core sooner; on an idle
// machine the waiting costs a system call a turn. Open MPI does the same by
// itself only when a machine has more processes than cores.
//
// Nothing here calls MPI; an MPI other than Open MPI ignores the variables.
#pragma once

#include <string>
#include <vector>

namespace itsolv_mpi {

// The value to give OMPI_MCA_pml, or "" to leave it unset: from the
// environment's settings (`pml_env`, `mtl_env`, `files_env`: null when
// unset), the pml and mtl values of the parameter files in the order Open
// MPI reads them (the first that sets one wins; "" when none does), and
// whether the machine has an adapter that "cm" serves.
std::string pml_default(const char* pml_env, const char* mtl_env, const char* files_env, const std::string& pml_file,
                        const std::string& mtl_file, bool fabric_adapter);

// Reads the setting `name` from Open MPI's parameter file at `path` ("" when
// the file does not set it).
std::string file_setting(const std::string& path, const std::string& name);

// The value to give OMPI_MCA_mpi_yield_when_idle, or "" to leave it unset:
// from the environment's settings (null when unset) and the files' value
// ("" when none sets it).
std::string yield_default(const char* yield_env, const char* files_env, const std::string& yield_file);

// Sets OMPI_MCA_pml and OMPI_MCA_mpi_yield_when_idle as pml_default and
// yield_default say for this process and machine, and leaves hwloc's OpenGL
// component out unless HWLOC_COMPONENTS is set.
void set_open_mpi_defaults();

}  // namespace itsolv_mpi
