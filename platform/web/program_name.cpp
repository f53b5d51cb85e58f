// The program's name on a web page: the page's file name ("shooter" for
// .../shooter.html); "program" where there is no page (under node).
#include <cstdlib>
#include <string>

#include "../runtime.h"

extern "C" {
// The page's path as a new string (malloc), or nullptr; from the page's
// thread, which any thread may ask (page.js).
char* fb_page_path();
}

namespace fb {

std::string ProgramName() {
  char* path = fb_page_path();
  if (!path) return "program";
  std::string name = ProgramNameOfPath(path, "/");
  std::free(path);
  return name.empty() ? "program" : name;
}

}  // namespace fb
