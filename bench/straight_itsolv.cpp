// The solver written the plain way: fscanf per token, one malloc per matrix
// row, scalar Jacobi sweeps and one printf per value. Only for comparing the
// speed and the memory use of itsolv; on valid problems it prints the same
// bytes.

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Problem state, held until the process ends.
int num = 0;
float err = 0.0f;
float** a = nullptr;
float* b = nullptr;
float* x = nullptr;
float* curr = nullptr;

void get_input(const char* path) {
  std::FILE* fp = std::fopen(path, "r");
  if (fp == nullptr) {
    std::printf("Cannot open file %s\n", path);
    std::exit(1);
  }
  // Scan results are not tested: a short file leaves later values unread.
  int scanned = std::fscanf(fp, "%d ", &num);
  scanned += std::fscanf(fp, "%f ", &err);

  const size_t n = static_cast<size_t>(static_cast<long>(num));
  a = static_cast<float**>(std::malloc(n * sizeof(float*)));
  if (a == nullptr) {
    std::printf("Cannot allocate a!\n");
    std::exit(1);
  }
  for (int i = 0; i < num; i++) {
    a[i] = static_cast<float*>(std::malloc(n * sizeof(float)));
    if (a[i] == nullptr) {
      std::printf("Cannot allocate a[%d]!\n", i);
      std::exit(1);
    }
  }
  x = static_cast<float*>(std::malloc(n * sizeof(float)));
  if (x == nullptr) {
    std::printf("Cannot allocate x!\n");
    std::exit(1);
  }
  curr = static_cast<float*>(std::malloc(n * sizeof(float)));
  if (curr == nullptr) {
    std::printf("Cannot allocate curr!\n");
    std::exit(1);
  }
  b = static_cast<float*>(std::malloc(n * sizeof(float)));
  if (b == nullptr) {
    std::printf("Cannot allocate b!\n");
    std::exit(1);
  }

  for (int i = 0; i < num; i++) scanned += std::fscanf(fp, "%f ", &x[i]);
  for (int i = 0; i < num; i++) {
    for (int j = 0; j < num; j++) scanned += std::fscanf(fp, "%f ", &a[i][j]);
    scanned += std::fscanf(fp, "%f ", &b[i]);
  }
  static_cast<void>(scanned);
  std::fclose(fp);
}

void check_matrix() {
  int strict = 0;
  for (int i = 0; i < num; i++) {
    const float d = std::fabs(a[i][i]);
    float s = 0.0f;
    for (int k = 0; k < num; k++) {
      if (k == i) continue;
      s += std::fabs(a[i][k]);
    }
    if (s > d) {
      std::printf("The matrix will not converge.\n");
      std::printf("aii = %f  sum = %f\n", static_cast<double>(d), static_cast<double>(s));
      std::exit(1);
    }
    if (d > s) strict++;
  }
  if (strict == 0) {
    std::printf("The matrix will not converge...\n");
    std::exit(1);
  }
}

void copy_curr() {
  for (int i = 0; i < num; i++) curr[i] = x[i];
}

void update_var(int i) {
  float s = 0.0f;
  for (int j = 0; j < num; j++) {
    if (j == i) continue;
    s = curr[j] * a[i][j] + s;
  }
  x[i] = (b[i] - s) / a[i][i];
}

float get_max_err() {
  float m = std::fabs((x[0] - curr[0]) / x[0]);
  for (int i = 1; i < num; i++) {
    const float c = std::fabs((x[i] - curr[i]) / x[i]);
    if (c > m) m = c;
  }
  return m;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::printf("Usage: itsolv filename\n");
    return 1;
  }
  get_input(argv[1]);
  check_matrix();

  int iterations = 0;
  float e;
  do {
    copy_curr();
    for (int i = 0; i < num; i++) update_var(i);
    e = get_max_err();
    iterations++;
  } while (e > err);

  for (int i = 0; i < num; i++) std::printf("%f\n", static_cast<double>(x[i]));
  std::printf("total number of iterations: %d\n", iterations);
  return 0;
}
