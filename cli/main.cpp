#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/tool.h"

int main(int argc, char** argv) {
  cli::PrepareStandardOutput();
  std::vector<std::string> args(argv + 1, argv + argc);
  return cli::Run(args);
}
