// The generator written the plain way, one fprintf per number and one rand()
// per draw. Only for comparison with mkprob: same arguments, same file.

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::printf(
        "\nCommand line: straight_mkprob num error\n"
        "num: number of variables [positive > 1]\n"
        "err: absolute error [1-0.0001]\n");
    return 1;
  }
  const int numvar = static_cast<int>(std::strtol(argv[1], nullptr, 10));
  const float error = static_cast<float>(std::atof(argv[2]));
  const std::string name = std::string(argv[1]) + ".txt";

  std::FILE* file = std::fopen(name.c_str(), "w+t");
  if (file == nullptr) {
    std::printf("Cannot create file %s\n", name.c_str());
    return 1;
  }
  std::fprintf(file, "%d\n", numvar);
  std::fprintf(file, "%f\n", static_cast<double>(error));
  for (int i = 0; i < numvar; ++i) std::fprintf(file, "0 ");
  std::fprintf(file, "\n");
  const int diagonal = static_cast<int>(static_cast<unsigned>(numvar) * 100u);
  for (int i = 0; i < numvar; ++i) {
    for (int j = 0; j < numvar; ++j) std::fprintf(file, "%d ", j == i ? diagonal : std::rand() % 99 + 1);
    const int r1 = std::rand();
    const int r2 = std::rand();
    std::fprintf(file, "%d\n", r1 % 100 - r2 % 10);
  }
  return std::fclose(file) == 0 ? 0 : 1;
}
