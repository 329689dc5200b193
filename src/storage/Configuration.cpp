#include "Configuration.h"

#include <cstring>

#include "BilingualText.h"
#include "BlockFile.h"
#include "BlockFileUtils.h"
#include "Messages.h"
#include "PathAliases.h"
#include "PlainFile.h"
#include "Platform.h"
#include "RecordBuffer.h"

std::string DirCfg;
std::string gBoibPath;

namespace {

// Files a full start needs in the configuration folder, in the order checked.
constexpr const char *RequiredFiles[] = {"alias.zep", "cfg.zep", "boib.sfr", "dop.zep"};

// The message for the missing files, or empty when none is missing.
std::string MissingFilesMessage(const std::string &dir) {
  std::string list;
  int missing = 0;
  for (const char *f : RequiredFiles) {
    if (!platform::FileExists(GetRealName(dir + f))) {
      list += std::string(" \"") + f + "\",";
      ++missing;
    }
  }
  if (missing == 0)
    return {};
  list.pop_back(); // the final comma
  return "У теці CFG по маршруту " + dir + (missing > 1 ? " відсутні файли " : " відсутній файл ") +
         list + ".\n Робота програми припиняється!";
}

// One record of the alias file: "ALIAS#path" or "ALIAS#rus path#ukr path".
// The stored bytes are Windows-1251; names and paths are program texts.
void AddAliasRecord(const WRec &r, int index) {
  const std::string text = Cp1251ToUtf8(std::string_view(r.Data, strnlen(r.Data, r.Len)));
  const size_t first = text.find('#');
  const std::string alias = text.substr(0, first);
  const std::string rest = first == std::string::npos ? std::string() : text.substr(first + 1);
  const size_t second = rest.find('#');
  const std::string path = rest.substr(0, second);
  const std::string other = second == std::string::npos ? std::string() : rest.substr(second + 1);
  AddAlias(alias, index);
  if (other.empty())
    AddPath(path);
  else
    AddPath(path, other);
}

// The configured edition: from byte CfgEditionPos up to its zero byte.
std::string CfgEdition() {
  const char *p = reinterpret_cast<const char *>(Cfg) + CfgEditionPos;
  return std::string(p, strnlen(p, CfgSize - CfgEditionPos));
}

} // namespace

int InitPath(bool full) {
  CreatePathLists();
  DirCfg = GetDirCfg();
  std::string aliasFile;
  if (full) {
    gBoibPath = DirCfg;
    const std::string message = MissingFilesMessage(DirCfg);
    if (!message.empty()) {
      ShowMessage(message);
      return 1;
    }
    aliasFile = "alias.zep";
    ReadCfg(DirCfg);
    SZEPVER ver;
    ver.LoadVerCfg(CfgEdition());
  } else {
    aliasFile = "File.Cfg";
    cLoadMsg = nullptr;
  }
  {
    WFile f(DirCfg + aliasFile, zfmRead);
    WRec *buf = GetBuf();
    try {
      for (int i = 0; f.WRead(buf); ++i)
        AddAliasRecord(*buf, i);
    } catch (...) {
      FreeBuf(buf);
      throw;
    }
    FreeBuf(buf);
    f.Close();
  }
  SortAliases();
  return 0;
}

void DeInitPath() {
  FreePathLists();
}

void ReadCfg(const std::string &folder) {
  SFile f(folder.empty() ? std::string("CFG#cfg.zep") : folder + "cfg.zep", zfmRead);
  int got = 0;
  while (got < CfgSize) {
    const int n = f.SRead(Cfg + got, CfgSize - got);
    if (n <= 0)
      break;
    got += n;
  }
  f.Close();
}

void WriteCfg() {
  SFile f("CFG#cfg.zep", zfmReadWrite);
  f.SWrite(Cfg, CfgSize);
  f.Close();
}
