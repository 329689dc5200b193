// Times the block file storage against cp of the same bytes: reading a
// logical file of about 100 MB in records of mixed sizes, copying it into
// another block file, and compacting a 100 MB file with 30 % dead space.
// Usage: storage_bench <work folder>   (the folder is created; data is reused)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "BlockFile.h"
#include "BlockFileUtils.h"
#include "Messages.h"
#include "Platform.h"
#include "RecordBuffer.h"

namespace {

constexpr int64_t Target = 100LL * 1000 * 1000;
constexpr int Runs = 3;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Writes records of mixed sizes (mostly small, some near the limit) into
// logical file n until `bytes` of bodies are written.
void WriteMixed(WFile &w, uint32_t n, int64_t bytes, uint32_t seed) {
  std::mt19937 rnd(seed);
  WRec r;
  for (int i = 0; i < UseLenRec; ++i)
    r.Data[i] = static_cast<char>(rnd());
  w.WCreat_file(n);
  int64_t done = 0;
  while (done < bytes) {
    const uint32_t pick = rnd() % 100;
    int len = pick < 60   ? 1 + int(rnd() % 100)
              : pick < 90 ? 100 + int(rnd() % 2000)
                          : 2000 + int(rnd() % 18000);
    r.Len = static_cast<uint16_t>(len);
    r.Flag = static_cast<uint8_t>(pick & 1);
    w.WWrite(&r);
    done += len + 7;
  }
  w.WClose_file(n, true);
}

template <class F> double Best(F f) {
  double best = 1e9;
  for (int i = 0; i < Runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    best = std::min(best, Seconds(t0));
  }
  return best;
}

double Cp(const std::string &from, const std::string &to) {
  const std::string cmd = "cp '" + from + "' '" + to + "'";
  return Best([&] {
    if (std::system(cmd.c_str()) != 0)
      std::fprintf(stderr, "cp failed\n");
  });
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: storage_bench <work folder>\n");
    return 2;
  }
  std::string dir = argv[1];
  if (!platform::IsSeparator(dir.back()))
    dir += platform::Separator;
  platform::MakeDirs(dir);
  SetPresenter([](const MsgRequest &r) {
    std::fprintf(stderr, "%s\n", r.Text.c_str());
    return 0;
  });
  try {
    const std::string src = dir + "mixed.bf";
    const std::string dead = dir + "dead.bf";
    if (platform::FileSize(src) < Target) {
      platform::RemoveFile(src);
      creat_bf(src, 3, "5-2.10.5");
      WFile w(src);
      WriteMixed(w, 1, Target, 1);
      w.Close();
    }
    const double size = double(platform::FileSize(src));

    WRec r;
    int64_t records = 0;
    const double read = Best([&] {
      WFile w(src, true);
      w.WOpen_file(1);
      records = 0;
      while (w.WRead(&r))
        ++records;
    });
    const double copy = Best([&] {
      platform::RemoveFile(dir + "copy.bf");
      creat_bf(dir + "copy.bf", 3, "5-2.10.3");
      WFile in(src, true);
      WFile out(dir + "copy.bf");
      copy_file(&in, &out, 1, 1);
      out.Close();
    });
    // 30 % dead space: an older version of logical file 1, then the live one.
    auto makeDead = [&] {
      platform::RemoveFile(dead);
      creat_bf(dead, 3, "5-2.10.5");
      WFile w(dead);
      WriteMixed(w, 1, Target * 3 / 10, 2);
      WriteMixed(w, 1, Target * 7 / 10, 3);
      w.Close();
    };
    double compact = 1e9;
    int unused = 0;
    for (int i = 0; i < Runs; ++i) {
      makeDead();
      unused = def_unused(dead);
      auto t0 = std::chrono::steady_clock::now();
      compress_bf(dead, 0);
      compact = std::min(compact, Seconds(t0));
    }
    const double deadSize = double(platform::FileSize(dead));
    makeDead();
    const double deadBefore = double(platform::FileSize(dead));
    const double cpSrc = Cp(src, dir + "cp.bf");
    const double cpDead = Cp(dead, dir + "cp.bf");
    for (const char *f : {"cp.bf", "copy.bf", "dead.bf"})
      platform::RemoveFile(dir + f);

    std::printf("storage benchmark (best of %d; cp of the same file as reference)\n", Runs);
    std::printf("  file %.1f MB, %lld records of 1..20000 bytes\n", size / 1e6,
                static_cast<long long>(records));
    std::printf("  cp                %8.3f s  %7.1f MB/s\n", cpSrc, size / 1e6 / cpSrc);
    std::printf("  read logical file %8.3f s  %7.1f MB/s  ratio to cp %.2f\n", read,
                size / 1e6 / read, read / cpSrc);
    std::printf("  copy_file         %8.3f s  %7.1f MB/s  ratio to cp %.2f\n", copy,
                size / 1e6 / copy, copy / cpSrc);
    std::printf("  compress_bf       %8.3f s  (%d %% dead, %.1f MB -> %.1f MB)  ratio to cp %.2f\n",
                compact, unused, deadBefore / 1e6, deadSize / 1e6, compact / cpDead);
  } catch (const ZError &e) {
    std::fprintf(stderr, "failed: %s (%d)\n", e.Message.c_str(), e.HelpContext);
    return 1;
  }
  return 0;
}
