// Common ground of the engine tests: a scratch folder, a private system
// temporary folder (to see that conversions leave nothing there), a recording
// presenter that answers questions as the test says, and one Engine.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "BlockBuilder.h"
#include "Conversion.h"
#include "Messages.h"
#include "Platform.h"

// A source layout with everything a reader must get through: scattered
// chains, deleted records with and without links, replaced records and dead
// space of up to deadMax bytes between records.
inline samples::Layout MessyLayout(uint64_t seed, uint32_t deadMax) {
  samples::Layout l;
  l.seed = seed;
  l.scatter = true;
  l.deletedPlain = 0.2;
  l.deletedLinked = 0.2;
  l.replaced = 0.2;
  l.deadMax = deadMax;
  return l;
}

class AppTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // A path inside the scratch folder, written with "/" and given the
  // system's separator.
  std::string Path(const std::string &name) const { return Dir + platform::NativePath(name); }
  // Entries left in the private system temporary folder.
  std::vector<std::string> TempLeft() const;
  // Files in a folder of the scratch area (names only, sorted).
  std::vector<std::string> FilesIn(const std::string &folder) const;

  // Runs `convert` (source "s" + ext into target "t" + ext, which holds "old")
  // with a failure of each op injected at every countdown until a conversion
  // succeeds. A reported success must give `want` exactly; a failure leaves
  // "old", ends with the failure message, and no stray file anywhere.
  void SweepInjectedFailures(std::initializer_list<platform::Op> ops, const std::string &ext,
                             const std::string &want, const std::function<bool()> &convert);

  // Writes the sources s.IMS (a model of kind 1, from `seed`) and s.IMP (a
  // composite, from seed + 1); gives what each converts to.
  struct Converted {
    std::string model, composite;
    const std::string &Of(const std::string &ext) const {
      return ext == ".IMP" ? composite : model;
    }
  };
  Converted WriteSources(uint64_t seed);

  // A failure's reason says something and, like every text shown, names the
  // user's files only: never a temporary target or the private temporary folder.
  void ExpectUserNamesOnly(const std::string &reason) const;

  // Texts shown, in order, and the kinds they were shown as.
  std::vector<MsgRequest> Shown;
  std::vector<std::string> Texts() const;
  // Answers to Yes/No questions, taken in order; an unexpected question is a failure.
  std::deque<bool> Answers;

  std::string Dir; // scratch folder, ends in the separator
  std::unique_ptr<Engine> E;

private:
  std::string SysTmp;
  std::string OldTmp;
  bool HadTmp = false;
  std::unique_ptr<ScopedPresenter> Presenter;
};
