// libFuzzer target: the input bytes are taken for a block file. It is read
// every way, compacted, and run through a whole conversion.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Harness.h"
#include "Platform.h"

#ifdef ZEP_FUZZ_CONVERSION
#include "Conversion.h"
#include "FileKinds.h"
#endif

namespace {

// One private folder for the whole run, removed at exit.
struct WorkDir {
  std::string path = platform::MakeTempDir("zep-fuzz-");
  ~WorkDir() { platform::RemoveTree(path); }
};

const std::string &Work() {
  static WorkDir dir;
  if (dir.path.empty())
    fuzzing::Fault("no temporary folder", "");
  return dir.path;
}

void WriteInput(const std::string &path, const uint8_t *data, size_t size) {
  platform::RemoveFile(path);
  const platform::Handle h = platform::Open(path, platform::OpenMode::Create);
  if (h == platform::InvalidHandle || !platform::Write(h, data, static_cast<int64_t>(size)) ||
      !platform::Close(h))
    fuzzing::Fault("cannot write the input", path);
}

// The conversion of the input as a model (with and without Boib record) and
// as a composite. Every failure is reported through the presenter and ends the
// conversion; nothing may crash.
void RunConversion(const std::string &input) {
#ifdef ZEP_FUZZ_CONVERSION
  static Engine engine;
  ScopedPresenter quiet([](const MsgRequest &) { return 0; });
  for (uint8_t kind : {KindIMS, KindComposite, uint8_t{5}}) {
    const std::string target = Work() + "target.bf";
    platform::RemoveFile(target);
    engine.ConvertFile(input, target, kind, ExistingTarget::Replace);
    platform::RemoveFile(target);
  }
#else
  (void)input;
#endif
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string input = Work() + "input.bf";
  WriteInput(input, data, size);
  fuzzing::RunBlockFileHarness(input, Work());
  RunConversion(input);
  platform::RemoveFile(input);
  return 0;
}
