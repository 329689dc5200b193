#include "MassConversion.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "FileKinds.h"
#include "FileSearch.h"
#include "Messages.h"
#include "Platform.h"

namespace {

const std::string SameFolderMessage =
    "Папки \"Откуда\" и \"Куда\" совпадают.\nПреобразование \"сам в себя\" невозможно!";
const std::string AbortQuestion = "Прервать преобразование?";
const std::string CancelledMessage = "Отменено пользователем";

// "Преобразование завершено !", with the counts on a second line when `counts`.
std::string ClosingText(const MassReport &report, bool counts) {
  std::string text = "Преобразование завершено !";
  if (counts) {
    text += "\nПреобразовано файлов: " + std::to_string(report.converted()) +
            ", с ошибкой: " + std::to_string(report.failed());
    if (!report.skipped.empty())
      text += ", не удалось прочитать: " + std::to_string(report.skipped.size());
  }
  return text;
}

} // namespace

void AddKindToSelection(Engine &engine, uint8_t kind, std::vector<std::string> &files,
                        Selection &sel, std::vector<Skipped> *skipped) {
  std::erase_if(files, [&](const std::string &p) {
    const SourceCheck check = engine.CheckSource(p);
    if (check.state == SourceState::Unreadable && skipped)
      skipped->push_back({p, check.reason, kind});
    return check.state != SourceState::Convertible;
  });
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

Selection BuildSelection(Engine &engine, const std::string &sourceFolder,
                         std::vector<Skipped> *skipped) {
  Selection sel;
  // The tree is walked once; each kind takes its files from the one listing.
  std::vector<std::string> all, files;
  std::vector<UnreadableFolder> unreadable;
  GetTreeFiles(sourceFolder, all, &unreadable);
  if (skipped)
    for (auto &f : unreadable)
      skipped->push_back({std::move(f.path), std::move(f.reason), 0});
  for (const FileKind &k : FileKinds()) {
    files.clear();
    FilterByMask(all, std::string("*.") + k.extension, files);
    AddKindToSelection(engine, k.code, files, sel, skipped);
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

namespace {

// For each file, 1 + the index of the last earlier file that shares its
// source or one of its possible final names (the target, its "-k" name) with
// it, or 0: that file must end before this one begins.
std::vector<size_t> MustWaitFor(const std::vector<PlannedFile> &plan) {
  std::map<std::string, size_t> last; // name -> 1 + index of the last file using it
  std::vector<size_t> after(plan.size(), 0);
  for (size_t i = 0; i < plan.size(); ++i) {
    const std::string names[] = {plan[i].source, plan[i].target, KName(plan[i].target)};
    for (const std::string &n : names) {
      auto [at, added] = last.emplace(n, i + 1);
      if (!added) {
        after[i] = std::max(after[i], at->second);
        at->second = i + 1;
      }
    }
  }
  return after;
}

// The answer a file converted on a worker thread gets: no, or the choice 3.
int UnaskedAnswer(const MsgRequest &r) {
  return r.Kind == mk_Choice ? 3 : 0;
}

std::vector<MassResult> RunSideBySide(const std::vector<PlannedFile> &plan, unsigned jobs,
                                      const MassResultHook &onResult,
                                      const MassStartHook &onStart) {
  struct Told {
    std::vector<MsgRequest> shown;
    std::optional<MassResult> result;
  };
  std::vector<Told> told(plan.size());
  const std::vector<size_t> after = MustWaitFor(plan);
  RunFiles run;
  std::mutex lock;
  std::condition_variable changed;
  // Guarded by lock:
  std::vector<bool> done(plan.size(), false);
  size_t next = 0;
  unsigned working = jobs;

  auto work = [&] {
    try {
      Engine engine;
      std::vector<MsgRequest> *shown = nullptr;
      ThreadPresenter collect([&](const MsgRequest &r) {
        shown->push_back(r);
        return UnaskedAnswer(r);
      });
      for (;;) {
        size_t i = 0;
        {
          std::unique_lock held(lock);
          if (next == plan.size() || platform::Interruption())
            break;
          i = next++;
          changed.wait(held, [&] { return after[i] == 0 || done[after[i] - 1]; });
        }
        const PlannedFile &f = plan[i];
        shown = &told[i].shown;
        MassResult r{f.source, f.kind,
                     engine.ConvertFile(f.source, f.target, f.kind, f.policy, &run)};
        {
          const std::lock_guard held(lock);
          told[i].result = std::move(r);
          done[i] = true;
        }
        changed.notify_all();
      }
    } catch (...) {
      // An engine that cannot be made converts nothing; the others go on.
    }
    {
      const std::lock_guard held(lock);
      --working;
    }
    changed.notify_all();
  };
  std::vector<std::thread> threads;
  for (unsigned j = 0; j < jobs; ++j)
    threads.emplace_back(work);

  // Told in list order as they end; a file not begun ends the telling.
  std::vector<MassResult> results;
  for (size_t i = 0; i < plan.size(); ++i) {
    {
      std::unique_lock held(lock);
      changed.wait(held, [&] { return told[i].result.has_value() || working == 0; });
      if (!told[i].result)
        break;
    }
    if (onStart)
      onStart(plan[i], i, plan.size());
    for (const MsgRequest &r : told[i].shown)
      Present(r);
    told[i].shown.clear();
    results.push_back(std::move(*told[i].result));
    if (onResult)
      onResult(results.back());
  }
  for (std::thread &t : threads)
    t.join();
  return results;
}

} // namespace

// Files side by side are not yet reliable in the Windows build: under Wine a
// run with several jobs now and then ended in a heap failure on a worker
// thread. There every run converts one file after another.
#ifdef _WIN32
constexpr bool SideBySide = false;
#else
constexpr bool SideBySide = true;
#endif

std::vector<MassResult> RunMassConversion(Engine &engine, const std::vector<PlannedFile> &plan,
                                          bool askAfterFailure, const MassResultHook &onResult,
                                          const MassStartHook &onStart,
                                          const MassStopHook &shouldStop, unsigned jobs) {
  if (SideBySide && jobs > 1 && !askAfterFailure && !shouldStop && plan.size() > 1)
    return RunSideBySide(plan, std::min<unsigned>(jobs, static_cast<unsigned>(plan.size())),
                         onResult, onStart);
  std::vector<MassResult> results;
  RunFiles run;
  for (size_t i = 0; i < plan.size() && !platform::Interruption(); ++i) {
    if (shouldStop && shouldStop())
      break;
    const PlannedFile &f = plan[i];
    if (onStart)
      onStart(f, i, plan.size());
    results.push_back(
        {f.source, f.kind, engine.ConvertFile(f.source, f.target, f.kind, f.policy, &run)});
    if (onResult)
      onResult(results.back());
    if (results.back().outcome.status == ConvertStatus::Interrupted)
      break;
    if (!results.back().ok() && askAfterFailure && AskYesNo(AbortQuestion))
      break;
  }
  return results;
}

int MassReport::converted() const {
  return static_cast<int>(
      std::count_if(results.begin(), results.end(), [](const MassResult &r) { return r.ok(); }));
}

int MassReport::failed() const {
  return static_cast<int>(std::count_if(results.begin(), results.end(), [](const MassResult &r) {
    return r.outcome.status == ConvertStatus::Failed || r.outcome.status == ConvertStatus::Refused;
  }));
}

MassReport MassConvert(Engine &engine, const MassRequest &req) {
  MassReport report;
  if (req.sourceFolder == req.targetFolder) {
    ShowMessage(SameFolderMessage);
    report.status = MassStatus::SameFolder;
    return report;
  }
  auto interrupted = [&] {
    ShowMessage("Преобразование прервано !");
    report.status = MassStatus::Interrupted;
    return report;
  };
  Selection sel;
  try {
    sel = BuildSelection(engine, req.sourceFolder, &report.skipped);
  } catch (const Interrupted &) {
    return interrupted();
  }
  if (sel.empty()) {
    ShowMessage("Не найдено ни одного файла");
    report.status = MassStatus::NothingFound;
    return report;
  }
  std::vector<PlannedFile> plan;
  if ((req.select && !req.select(sel)) ||
      !PrepareMassConversion(sel, req.sourceFolder, req.targetFolder, req.policy, plan)) {
    ShowMessage(CancelledMessage);
    report.status = MassStatus::Cancelled;
    return report;
  }
  bool cancelled = false;
  const MassStopHook stop = [&] { return cancelled = req.shouldStop && req.shouldStop(); };
  report.results = RunMassConversion(engine, plan, req.askAfterFailure, req.onResult, req.onStart,
                                     req.shouldStop ? stop : MassStopHook{}, req.jobs);
  if (platform::Interruption())
    return interrupted();
  report.status = cancelled ? MassStatus::Stopped : MassStatus::Done;
  ShowMessage(cancelled ? CancelledMessage : ClosingText(report, req.closingCounts));
  return report;
}
