// Writes the data of the conversion benchmark (reused when present):
//   conversion_datagen big FILE MEGABYTES   one model file of about that size
//   conversion_datagen many DIR COUNT       a tree of COUNT small files of mixed kinds
#include "ModelBuilder.h"
#include "SampleTree.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char **argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s big FILE MEGABYTES | many DIR COUNT\n", argv[0]);
    return 2;
  }
  const std::string what = argv[1], path = argv[2];
  const long n = std::atol(argv[3]);
  try {
    if (what == "big") {
      samples::LargeModelSpec shape;
      shape.targetBytes = static_cast<uint64_t>(n) << 20;
      const uint64_t size = samples::WriteLargeModel(path, shape);
      std::printf("wrote %s (%llu bytes)\n", path.c_str(), static_cast<unsigned long long>(size));
    } else if (what == "many") {
      const auto files = samples::WriteManySmallFiles(path, static_cast<int>(n), 1);
      std::printf("wrote %zu files below %s\n", files.size(), path.c_str());
    } else {
      std::fprintf(stderr, "unknown data kind %s\n", what.c_str());
      return 2;
    }
  } catch (const std::exception &e) {
    std::fprintf(stderr, "conversion_datagen: %s\n", e.what());
    return 1;
  }
  return 0;
}
