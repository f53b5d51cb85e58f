// The program name that titles a window by default, from an executable's
// path.
#include <fb/platform/runtime.h>

#include <gtest/gtest.h>

namespace fb {
namespace {

TEST(ProgramNameOfPath, KeepsTheFileNameWithoutItsLastExtension) {
  struct Case {
    const char* path;
    const char* separators;
    const char* name;
  };
  const Case cases[] = {
      {"/usr/games/shooter", "/", "shooter"},
      {"C:\\Games\\shooter.exe", "\\/", "shooter"},
      {"C:/Games\\sub/shooter.exe", "\\/", "shooter"},
      {"/opt/a.b/tool.tar.gz", "/", "tool.tar"},
      {"/home/me/.hidden", "/", ".hidden"},  // a leading dot is no extension
      {"shooter", "/", "shooter"},
      {"dir\\with\\backslash", "/", "dir\\with\\backslash"},  // a POSIX name may hold them
      {"/trailing/", "/", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgramNameOfPath(c.path, c.separators), c.name) << c.path;
  EXPECT_EQ(ProgramNameOfPath("/x/" + std::string(200, 'n') + ".exe", "/"), std::string(127, 'n'));
}

}  // namespace
}  // namespace fb
