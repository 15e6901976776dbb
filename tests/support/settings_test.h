#pragma once
#include <gtest/gtest.h>

#include <string>

#include "settings/options.h"
#include "support/fake_fixture.h"

namespace hv::test {

// The settings record is a global: each test starts from and leaves behind a
// zero-filled one.
class SettingsTest : public FakePlatformTest {
 protected:
  void SetUp() override { OptionsSetting = TOptionsSetting{}; }
  void TearDown() override { OptionsSetting = TOptionsSetting{}; }

  // The two places a language file is looked for; the one beside the program wins.
  std::string Beside(const std::string& lan) { return fake.ProgramFolder() + "DLan_" + lan + ".ini"; }
  std::string InLanguages(const std::string& lan) {
    const std::string data = fake.DataFolder();
    return data + "Languages" + data.back() + "DLan_" + lan + ".ini";
  }
};

}  // namespace hv::test
