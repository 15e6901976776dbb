#include "platform/offline/demo_machine.h"

#include <cstdio>
#include <string_view>
#include <system_error>

#include "platform/offline/host_env.h"
#include "regf/fixture.h"

namespace hv::offline {
namespace fs = std::filesystem;

namespace {

using regf::FixtureBuilder;
using regf::FixtureKey;

constexpr const char* kMarker = "Windows\\System32\\config\\SOFTWARE";

std::string Guid(unsigned n) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%04X-%012X}", 0x6A2F0000u + n * 7919u, (n * 31u) & 0xFFFFu,
                0x4000u | (n & 0x0FFFu), 0x8000u | ((n * 13u) & 0x3FFFu), 0x1000u + n * 104729u);
  return buf;
}

// Filler shaped like what a used installation holds, with deleted entries
// scattered among it.
void AddFiller(FixtureKey& base, std::string_view kind, unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    FixtureKey& k = base.AddKey(std::string(kind) + "\\" + Guid(i));
    k.SetString("DisplayName", "Component " + std::to_string(i));
    k.SetString("InstallLocation", "C:\\Program Files\\Vendor " + std::to_string(i % 17) + "\\App");
    k.SetDword("Version", 0x00060001u + i);
    k.SetBinary("State", std::vector<std::uint8_t>(16 + i % 48, static_cast<std::uint8_t>(i)));
    if (i % 3 == 0) k.AddDeletedValue("Obsolete", std::vector<std::uint8_t>(200, 0x5A));
    if (i % 5 == 0) base.AddKey(std::string(kind)).AddDeletedKey("Removed" + std::to_string(i));
  }
}

regf::Status Software(const fs::path& file) {
  FixtureBuilder b;
  b.SetRootName("CMI-CreateHive{199DAFC2-6F16-4946-BF90-5A3FC3A60902}");
  FixtureKey& cv = b.Root().AddKey("Microsoft\\Windows NT\\CurrentVersion");
  cv.SetString("CurrentVersion", "6.1");
  cv.SetString("CurrentBuildNumber", "7601");
  cv.SetString("CurrentBuild", "7601");
  cv.SetString("CSDVersion", "Service Pack 1");
  cv.SetString("ProductName", "Windows 7 Professional");
  cv.SetString("SystemRoot", "C:\\Windows");
  FixtureKey& profiles = b.Root().AddKey("Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
  profiles.SetExpandString("ProfilesDirectory", "%SystemDrive%\\Users");
  profiles.AddKey("S-1-5-18").SetExpandString("ProfileImagePath", "%systemroot%\\system32\\config\\systemprofile");
  profiles.AddKey("S-1-5-19").SetExpandString("ProfileImagePath", "C:\\Windows\\ServiceProfiles\\LocalService");
  profiles.AddKey("S-1-5-20").SetExpandString("ProfileImagePath", "C:\\Windows\\ServiceProfiles\\NetworkService");
  FixtureKey& user = profiles.AddKey(kDemoUserSid);
  user.SetExpandString("ProfileImagePath", "C:\\Users\\Demo");
  user.SetDword("Flags", 0);
  AddFiller(b.Root(), "Microsoft\\Windows\\CurrentVersion\\Uninstall", 180);
  AddFiller(b.Root(), "Classes\\CLSID", 260);
  b.Root().AddKey("Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion").SetString("CurrentVersion", "6.1");
  AddFiller(b.Root(), "Wow6432Node\\Classes\\CLSID", 120);
  b.AddGarbage(0.12, 7).SetFileSlack(16 * 1024);
  return b.WriteFile(file);
}

regf::Status System(const fs::path& file) {
  FixtureBuilder b;
  b.SetRootName("CMI-CreateHive{2A7FB991-7BBE-4F9D-B91E-7CB51D4737F5}");
  FixtureKey& select = b.Root().AddKey("Select");
  select.SetDword("Current", 1);
  select.SetDword("Default", 1);
  select.SetDword("LastKnownGood", 2);
  b.Root().AddKey("ControlSet001\\Control\\ComputerName\\ComputerName").SetString("ComputerName", "DEMO-PC");
  b.Root().AddKey("ControlSet001\\Control\\hivelist");
  AddFiller(b.Root(), "ControlSet001\\Services", 220);
  AddFiller(b.Root(), "ControlSet002\\Services", 90);
  b.AddGarbage(0.1, 11).SetFileSlack(16 * 1024);
  return b.WriteFile(file);
}

regf::Status Small(const fs::path& file, std::string_view root, std::string_view kind, unsigned count,
                   double garbage, std::uint32_t seed) {
  FixtureBuilder b;
  b.SetRootName(root);
  AddFiller(b.Root(), kind, count);
  b.AddGarbage(garbage, seed).SetFileSlack(4 * 1024);
  return b.WriteFile(file);
}

regf::Status Ntuser(const fs::path& file) {
  FixtureBuilder b;
  b.SetRootName("CsiTool-CreateHive-{00000000-0000-0000-0000-000000000000}");
  b.Root().AddKey("Control Panel\\International").SetString("sDecimal", ".");
  b.Root().AddKey("Environment").SetExpandString("TEMP", "%USERPROFILE%\\AppData\\Local\\Temp");
  AddFiller(b.Root(), "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs", 150);
  b.AddGarbage(0.15, 13).SetFileSlack(8 * 1024);
  return b.WriteFile(file);
}

}  // namespace

fs::path DefaultDemoMachineFolder() { return host::UserDataHome() / "talvix-hivora" / "demo-machine"; }

bool EnsureDemoMachine(const fs::path& folder, std::string* error) {
  std::error_code ec;
  fs::path marker = folder;
  for (const char* part : {"Windows", "System32", "config", "SOFTWARE"}) marker /= part;
  if (fs::is_regular_file(marker, ec)) return true;
  if (fs::exists(folder, ec) && !fs::is_empty(folder, ec)) {
    *error = folder.string() + ": exists but holds no demo installation (" + kMarker + " is missing)";
    return false;
  }
  fs::path building = folder;
  building += ".building";
  fs::remove_all(building, ec);
  const fs::path config = building / "Windows" / "System32" / "config";
  const fs::path profile = building / "Users" / "Demo";
  const fs::path classes = profile / "AppData" / "Local" / "Microsoft" / "Windows";
  for (const fs::path& dir : {config, building / "Windows" / "SysWOW64", classes, building / "ProgramData",
                              building / "Windows" / "ServiceProfiles" / "LocalService"}) {
    fs::create_directories(dir, ec);
    if (ec) {
      *error = dir.string() + ": " + ec.message();
      return false;
    }
  }
  const regf::Status results[] = {
      Software(config / "SOFTWARE"),
      System(config / "SYSTEM"),
      Small(config / "DEFAULT", "CsiTool-CreateHive-{00000000-0000-0000-0000-000000000000}",
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", 40, 0.2, 3),
      Small(config / "SAM", "CMI-CreateHive{C4E7BA2B-68E8-499C-B1A1-371AC8D717C7}",
            "SAM\\Domains\\Account\\Users", 30, 0.15, 5),
      Small(config / "SECURITY", "CMI-CreateHive{B1E1D2C3-0000-4000-8000-00000000A1B2}", "Policy\\Secrets", 25,
            0.08, 9),
      Ntuser(profile / "NTUSER.DAT"),
      Small(classes / "UsrClass.dat", "S-1-5-21-3623811015-3361044348-30300820-1001_Classes",
            "Local Settings\\Software\\Microsoft\\Windows\\Shell\\BagMRU", 80, 0.15, 17),
  };
  for (const regf::Status& s : results) {
    if (!s.ok) {
      *error = s.message;
      fs::remove_all(building, ec);
      return false;
    }
  }
  fs::create_directories(folder.parent_path(), ec);
  fs::remove(folder, ec);  // an empty folder may stand in the way
  fs::rename(building, folder, ec);
  if (ec) {
    *error = folder.string() + ": " + ec.message();
    fs::remove_all(building, ec);
    return false;
  }
  return true;
}

}  // namespace hv::offline
