// hivora-make-demo-machine [DIR]: writes the demo installation into DIR (by
// default the folder the Linux program uses when given no machine).
#include <cstdio>
#include <string>

#include "platform/offline/demo_machine.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: %s [FOLDER]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argc == 2 ? std::filesystem::path(argv[1])
                                                 : hv::offline::DefaultDemoMachineFolder();
  std::string error;
  if (!hv::offline::EnsureDemoMachine(folder, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", folder.string().c_str());
  return 0;
}
