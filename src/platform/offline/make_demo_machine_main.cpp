// hivora-make-demo-machine [DIR]: writes the demo installation into DIR (by
// default the folder the Linux program uses when given no machine).
//
// Exit codes: 0 made (or already there); 1 it could not be made; 2 bad
// command line. Anything that looks like an option is one: the folder is
// never named "--help" by mistake ("--" ends the options).
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/offline/demo_machine.h"
#include "resources/builtin_texts.h"

namespace {

void Usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: hivora-make-demo-machine [FOLDER]\n"
               "Writes the demo Windows installation into FOLDER (default: the folder hivora uses\n"
               "without --root or --machine) and prints the folder.\n"
               "  --help, -h   this text\n  --version    the program's version\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string folderArgument;
  bool optionsEnded = false;
  int folders = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!optionsEnded && (arg == "--help" || arg == "-h")) {
      Usage(stdout);
      return 0;
    }
    if (!optionsEnded && arg == "--version") {
      std::printf("hivora-make-demo-machine (Talvix Hivora) %s\n", hv::BuiltinText(hv::kTextVersion));
      return 0;
    }
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "hivora-make-demo-machine: unknown option %s\n", argv[i]);
      Usage(stderr);
      return 2;
    }
    folderArgument = arg;
    ++folders;
  }
  if (folders > 1 || (folders == 1 && folderArgument.empty())) {
    std::fprintf(stderr, "hivora-make-demo-machine: give one folder\n");
    Usage(stderr);
    return 2;
  }
  const std::filesystem::path folder = folders == 1 ? std::filesystem::path(folderArgument)
                                                    : hv::offline::DefaultDemoMachineFolder();
  std::string error;
  if (!hv::offline::EnsureDemoMachine(folder, &error)) {
    std::fprintf(stderr, "hivora-make-demo-machine: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", folder.string().c_str());
  return 0;
}
