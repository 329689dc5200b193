// Loading the suite's configuration folder: the required files, the
// configuration record Cfg (BilingualText.h), the path aliases (PathAliases.h) and the
// configured edition.
#pragma once

#include <string>

// The configuration folder found by InitPath, with its trailing separator.
extern std::string DirCfg;
// Folder of the Boib descriptor file; InitPath (full mode) sets it to DirCfg.
extern std::string gBoibPath;

// Full mode: checks that "alias.zep", "cfg.zep", "boib.sfr" and "dop.zep" are
// in the configuration folder (when not, shows which are missing through
// ShowMessage and returns 1), reads Cfg, makes its edition current and loads
// the aliases of "alias.zep". Reduced mode: loads the aliases of "File.Cfg"
// and empties the message loader hook. Returns 0 when loaded. The failure of
// GetDirCfg and errors of the alias file propagate.
int InitPath(bool full);
// Frees the alias lists.
void DeInitPath();
// Reads up to CfgSize bytes of folder + "cfg.zep" (empty folder:
// "CFG#cfg.zep") into Cfg.
void ReadCfg(const std::string &folder);
// Writes Cfg back into the existing file "CFG#cfg.zep".
void WriteCfg();
