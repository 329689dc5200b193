#include "MassConversion.h"

#include "FileKinds.h"
#include "FileSearch.h"
#include "Messages.h"
#include "Platform.h"

namespace {

const std::string SameFolderMessage =
    "Папки \"Откуда\" и \"Куда\" совпадают.\nПреобразование \"сам в себя\" невозможно!";
const std::string AbortQuestion = "Прервать преобразование?";

} // namespace

void AddKindToSelection(Engine &engine, uint8_t kind, std::vector<std::string> &files,
                        Selection &sel) {
  std::erase_if(files, [&](const std::string &p) { return !engine.IsSourceEdition(p); });
  if (files.empty())
    return;
  const FileKind *k = KindByCode(kind);
  sel.push_back({.header = true,
                 .kind = kind,
                 .text = k ? k->description : "",
                 .enabled = false,
                 .ticked = false});
  for (const auto &p : files)
    sel.push_back({.header = false, .kind = kind, .text = p, .enabled = true, .ticked = true});
}

Selection BuildSelection(Engine &engine, const std::string &sourceFolder) {
  Selection sel;
  // The tree is walked once; each kind takes its files from the one listing.
  std::vector<std::string> all, files;
  GetTreeFiles(sourceFolder, all);
  for (const FileKind &k : FileKinds()) {
    files.clear();
    FilterByMask(all, std::string("*.") + k.extension, files);
    AddKindToSelection(engine, k.code, files, sel);
  }
  return sel;
}

std::string MassTargetPath(const std::string &sourceFolder, const std::string &targetFolder,
                           const std::string &source) {
  // The prefix is cut by length: every source path comes from a search below
  // sourceFolder. A shorter path keeps nothing rather than reading past it.
  const size_t cut = std::min(sourceFolder.size(), source.size());
  return targetFolder + source.substr(cut);
}

bool PrepareMassConversion(const Selection &sel, const std::string &sourceFolder,
                           const std::string &targetFolder, ExistingTarget policy,
                           std::vector<PlannedFile> &plan) {
  plan.clear();
  uint8_t kind = 0;
  for (size_t i = 0; i < sel.size(); ++i) {
    const SelectionRow &row = sel[i];
    if (!row.enabled) {
      kind = row.kind; // a header row: the kind of the rows below it
      continue;
    }
    if (!row.ticked)
      continue;
    PlannedFile f{i, row.text, MassTargetPath(sourceFolder, targetFolder, row.text), kind,
                  policy == ExistingTarget::Replace ? ExistingTarget::Replace
                                                    : ExistingTarget::Copy};
    if (policy == ExistingTarget::Ask && platform::FileExists(f.target)) {
      if (AskYesNo("Заменить файл?\n" + f.target))
        f.policy = ExistingTarget::Replace;
      else if (AskYesNo(AbortQuestion))
        return false;
    }
    plan.push_back(std::move(f));
  }
  return true;
}

std::vector<MassResult> RunMassConversion(Engine &engine, const std::vector<PlannedFile> &plan,
                                          bool askAfterFailure,
                                          const std::function<void(const MassResult &)> &onResult) {
  std::vector<MassResult> results;
  for (const PlannedFile &f : plan) {
    const ConvertOutcome out = engine.ConvertFile(f.source, f.target, f.kind, f.policy);
    results.push_back({f.source, out.target, f.kind, out.ok});
    if (onResult)
      onResult(results.back());
    if (!out.ok && askAfterFailure && AskYesNo(AbortQuestion))
      break;
  }
  return results;
}

int MassReport::failed() const {
  int n = 0;
  for (const auto &r : results)
    n += !r.ok;
  return n;
}

MassReport MassConvert(Engine &engine, const MassRequest &req) {
  MassReport report;
  if (req.sourceFolder == req.targetFolder) {
    ShowMessage(SameFolderMessage);
    report.status = MassStatus::SameFolder;
    return report;
  }
  Selection sel = BuildSelection(engine, req.sourceFolder);
  if (sel.empty()) {
    ShowMessage("Не найдено ни одного файла");
    report.status = MassStatus::NothingFound;
    return report;
  }
  std::vector<PlannedFile> plan;
  if ((req.select && !req.select(sel)) ||
      !PrepareMassConversion(sel, req.sourceFolder, req.targetFolder, req.policy, plan)) {
    ShowMessage("Отменено пользователем");
    report.status = MassStatus::Cancelled;
    return report;
  }
  report.results = RunMassConversion(engine, plan, req.askAfterFailure, req.onResult);
  ShowMessage("Преобразование завершено !");
  report.status = MassStatus::Done;
  return report;
}
