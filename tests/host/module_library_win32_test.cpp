// The Windows side of the host library's module loading: an entry point that is
// exported only under a decorated name is one that the editor would not
// find, so loading fails and the error names the decorated export.
#include <gtest/gtest.h>

#include <string>

#include "hostlib/module_host.h"

namespace {

struct DecoratedCase {
  const char* label;
  const char* module_path;
  const char* decorated_name;
};

class DecoratedExportTest : public testing::TestWithParam<DecoratedCase> {};

TEST_P(DecoratedExportTest, IsRefusedAndNamed) {
  const DecoratedCase& c = GetParam();
  std::string error;
  auto lib = hostlib::ModuleLibrary::Open(c.module_path, &error);
  EXPECT_FALSE(lib) << c.module_path << " was accepted";
  EXPECT_NE(error.find(std::string("'") + c.decorated_name + "'"), std::string::npos) << error;
  EXPECT_NE(error.find("decorated"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Win32, DecoratedExportTest,
    testing::Values(
#ifdef DEVIDORIV_TEST_STDCALL_MODULE
        DecoratedCase{"Stdcall", DEVIDORIV_TEST_STDCALL_MODULE, "GetFilterTable@0"},
#endif
        DecoratedCase{"Underscore", DEVIDORIV_TEST_UNDERSCORE_MODULE, "_GetFilterTable"}),
    [](const testing::TestParamInfo<DecoratedCase>& info) { return info.param.label; });

}  // namespace
