#include <cstdio>

int main() {
  std::puts("albumora: work in progress");
  return 0;
}
