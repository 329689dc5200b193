// Writes the data of the conversion benchmark (reused when present):
//   conversion_datagen big FILE MEGABYTES [KIND]   one model file of about that size
//                                                  (kind 1, IMS with a Boib record, by default)
//   conversion_datagen composite FILE MODELS KB    a composite of MODELS models of about KB each
//   conversion_datagen many DIR COUNT              a tree of COUNT small files of mixed kinds
//   conversion_datagen sized DIR COUNT MIN MAX     a tree of COUNT model files of MIN to MAX MB
#include "ModelBuilder.h"
#include "SampleTree.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

namespace {

int Usage(const char *self) {
  std::fprintf(stderr,
               "usage: %s big FILE MEGABYTES [KIND] | composite FILE MODELS KB | many DIR COUNT |"
               " sized DIR COUNT MIN MAX\n",
               self);
  return 2;
}

// Models of about `kb` kilobytes each, most of it their inner files.
samples::CompositeSpec CompositeShape(long models, long kb) {
  samples::CompositeSpec shape;
  shape.count = 5;
  for (long i = 0; i < models; ++i) {
    samples::ModelSpec m;
    m.seed = static_cast<uint64_t>(i) + 1;
    m.innerRecords = static_cast<int>(kb * 1024 * 8 / 10 / 2000);
    m.innerMaxRecord = 4000;
    m.otherRecords = static_cast<int>(kb * 1024 / 10 / 2500 / 2 + 1);
    shape.models.push_back(m);
  }
  return shape;
}

// Model files of MIN..MAX MB, IMS and BNP by turns, 50 to a folder.
void WriteSized(const std::string &dir, long count, long minMb, long maxMb) {
  const std::string tmp = dir + ".tmp";
  std::filesystem::create_directories(tmp);
  for (long i = 0; i < count; ++i) {
    const std::string folder = dir + "/d" + std::to_string(i / 50);
    std::filesystem::create_directories(folder);
    samples::LargeModelSpec shape;
    shape.seed = static_cast<uint64_t>(i) + 1;
    shape.kind = i % 2 == 0 ? 1 : 5;
    const long mb = minMb + (maxMb > minMb ? i * 7919 % (maxMb - minMb + 1) : 0);
    shape.targetBytes = static_cast<uint64_t>(mb) << 20;
    shape.tempDir = tmp;
    samples::WriteLargeModel(folder + "/f" + std::to_string(i) + (i % 2 == 0 ? ".IMS" : ".BNP"),
                             shape);
  }
  std::filesystem::remove_all(tmp);
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 4)
    return Usage(argv[0]);
  const std::string what = argv[1], path = argv[2];
  const long n = std::atol(argv[3]);
  try {
    if (what == "big" && argc <= 5) {
      samples::LargeModelSpec shape;
      shape.targetBytes = static_cast<uint64_t>(n) << 20;
      if (argc == 5)
        shape.kind = static_cast<uint8_t>(std::atoi(argv[4]));
      const uint64_t size = samples::WriteLargeModel(path, shape);
      std::printf("wrote %s (%llu bytes)\n", path.c_str(), static_cast<unsigned long long>(size));
    } else if (what == "composite" && argc == 5) {
      const auto c = samples::WriteComposite(path, CompositeShape(n, std::atol(argv[4])));
      std::printf("wrote %s (%zu models, %zu bytes)\n", path.c_str(), c.models.size(),
                  c.image.bytes.size());
    } else if (what == "many" && argc == 4) {
      const auto files = samples::WriteManySmallFiles(path, static_cast<int>(n), 1);
      std::printf("wrote %zu files below %s\n", files.size(), path.c_str());
    } else if (what == "sized" && argc == 6) {
      WriteSized(path, n, std::atol(argv[4]), std::atol(argv[5]));
      std::printf("wrote %ld files below %s\n", n, path.c_str());
    } else {
      return Usage(argv[0]);
    }
  } catch (const std::exception &e) {
    std::fprintf(stderr, "conversion_datagen: %s\n", e.what());
    return 1;
  }
  return 0;
}
