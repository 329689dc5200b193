// The extension of a chosen target name, and its correction to the source's.
#include "TargetName.h"

#include "Platform.h"

#include <gtest/gtest.h>

namespace {

TEST(FileExtension, TakesTheLastDotOfTheFileNameOnly) {
  struct Case {
    const char *path, *extension;
  } cases[] = {
      {"/out/t.ims", ".ims"}, {"/out/t.IMS.bak", ".bak"}, {"/out.2010/t", ""},   {"/out/t", ""},
      {"t.IMS", ".IMS"},      {"/out/.IMS", ".IMS"},      {"/out.2010/t.", "."}, {"", ""},
  };
  for (const auto &c : cases)
    EXPECT_EQ(FileExtension(platform::NativePath(c.path)), c.extension) << c.path;
#ifdef _WIN32
  // Windows takes "/" as well, and file dialogs answer with it.
  EXPECT_EQ(FileExtension("C:/out.2010/t"), "");
  EXPECT_EQ(FileExtension("C:\\out.2010/t"), "");
  EXPECT_EQ(FileExtension("C:/out.2010\\t"), "");
  EXPECT_EQ(FileExtension("C:/out/t.IMS"), ".IMS");
#endif
}

TEST(CorrectTargetExtension, ReplacesAnotherExtensionBehindADottedFolder) {
  const TargetChoice c =
      CorrectTargetExtension(platform::NativePath("/in/s.IMS"), platform::NativePath("/o.d/t"));
  EXPECT_EQ(c.path, platform::NativePath("/o.d/t.IMS"));
  EXPECT_EQ(c.message, "Вы изменили расширение файла с .IMS на пусто\nРасширение исправлено.");
#ifdef _WIN32
  EXPECT_EQ(CorrectTargetExtension("C:\\in\\s.IMS", "C:/o.d/t").path, "C:/o.d/t.IMS");
#endif
}

} // namespace
