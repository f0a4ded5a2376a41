#include "tests/app/FormFixture.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

FormTest::FormTest() { RecreateForm(); }

void FormTest::WriteSettings(const std::string& Content) const {
  std::ofstream(SettingsPath(), std::ios::binary) << Content;
}

void FormTest::RecreateForm() {
  Form.reset();
  Form = std::make_unique<TPgmFormProbe>(SettingsPath());
}
