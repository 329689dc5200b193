#include "BlockFileUtils.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include "BlockFile.h"
#include "Cursor.h"
#include "Edition.h"
#include "Messages.h"
#include "PathAliases.h"
#include "PlainFile.h"
#include "RecordBuffer.h"

namespace {

// Runs f; a ZError passes unchanged (it names the file and the fault, and
// 999 must stay silent), as does the user's request to stop; anything else
// becomes the system error report.
template <class F> auto Guarded(F f) {
  try {
    return f();
  } catch (const ZException &) {
    throw;
  } catch (const std::exception &) {
    OutSystemError("");
  }
}

void RemoveIfExists(const std::string &name) {
  const std::string real = GetRealName(name);
  if (platform::FileExists(real))
    platform::RemoveFile(real);
}

void CheckCount(const std::string &name, int count) {
  if (count < 0)
    throw ZError("Для файла " + name + " неверно задано число логических файлов " +
                     std::to_string(count),
                 0);
}

const char EndRecord[LenEof] = {0, '\xFF', '\xFF', '\xFF', '\xFF', 1, 0, EofMark};

} // namespace

int creat_bf(const std::string &name, int count, const char *edition) {
  return Guarded([&] {
    CheckCount(name, count);
    const uint32_t n = static_cast<uint32_t>(count);
    {
      SFile f(name, zfmCreate);
      unsigned char b[8];
      Put32(b, 16 * n + 8);
      Put32(b + 4, n);
      f.SWrite(b, 8);
      for (uint32_t i = 0; i < n; ++i) {
        Put32(b, 8 * n + 8 + 8 * i);
        Put32(b + 4, LenEof);
        f.SWrite(b, 8);
      }
      for (uint32_t i = 0; i < n; ++i)
        f.SWrite(EndRecord, LenEof);
      f.Close();
    }
    if (edition) {
      WFile w(name);
      w.WCreat_file(0);
      w.WWrite(0, static_cast<uint16_t>(std::strlen(edition)), edition);
      w.WClose_file(0, true);
      w.Close();
    }
    return 0;
  });
}

int creat_bf(const std::string &name, int count) {
  return creat_bf(name, count, ZEPVER.c_str());
}

bool creat_bfsp(const std::string &name, int count) {
  return Guarded([&] {
    CheckCount(name, count);
    SFile f(name, zfmCreate);
    unsigned char b[8] = {};
    Put32(b + 4, static_cast<uint32_t>(count));
    f.SWrite(b, 8);
    std::memset(b, 0, sizeof b);
    for (int i = 0; i < count; ++i)
      f.SWrite(b, 8);
    f.Close();
    return false;
  });
}

int copy_file(WFile *src, WFile *dst, int srcNo, int dstNo) {
  if (!src->Composite || !dst->Composite)
    throw ZError("При копировании логических файлов " + src->Name + " или " + dst->Name +
                     " не составной",
                 0);
  return Guarded([&] {
    src->WOpen_file(static_cast<uint32_t>(srcNo));
    dst->WCreat_file(static_cast<uint32_t>(dstNo));
    try {
      WRec r;
      while (src->WRead(&r))
        dst->WWrite(&r);
      dst->WClose_file(static_cast<uint32_t>(dstNo), true);
    } catch (...) {
      // A half-copied logical file must not be committed later by dst's
      // destruction: discard it.
      if (dst->OpenLog == static_cast<uint32_t>(dstNo)) {
        try {
          dst->WClose_file(static_cast<uint32_t>(dstNo), false);
        } catch (...) {
        }
      }
      throw;
    }
    return 0;
  });
}

int def_unused(const std::string &name) {
  try {
    WFile w(name, true);
    const uint64_t area =
        uint64_t(w.Header.EndAdr) - LenHeader - uint64_t(LenLogInfo) * w.Header.Count;
    uint64_t live = 0;
    for (uint32_t i = 0; i < w.Header.Count; ++i)
      live += w.Dir[i].Len;
    w.Close();
    if (area == 0)
      return 0; // no data area: nothing to measure
    const double used = std::trunc(double(live) * 100.0 / double(area));
    if (used >= 100.0)
      return 0;
    return 100 - static_cast<int>(used < 0 ? 0 : used);
  } catch (const ZError &e) {
    OutErr(e);
    return 0;
  }
}

bool compress_bf(const std::string &name, int minPercent, bool sync) {
  // def_unused never goes below 0, so minPercent <= 0 always compacts.
  if (minPercent > 0 && minPercent > def_unused(name))
    return false;
  return Guarded([&] {
    // The source is only read; the compacted copy replaces it by one rename.
    WFile w(name, true);
    const std::string copy = w.Name + "$";
    const std::string copyReal = GetRealName(copy);
    RemoveIfExists(copy);
    try {
      SFile c(copy, zfmRewrite);
      const uint32_t count = w.Header.Count;
      const unsigned char zero[8] = {};
      for (uint32_t i = 0; i <= count; ++i)
        c.SWrite(zero, 8);
      uint32_t p = LenHeader + LenLogInfo * count;
      WRec r;
      unsigned char prefix[LenPrefix];
      for (uint32_t i = 0; i < count; ++i) {
        w.WOpen_file(i);
        LogInfo &e = w.Dir[i]; // w never writes its directory back
        e = {p, 0};
        bool more;
        do {
          more = w.WRead(&r);
          prefix[0] = r.Flag;
          Put32(prefix + 1, EmptyAdr);
          prefix[5] = static_cast<unsigned char>(r.Len);
          prefix[6] = static_cast<unsigned char>(r.Len >> 8);
          c.SWrite(prefix, LenPrefix);
          c.SWrite(r.Data, r.Len);
          e.Len += LenPrefix + r.Len;
          p += LenPrefix + r.Len;
        } while (more);
      }
      c.Seek(0);
      unsigned char b[8];
      Put32(b, p);
      Put32(b + 4, count);
      c.SWrite(b, 8);
      for (uint32_t i = 0; i < count; ++i) {
        Put32(b, w.Dir[i].Adr);
        Put32(b + 4, w.Dir[i].Len);
        c.SWrite(b, 8);
      }
      c.Flush();
      if (sync && !platform::Sync(c.Handle))
        OutSystemError(copyReal);
      c.Close();
      w.Close();
      if (!platform::RenameFile(copyReal, w.Name))
        OutSystemError(copyReal + "=>" + w.Name);
    } catch (...) {
      platform::RemoveFile(copyReal);
      throw;
    }
    return false;
  });
}

int WfSf(const std::string &blockName, const std::string &textName) {
  return Guarded([&] {
    const std::string textReal = GetRealName(textName);
    RemoveIfExists(textName);
    try {
      WFile b(blockName, zfmRead);
      SFile t(textName, zfmCreate);
      WRec r;
      while (b.WRead(&r)) {
        // Skip the 16-bit count that WWrite of a text puts before the bytes.
        if (r.Len > 2)
          t.SWrite(r.Data + 2, r.Len - 2);
        t.SWrite("\r\n", 2);
      }
      t.Close();
      b.Close();
    } catch (...) {
      platform::RemoveFile(textReal);
      throw;
    }
    return 0;
  });
}

namespace {

constexpr int ReorgChunk = 10000;
constexpr uint32_t ReorgMaxSegment = 13000;

void FillTable(unsigned char *t, bool latinToCyrillic, bool dosToWindows) {
  for (int b = 0; b < 256; ++b)
    t[b] = static_cast<unsigned char>(b);
  if (dosToWindows) {
    // Cyrillic letters of the Ukrainian DOS code page to Windows-1251.
    for (int b = 128; b <= 175; ++b)
      t[b] = static_cast<unsigned char>(b + 64);
    for (int b = 224; b <= 239; ++b)
      t[b] = static_cast<unsigned char>(b + 16);
    t[244] = 0xAA;
    t[245] = 0xBA;
    t[246] = 0x49;
    t[247] = 0x69;
    t[248] = 0xAF;
    t[249] = 0xBF;
  }
  if (latinToCyrillic) {
    // Latin capitals that look like Cyrillic ones.
    const char latin[] = "ABCEHKMOPTX";
    const unsigned char cyr[] = {0xC0, 0xC2, 0xD1, 0xC5, 0xCD, 0xCA, 0xCC, 0xCE, 0xD0, 0xD2, 0xD5};
    for (int i = 0; i < 11; ++i)
      t[static_cast<unsigned char>(latin[i])] = cyr[i];
  }
}

} // namespace

int ReorgFile(const std::string &textName, const std::string &blockName, WRec *buffer,
              bool latinToCyrillic, bool dosToWindows) {
  return Guarded([&] {
    if (buffer->Capacity() < static_cast<int>(ReorgMaxSegment))
      throw ZError("Для файла " + textName + " мал буфер записи (" +
                       std::to_string(buffer->Capacity()) + ")",
                   0);
    unsigned char table[256];
    FillTable(table, latinToCyrillic, dosToWindows);
    const std::string vrm = GetRealName("Vrm");
    const std::string lsda = GetRealName("LsDa");
    bool built = false;
    std::string blockReal;
    try {
      int status = 0;
      bool star = false;
      {
        SFile text(textName, zfmRead);
        SFile out("Vrm", zfmCreate);
        SFile ends("LsDa", zfmCreate);
        uint32_t k = 0, s = 0;
        bool after = false;
        unsigned char *d = reinterpret_cast<unsigned char *>(buffer->Data);
        int got;
        while (status != 3 && (got = text.SRead(d, ReorgChunk)) > 0) {
          int kept = 0;
          for (int i = 0; i < got; ++i) {
            const unsigned char c = d[i];
            if (c == ' ' && after)
              continue;
            if (c == '\r' || c == '\n' || c == 0x1A || c == '\t')
              continue;
            if (c == '*') {
              unsigned char e[4];
              Put32(e, k + 1);
              ends.SWrite(e, 4);
              const uint32_t len = k - s + 1;
              if (len > ReorgMaxSegment)
                status = 1;
              else if (len < 2)
                status = 2;
              s = k + 1;
              after = true;
              star = true;
            } else if (c < 0x20) {
              status = 3;
              break;
            } else {
              after = false;
            }
            d[kept++] = table[c];
            ++k;
          }
          out.SWrite(d, kept);
        }
        ends.Close();
        out.Close();
        text.Close();
      }
      if (!star || status != 0) {
        platform::RemoveFile(vrm);
        platform::RemoveFile(lsda);
        return 1;
      }
      WFile b(blockName, zfmCreate);
      blockReal = b.Name;
      built = true;
      SFile out("Vrm", zfmRead);
      SFile ends("LsDa", zfmRead);
      uint32_t prev = 0;
      unsigned char e[4];
      while (ends.SRead(e, 4) == 4) {
        const uint32_t end = Get32(e);
        const int len = static_cast<int>(end - prev);
        if (out.SRead(buffer->Data, len) != len)
          throw ZError("Файл Vrm прочитан не полностью", 0);
        b.WWrite(0, static_cast<uint16_t>(len), buffer->Data);
        prev = end;
      }
      b.Close();
    } catch (...) {
      platform::RemoveFile(vrm);
      platform::RemoveFile(lsda);
      if (built)
        platform::RemoveFile(blockReal);
      throw;
    }
    platform::RemoveFile(vrm);
    platform::RemoveFile(lsda);
    return 0;
  });
}

void DCopyFile(const std::string &from, const std::string &to) {
  const std::string f = GetRealName(from);
  const std::string t = GetRealName(to);
  if (!platform::CopyPlainFile(f, t))
    OutSystemError(f + "=>" + t);
}

std::string GetDirCfg() {
  std::string dir = platform::CurrentDir();
  for (;;) {
    if (platform::DirExists(dir + "CFG"))
      return dir + "CFG" + platform::Separator;
    if (dir.size() <= 1)
      break;
    const size_t cut = dir.find_last_of(platform::Separators, dir.size() - 2);
    if (cut == std::string::npos)
      break;
    dir.resize(cut + 1);
  }
  throw ZError("Отсутствует директория CFG", 0);
}
