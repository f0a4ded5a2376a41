#include "tests/app/FormFixture.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

TTempFolder::TTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelmirt-app-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  FPath = pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

std::string TTempFolder::WriteFile(const std::string& Name, const std::string& Content) const {
  const std::string path = Path(Name);
  std::ofstream(path, std::ios::binary) << Content;
  return path;
}

std::string ReadWholeFile(const std::string& Path) {
  std::ifstream file(Path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

FormTest::FormTest() { RecreateForm(); }

void FormTest::WriteSettings(const std::string& Content) const {
  std::ofstream(SettingsPath(), std::ios::binary) << Content;
}

void FormTest::RecreateForm() {
  Form.reset();
  Form = std::make_unique<TPgmFormProbe>(SettingsPath());
}
