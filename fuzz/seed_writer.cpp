// Writes the seed corpus of the block-file target into the folder given as
// the first argument: the block files of Seeds.h and, when the sample
// builders are linked in, a model file and a composite in the source edition.
// With a second folder, also the inputs of LayoutHarness.h for the layout
// target.
#include <cstdio>
#include <string>

#include "LayoutHarness.h"
#include "Messages.h"
#include "Platform.h"
#include "Seeds.h"

#ifdef ZEP_FUZZ_MODELS
#include "ModelBuilder.h"
#endif

namespace {

bool WriteLayoutSeeds(const std::string &dir) {
  if (!platform::MakeDirs(dir)) {
    std::fprintf(stderr, "cannot make %s\n", dir.c_str());
    return false;
  }
  int i = 0;
  for (const std::string &seed : fuzzing::LayoutSeeds()) {
    const std::string path = dir + platform::Separator + "seed" + std::to_string(i++);
    platform::RemoveFile(path);
    const platform::Handle h = platform::Open(path, platform::OpenMode::Create);
    const bool ok = h != platform::InvalidHandle &&
                    platform::Write(h, seed.data(), static_cast<int64_t>(seed.size()));
    if (h == platform::InvalidHandle || !platform::Close(h) || !ok) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s <block-file corpus folder> [<layout corpus folder>]\n",
                 argv[0]);
    return 2;
  }
  if (argc == 3 && !WriteLayoutSeeds(argv[2]))
    return 1;
  std::string dir = platform::AbsolutePath(argv[1]);
  if (dir.empty() || !platform::MakeDirs(dir)) {
    std::fprintf(stderr, "cannot make %s\n", argv[1]);
    return 1;
  }
  if (dir.back() != platform::Separator)
    dir += platform::Separator;
  try {
    auto seeds = fuzzing::WriteSeeds(dir);
#ifdef ZEP_FUZZ_MODELS
    // Small models: few and short records, so that the fuzzer stays fast.
    samples::ModelSpec m;
    m.count = 4;
    m.lf1Records = 1;
    m.innerRecords = 4;
    m.innerMaxRecord = 40;
    m.maxChunk = 2000;
    m.otherRecords = 1;
    m.otherMaxRecord = 40;
    samples::WriteModel(dir + "model.ims", m);
    seeds.push_back(dir + "model.ims");
    samples::CompositeSpec c;
    c.models = {m, m};
    c.otherRecords = 1;
    samples::WriteComposite(dir + "composite.imp", c);
    seeds.push_back(dir + "composite.imp");
#endif
    for (const auto &s : seeds)
      std::printf("%s %lld\n", s.c_str(), static_cast<long long>(platform::FileSize(s)));
  } catch (const ZError &e) {
    std::fprintf(stderr, "seed writer: %s (%d)\n", e.Message.c_str(), e.HelpContext);
    return 1;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "seed writer: %s\n", e.what());
    return 1;
  }
  return 0;
}
