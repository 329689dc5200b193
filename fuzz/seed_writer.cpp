// Writes the seed corpus of the fuzz target into the folder given as the
// only argument: the block files of Seeds.h and, when the sample builders are
// linked in, a model file and a composite in the source edition.
#include <cstdio>
#include <string>

#include "Messages.h"
#include "Platform.h"
#include "Seeds.h"

#ifdef ZEP_FUZZ_MODELS
#include "ModelBuilder.h"
#endif

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
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
