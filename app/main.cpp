#include <iostream>
#include <string>
#include <vector>

#include "app/Startup.h"
#ifdef RIVANET_WITH_WINDOW
#include "ui/Interactive.h"
#endif

int main(int argc, char** argv) {
  rivanet::StartupEnvironment env;
  env.args.assign(argv + 1, argv + argc);
  env.appFolder =
      rivanet::ChooseApplicationFolder(rivanet::ReadAppFolderInputs(argc > 0 ? argv[0] : nullptr));
  env.out = &std::cout;
  env.err = &std::cerr;
#ifdef RIVANET_WITH_WINDOW
  env.interactive = [](const std::filesystem::path& appFolder) {
    return rivanet::ui::RunInteractive(appFolder, std::cerr);
  };
#endif
  try {
    return rivanet::Main(env);
  } catch (const std::exception& e) {
    // Main reports every failure of a run itself; this is the last guard against a crash.
    std::cerr << "RivanetAppend: " << e.what() << std::endl;
    return 2;
  }
}
