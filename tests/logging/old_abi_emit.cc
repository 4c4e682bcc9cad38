// Run by check_old_abi_build.sh against the library built with the old
// string ABI, where a short text lives in a heap block sized to it: a line
// with a short context key and value and a short database name, as the
// stand-in host writes it. No GoogleTest: the system's has the new ABI.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "cssupport/logging/cs_logger.h"

int main() {
  const std::string path = "/tmp/cssupport-old-abi-" + std::to_string(getpid());
  CSLogger::LogInit(path.substr(5));
  CSLogger::CurrentContext["k"] = "v%";
  CSLogger::DBLog("db%", CSLogger::CS_LOG_ERROR, " up %d", 1);
  CSLogger::LogExit();
  std::ifstream in(path + ".log");
  std::string line;
  std::getline(in, line);
  std::remove((path + ".log").c_str());
  if (line.rfind("error [ConfigStore:", 0) == 0 &&
      line.substr(line.find(' ', 6)) == " k=v%] db% up 1") {
    return 0;
  }
  std::fprintf(stderr, "wrote \"%s\"\n", line.c_str());
  return 1;
}
