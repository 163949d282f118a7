// devidoriv_describe: writes the editors' descriptions of the frei0r
// plug-in from the settings catalogue, at build time.
//   devidoriv_describe UI_TEMPLATE KDENLIVE_XML SHOTCUT_FOLDER
// writes KDENLIVE_XML, and meta.qml and ui.qml (from UI_TEMPLATE) into
// SHOTCUT_FOLDER, which must exist.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "frei0r/editors/describe.h"

namespace {

bool Read(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  *text = content.str();
  return static_cast<bool>(in);
}

bool Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (out) return true;
  std::fprintf(stderr, "devidoriv_describe: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: devidoriv_describe UI_TEMPLATE KDENLIVE_XML SHOTCUT_FOLDER\n");
    return 2;
  }
  std::string ui_template;
  if (!Read(argv[1], &ui_template)) {
    std::fprintf(stderr, "devidoriv_describe: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string ui = devidoriv::editors::ShotcutPanel(ui_template);
  if (ui.empty()) {
    std::fprintf(stderr, "devidoriv_describe: %s lacks the @PARAMETERS@ or @CONTROLS@ line\n",
                 argv[1]);
    return 1;
  }
  const std::string shotcut = argv[3];
  const bool ok = Write(argv[2], devidoriv::editors::KdenliveEffect()) &&
                  Write(shotcut + "/meta.qml", devidoriv::editors::ShotcutMetadata()) &&
                  Write(shotcut + "/ui.qml", ui);
  return ok ? 0 : 1;
}
